#include "key_exception.h"
#include "log_capture.h"
#include "sim_fixture.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <functional>
#include <typeinfo>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The sim's filler for pad_next_answer: distinct bytes, so a misplaced byte shows.
Bytes sim_padding(std::size_t count)
{
    Bytes padding;
    for (std::size_t i = 0; i < count; ++i)
        padding.push_back(static_cast<std::uint8_t>((i * 7 + 1) & 0xFF));
    return padding;
}

}  // namespace

using U2FTransport = SimTokenTest;

TEST_F(U2FTransport, AnswersSpanningContinuationReportsKeepEveryByteInPlace)
{
    auto key = discover();
    // Answer data counts include the serial (6 bytes) and the status word (2 bytes).
    for (std::size_t answer : {57u, 58u, 116u, 117u, 200u, 255u, 256u, 400u}) {
        SCOPED_TRACE(answer);
        token->pad_next_answer(answer - 8);
        LogCapture log;
        Bytes data;
        key->op_get_active(data);
        Bytes expected = serial;
        const Bytes padding = sim_padding(answer - 8);
        expected.insert(expected.end(), padding.begin(), padding.end());
        EXPECT_EQ(data, expected);
        EXPECT_TRUE(log.contains("The whole U2F response package length is: " + std::to_string(7 + answer)));
    }
}

// One fault in one request: the request fails as a real token's fault makes it fail (an access
// error only where the token's answer cannot be read), leaves the data alone, and the same key
// works on the next request.
TEST_F(U2FTransport, FaultsFailOneRequestAndTheKeyRecovers)
{
    const struct {
        const char* name;
        std::function<void(sim::SimToken&)> arrange;
        const std::type_info* thrown;  // null: the request works
        std::string text;
    } cases[] = {
        {"stale reports", [](sim::SimToken& t) { t.queue_stale_reports(5); }, nullptr, ""},
        {"wrong nonce", [](sim::SimToken& t) { t.corrupt_next_nonce(); }, &typeid(KeyException), "Error in AllocateChannel"},
        {"another program's INIT answer", [](sim::SimToken& t) { t.send_foreign_init_answer_before_next(); },
         &typeid(KeyException), "Error in AllocateChannel"},
        {"status word", [](sim::SimToken& t) { t.answer_next_command_with(0x6A, 0x80); }, &typeid(KeyException),
         "resp_code exception: Wrong syntax"},
        {"no object", [](sim::SimToken& t) { t.answer_next_command_with(0x69, 0x84); }, &typeid(KeyNoObjectException),
         "No such object"},
        {"refused SELECT", [](sim::SimToken& t) { t.set_refuse_select(true); }, &typeid(KeyException),
         "resp_code exception: Conditions not satisfied"},
        {"report cut to 1", [](sim::SimToken& t) { t.shorten_next_report(1); }, &typeid(KeyAccessException),
         "U2F answer report is too short"},
        {"report cut to 6", [](sim::SimToken& t) { t.shorten_next_report(6); }, &typeid(KeyAccessException),
         "U2F answer report is too short"},
        // Cut inside the INIT answer's channel: the rest is waited for, then the answer is too short.
        {"report cut to 16", [](sim::SimToken& t) { t.shorten_next_report(16); }, &typeid(KeyAccessException),
         "U2F INIT answer is too short"},
        // The INIT answer is 24 bytes with its header; what follows is padding.
        {"only padding cut", [](sim::SimToken& t) { t.shorten_next_report(24); }, nullptr, ""},
        // Waited for until the two-second limit.
        {"missing continuation", [](sim::SimToken& t) { t.pad_next_answer(100); t.drop_next_continuation(); },
         &typeid(KeyAccessException), "Malformed key response: shorter than its length byte"},
    };
    auto key = discover();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange(*token);
        Bytes data = ascii("kept");
        try {
            key->op_get_active(data);
            EXPECT_EQ(c.thrown, nullptr) << "nothing was thrown";
            EXPECT_EQ(data, serial);
        } catch (const KeyException& e) {
            EXPECT_EQ(typeid(e).name(), c.thrown != nullptr ? c.thrown->name() : "none");
            EXPECT_EQ(e.what(), c.text);
            if (typeid(e) == typeid(KeyAccessException)) {
                EXPECT_EQ(data, ascii("kept"));
            }
        }
        token->set_refuse_select(false);
        key->op_get_active(data);
        EXPECT_EQ(data, serial);
    }
}

TEST_F(U2FTransport, WrongNonceEchoFailsAllocationWithThreeErrorRecords)
{
    auto key = discover();
    token->corrupt_next_nonce();
    LogCapture log;
    std::uint8_t channel[4] = {0, 0, 0, 0};
    EXPECT_EQ(expect_throw_text<KeyException>([&] { key->allocate_channel(channel); }), "Error in AllocateChannel");
    EXPECT_EQ(Bytes(channel, channel + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

    const std::vector<std::string> errors = log.messages(el::Level::Error);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "[Error detail]: Allocate channel");
    EXPECT_EQ(errors[1].size(), 16u * 3);
    EXPECT_EQ(errors[1].substr(0, 24), "00 ff ff ff ff 86 00 08 ");
    EXPECT_EQ(errors[2].size(), 64u * 3);

    // A transient fault: the same key works on the next request.
    Bytes data;
    key->op_get_active(data);
    EXPECT_EQ(data, serial);
}

TEST_F(U2FTransport, UnplugAtAnyStageIsAnAccessErrorAndTheOldHandleStaysDead)
{
    auto key = discover();
    const std::string sending = "U2F usb key sending command";

    bus->unplug(id);
    Bytes data;
    EXPECT_EQ(expect_throw_text<KeyAccessException>([&] { key->op_get_active(data); }), sending);
    EXPECT_FALSE(key->is_connected());

    bus->replug(id);
    EXPECT_THROW(key->op_get_active(data), KeyAccessException);
    EXPECT_FALSE(key->is_connected());

    // Between write and read: the token is slow to answer and is pulled meanwhile.
    key = discover();
    token->set_answer_delay(1000ms);
    auto pending = std::async(std::launch::async, [&] { key->op_get_active(data); });
    std::this_thread::sleep_for(200ms);
    bus->unplug(id);
    EXPECT_THROW(pending.get(), KeyAccessException);

    // During the wait for a continuation report.
    bus->replug(id);
    token->set_answer_delay(0ms);
    key = discover();
    token->pad_next_answer(100);
    token->drop_next_continuation();
    LogCapture log;
    pending = std::async(std::launch::async, [&] { key->op_get_active(data); });
    const auto give_up = Clock::now() + 5s;
    while (!log.contains("The whole U2F response package length is: 115") && Clock::now() < give_up)
        std::this_thread::sleep_for(10ms);
    bus->unplug(id);
    EXPECT_THROW(pending.get(), KeyAccessException);
    EXPECT_LT(Clock::now(), give_up);
}

TEST_F(U2FTransport, PresenceProbeSendsOneReportOfZeros)
{
    auto key = discover();
    const std::size_t before = token->received_reports().size();
    EXPECT_TRUE(key->is_connected());
    const std::vector<Bytes> reports = token->received_reports();
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.back(), Bytes(65, 0x00));
    bus->unplug(id);
    EXPECT_FALSE(key->is_connected());
}

TEST_F(U2FTransport, CancelEndsAWaitForASilentToken)
{
    auto key = discover();
    token->set_silent(true);
    Bytes data;
    auto pending = std::async(std::launch::async, [&] { key->op_get_active(data); });
    EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout);
    const auto start = Clock::now();
    key->cancel();
    EXPECT_EQ(expect_throw_text<KeyAccessException>([&] { pending.get(); }), "U2F usb key sending command");
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_FALSE(key->is_connected());
}

namespace {

// Sends the given bytes as the request frame, so a test can put a wrong byte anywhere.
class RawBody : public ProtocolBody {
public:
    explicit RawBody(Bytes bytes) : bytes(std::move(bytes)) {}
    void serialize(Bytes& out) const override { out = bytes; }

private:
    Bytes bytes;
};

}  // namespace

TEST_F(U2FTransport, TokenRefusesEveryMalformedRequestWithTheStatusWordARealOneGives)
{
    auto key = discover();
    const Bytes time = {0x54, 0x08, 0, 0, 0, 0, 0x02, 0x74, 0x26, 0x2F};
    const Bytes user = {0x51, 0x06, 'A', 'B', 'C', '1', '2', '3'};
    auto calculate = [&](std::uint8_t lc, const Bytes& first, const Bytes& second) {
        Bytes request = {0x00, 0xA2, 0x01, 0x00, lc};
        request.insert(request.end(), first.begin(), first.end());
        request.insert(request.end(), second.begin(), second.end());
        return request;
    };
    // One row for each refusal the key layer must tell apart.
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {{0x00, 0xE6, 0x00, 0x00, 0x00}, {0x90, 0x00}},
        {{0x00, 0xE6, 0x01, 0x00, 0x00}, {0x6A, 0x86}},
        {{0x00, 0xE6, 0x00, 0x00, 0x01, 0x00}, {0x67, 0x00}},
        {{0x80, 0xE6, 0x00, 0x00, 0x00}, {0x6E, 0x00}},
        {calculate(0x12, time, user), {0x90, 0x00}},
        {calculate(0x11, time, user), {0x67, 0x00}},
        {calculate(0x12, user, time), {0x6A, 0x80}},
        {{0x80, 0xE1, 0x05, 0x02, 0x01, 0x02}, {0x6A, 0x80}},
        {{0x00, 0x09, 0x00, 0x00, 0x09, 0x53, 0x02, 1, 2, 3, 0x52, 0x02, 'A', 'B'}, {0x6A, 0x80}},
        {{0x00, 0x42, 0x00, 0x00, 0x00}, {0x6D, 0x00}},
    };
    for (const auto& [request, status] : cases) {
        SCOPED_TRACE(bytes_to_hex(request));
        RawBody body(request);
        Bytes data;
        Bytes code;
        try {
            key->combine_send(body, data, code);
        } catch (const KeyException&) {
        }
        EXPECT_EQ(code, status);
    }
}

TEST_F(U2FTransport, UserListLongerThan255BytesParsesInFull)
{
    for (int i = 1; i < 20; ++i) {
        sim::SimUser user;
        user.serial_number = ascii("SERIAL" + std::to_string(100000 + i));
        token->add_user(user);
    }
    // Twenty records of 3 + 12 bytes; the fixture's own user has a 6-byte serial.
    auto key = discover();
    std::vector<User> users;
    key->op_get_user_info(users);
    ASSERT_EQ(users.size(), 20u);
    EXPECT_EQ(users.front().serial_number, serial);
    EXPECT_EQ(users.back().serial_number, ascii("SERIAL100019"));
    EXPECT_EQ(users.back().algorithm, 2);
    EXPECT_EQ(users.back().type, 1);
}

TEST_F(U2FTransport, LyingLengthByteGivesNoCodeOnlyAnError)
{
    auto key = discover();
    std::int32_t digits = 0;
    const std::uint32_t code = key->op_get_otp(serial, digits, 1111111109);

    // The calculate answer is nine bytes; 100 runs past the report, so its rest is waited for.
    for (int length : {0, 1, 2, 5, 8, 10, 30, 57, 100}) {
        SCOPED_TRACE(length);
        token->lie_next_length(static_cast<std::uint8_t>(length));
        try {
            const std::uint32_t taken = key->op_get_otp(serial, digits, 1111111109);
            ADD_FAILURE() << "a code was made of a misshapen answer: " << taken;
        } catch (const KeyException& e) {
            if (length < 2 || length > 57) {
                EXPECT_EQ(typeid(e), typeid(KeyAccessException)) << e.what();
            }
        }
    }
    token->lie_next_length(9);  // the truth
    EXPECT_EQ(key->op_get_otp(serial, digits, 1111111109), code);
}

