// The key layer without Qt or the simulator (so it also runs under wine): request bytes, status
// words, answer parsing, and the U2F transport and hidraw rules over a scripted device.

#include "hid.h"
#include "hid_access.h"
#include "key_exception.h"
#include "protocol_body.h"
#include "raw_device_io.h"
#include "test_helpers.h"
#include "token.h"
#include "usbkey.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <typeinfo>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const Bytes kSerial = ascii("ABC123");

// The class name and text of what the call threw; empty when nothing was thrown.
std::string thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const KeyException& e) {
        return std::string(typeid(e).name()) + ": " + e.what();
    }
    return "";
}

template <typename E>
std::string as(const char* text)
{
    return std::string(typeid(E).name()) + ": " + text;
}

}  // namespace

namespace {

// A one-device bus answering report by report, for wire details the simulated token keeps to
// itself: INIT gets channel 01 02 03 04, SELECT gets 90 00, any other command `command_answer`.
class ScriptedIo : public hidaccess::RawDeviceIo {
public:
    std::vector<Bytes> command_answer;
    std::vector<Bytes> before_init_answer;
    std::vector<Bytes> written;
    // Another program's reports, one every trickle_gap after the last command was written.
    std::vector<Bytes> trickle;
    std::chrono::milliseconds trickle_gap{0};
    std::size_t trickle_read = 0;
    bool refuse_flush = false;
    std::uint8_t init_length = 17;  // a shorter INIT answer ends its report there

    std::vector<hidaccess::RawDeviceInfo> enumerate() override
    {
        return {{"script:0", 0x096E, 0x0858, {}, 0, {}, {}, 0, 0, 0}};
    }
    std::unique_ptr<hidaccess::RawDevice> open(const std::string&) override { return std::make_unique<Device>(*this); }

    static Bytes msg(const Bytes& data, std::uint8_t count)
    {
        Bytes report = cat({{1, 2, 3, 4, 0x83, 0x00, count}, data});
        report.resize(64, 0x00);
        return report;
    }

private:
    struct Device : hidaccess::RawDevice {
        explicit Device(ScriptedIo& io) : io(io) {}
        int write(const std::uint8_t* report, std::size_t length) override
        {
            std::lock_guard<std::mutex> lock(io.mutex);
            const Bytes bytes(report, report + length);
            io.written.push_back(bytes);
            if (bytes[5] == 0x86) {
                const Bytes nonce(bytes.begin() + 8, bytes.begin() + 16);
                Bytes init = cat({{0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, io.init_length}, nonce, {1, 2, 3, 4}});
                init.resize(io.init_length < 17 ? 7u + io.init_length : 64u, 0x00);
                io.pending.insert(io.pending.end(), io.before_init_answer.begin(), io.before_init_answer.end());
                io.pending.push_back(init);
            } else {
                const bool select = bytes[8] == 0x00 && bytes[9] == 0xA4;
                const std::vector<Bytes> next = select ? std::vector<Bytes>{msg({0x90, 0x00}, 2)} : io.command_answer;
                io.pending.insert(io.pending.end(), next.begin(), next.end());
                if (!select)
                    io.trickle_start = std::chrono::steady_clock::now();
            }
            return static_cast<int>(length);
        }
        int read(std::uint8_t* data, std::size_t length, int timeout_ms) override
        {
            if (timeout_ms == 0 && io.refuse_flush)
                return -1;
            {
                std::lock_guard<std::mutex> lock(io.mutex);
                if (!io.pending.empty()) {
                    const Bytes report = io.pending.front();
                    io.pending.pop_front();
                    const std::size_t count = std::min(length, report.size());
                    std::copy_n(report.begin(), count, data);
                    return static_cast<int>(count);
                }
            }
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
            if (io.trickle_start && io.trickle_read < io.trickle.size()) {
                const auto due = *io.trickle_start + io.trickle_gap * static_cast<int>(io.trickle_read + 1);
                if (due < give_up) {
                    std::this_thread::sleep_until(due);
                    const Bytes& report = io.trickle[io.trickle_read++];
                    std::copy_n(report.begin(), std::min(length, report.size()), data);
                    return static_cast<int>(std::min(length, report.size()));
                }
            }
            std::this_thread::sleep_until(give_up);
            return 0;
        }
        ScriptedIo& io;
    };
    std::mutex mutex;
    std::deque<Bytes> pending;
    std::optional<std::chrono::steady_clock::time_point> trickle_start;
};

class Scripted : public ::testing::Test {
protected:
    void SetUp() override { hidaccess::install_raw_device_io(io); }
    void TearDown() override { hidaccess::install_raw_device_io(nullptr); }
    static std::shared_ptr<U2FUsbKey> key() { return first_key(); }
    std::shared_ptr<ScriptedIo> io = std::make_shared<ScriptedIo>();
};

Bytes report(Bytes head)
{
    head.resize(65, 0x00);
    return head;
}

}  // namespace

TEST(KeyLayer, RequestBytes)
{
    const Bytes time = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
    const struct {
        const char* name;
        std::function<void(ProtocolBody*&)> make;
        Bytes bytes;
    } cases[] = {
        {"get active", [](ProtocolBody*& b) { (b = new ProtocolBody)->setup_get_active(); },
         {0x00, 0xE6, 0x00, 0x00, 0x00}},
        {"list users", [](ProtocolBody*& b) { (b = new ProtocolBody)->setup_list_user_info(); },
         {0x00, 0x17, 0x00, 0x00, 0x00}},
        {"calculate", [](ProtocolBody*& b) { auto* c = new ProtocolBodyOfCalHcode; c->setup(kSerial, nullptr); b = c; },
         cat({{0x00, 0xA2, 0x01, 0x00, 0x0A, 0x54, 0x00, 0x51, 0x06}, kSerial})},
        {"timed calculate",
         [&](ProtocolBody*& b) { auto* c = new ProtocolBodyOfCalHcode; c->setup(kSerial, &time); b = c; },
         cat({{0x00, 0xA2, 0x01, 0x00, 0x12, 0x54, 0x08}, time, {0x51, 0x06}, kSerial})},
        // Length bytes keep their low eight bits: (4 + 44) % 256 and 300 % 256.
        {"long user",
         [](ProtocolBody*& b) { auto* c = new ProtocolBodyOfCalHcode; c->setup(Bytes(300, 0x5A), nullptr); b = c; },
         cat({{0x00, 0xA2, 0x01, 0x00, 0x30, 0x54, 0x00, 0x51, 0x2C}, Bytes(300, 0x5A)})},
        {"personalization",
         [](ProtocolBody*& b) {
             auto* p = new ProtocolBodyOfPersonlization;
             p->setup(1, 2, 3, {0xC0, 0xC1, 0xC2, 0xC3}, kSerial);
             b = p;
         },
         cat({{0x00, 0x09, 0x00, 0x00, 0x11, 0x53, 0x06, 1, 2, 3, 0xC0, 0xC1, 0xC2, 0xC3, 0x51, 0x06}, kSerial})},
        {"press mode on", [](ProtocolBody*& b) { b = new ProtocolBodyOfSwitchPressModeOn; },
         {0x80, 0xE1, 0x05, 0x02, 0x01, 0x01}},
        {"press mode off", [](ProtocolBody*& b) { b = new ProtocolBodyOfSwitchPressModeOff; },
         {0x80, 0xE1, 0x05, 0x02, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProtocolBody* body = nullptr;
        c.make(body);
        Bytes out;
        body->serialize(out);
        delete body;
        EXPECT_EQ(out, c.bytes);
    }
}

// Each word raises its class and text; any other word passes here (a write checks it again); a
// site-logging throw keeps the class.
TEST_F(Scripted, StatusWords)
{
    const std::pair<Bytes, std::string> cases[] = {
        {{0x90, 0x00}, ""},
        {{0x6A, 0x84}, as<KeyException>("resp_code exception: No space")},
        {{0x6A, 0x80}, as<KeyException>("resp_code exception: Wrong syntax")},
        {{0x69, 0x85}, as<KeyException>("resp_code exception: Conditions not satisfied")},
        {{0x61, 0xFF}, as<KeyException>("resp_code exception: More data available")},
        {{0x69, 0x84}, as<KeyNoObjectException>("No such object")},
        {{0x63, 0xC1}, ""},
        {{0x90}, ""},
        {{}, ""},
    };
    const auto key = this->key();
    for (const auto& [word, text] : cases) {
        SCOPED_TRACE(bytes_to_hex(word));
        const Bytes code = word;  // a lambda cannot capture a structured binding
        EXPECT_EQ(thrown([&] { key->check_resp_code(code); }), text);
    }
    EXPECT_EQ(thrown([] { UsbKey::check_write_resp_code({0x63, 0xC1}); }),
              as<KeyException>("resp_code exception: Unknown status word 63 c1"));
    EXPECT_EQ(thrown([] { throw_exp_print_line(KeyAccessException("cannot write"), "some/file.cpp", 42); }),
              as<KeyAccessException>("cannot write"));
}

TEST_F(Scripted, AnswersAndTheirLog)
{
    io->command_answer = {ScriptedIo::msg({0x90, 0x00}, 2)};
    const auto key = this->key();
    Bytes serial = {0xFF};
    key->op_get_active(serial);
    EXPECT_TRUE(serial.empty());

    // The code from a calculate answer; cut short or padded, no code rather than one of the wrong bytes.
    const std::tuple<Bytes, std::int32_t, std::uint32_t> codes[] = {
        {{0x00, 0x00, 0x06, 0x00, 0xBC, 0x61, 0x4E}, 6, 345678},
        {{0x00, 0x00, 0x08, 0x00, 0xBC, 0x61, 0x4E}, 8, 12345678},
        {{0x00, 0x00, 10, 0xFF, 0xFF, 0xFF, 0xFF}, 10, 4294967295u},
        {{0x00, 0x00, 0x06, 0x00, 0xBC, 0x61}, 99, 0},
        {{0x00, 0x00, 0x06, 0x00, 0xBC, 0x61, 0x4E, 0x90}, 99, 0},
    };
    for (const auto& [given, digits, code] : codes) {
        SCOPED_TRACE(bytes_to_hex(given));
        const Bytes response = given;  // a lambda cannot capture a structured binding
        std::int32_t got = 99;
        std::uint32_t value = 0;
        const std::string error = thrown([&] { value = key->get_otp(response, got); });
        EXPECT_EQ(error, digits == 99 ? as<KeyException>("otp's hcode is wrong") : "");
        EXPECT_EQ(got, digits);
        EXPECT_EQ(value, code);
    }
}

// What the window and the terminal get from a code read: a value no token gives (over 31 bits)
// is a malformed answer, not a code; a code keeps its leading zeros; every serial byte is one
// character.
TEST_F(Scripted, TheLayersReadings)
{
    io->command_answer = {ScriptedIo::msg({0x00, 0x00, 10, 0x80, 0x00, 0x00, 0x00, 0x90, 0x00}, 9)};
    const token::Read<token::Code> read = token::read_code(*key(), kSerial, 37037037, std::nullopt);
    EXPECT_EQ(read.outcome.status, token::Status::Lost);
    EXPECT_EQ(read.outcome.detail, "OTP value does not fit: 2147483648");
    EXPECT_EQ(token::code_text({81804, 6, 0}), "081804");
    EXPECT_EQ(token::code_text({90, 8, 0}), "00000090");
    EXPECT_EQ(token::code_text({12345678, 6, 0}), "12345678");
    EXPECT_EQ(token::serial_text({'S', 0xE9, 0x7F, 0xC3}), "S\xC3\xA9\x7F\xC3\x83");
}

// A continuation lost while another program's reports keep coming: the rest of the answer has
// one time limit in all, which the reports it skips do not renew.
TEST_F(Scripted, OtherTrafficDoesNotStretchTheContinuationLimit)
{
    io->command_answer = {ScriptedIo::msg(Bytes(57, 0x11), 100)};
    Bytes other = {9, 9, 9, 9, 0x83, 0x00, 2, 0x90, 0x00};
    other.resize(64, 0x00);
    io->trickle.assign(8, other);
    io->trickle_gap = std::chrono::milliseconds(500);
    Bytes serial;
    EXPECT_THROW(key()->op_get_active(serial), KeyException);
    EXPECT_LT(io->trickle_read, io->trickle.size());
}

// Records are tag 0x52, length, algorithm << 4 | type, serial; a malformed record ends the list
// (under ASan: without reading past the data).
TEST_F(Scripted, UserList)
{
    const Bytes good = {0x52, 0x07, 0x21, 'A', 'B', 'C', '1', '2', '3'};
    const std::pair<Bytes, std::string> cases[] = {
        {cat({good, {0x52, 0x03, 0x12, 'X', 'Y'}}), "ABC123 2 1;XY 1 2;"}, {{0x53, 0x03, 0x12, 0x58, 0x59}, ""},
        {cat({good, {0x52, 0x09, 0x21, 0x41}}), "ABC123 2 1;"},            {cat({good, {0x52}}), "ABC123 2 1;"},
    };
    for (const auto& [data, expected] : cases) {
        SCOPED_TRACE(bytes_to_hex(data));
        io->command_answer = {ScriptedIo::msg(cat({data, {0x90, 0x00}}), static_cast<std::uint8_t>(data.size() + 2))};
        std::vector<User> users;
        key()->op_get_user_info(users);
        EXPECT_EQ(io->written.back(), report({0x00, 1, 2, 3, 4, 0x83, 0x00, 0x05, 0x00, 0x17, 0x00, 0x00, 0x00}));
        std::string listed;
        for (const User& user : users)
            listed += std::string(user.serial_number.begin(), user.serial_number.end()) + " " +
                      std::to_string(user.algorithm) + " " + std::to_string(user.type) + ";";
        EXPECT_EQ(listed, expected);
    }
}

// A request goes out as INIT, SELECT and the command, each one zero-padded report; a refused
// flush does not stop it; another program's ERROR ahead of the INIT answer is skipped; cut
// answers are failed reads.
TEST_F(Scripted, RequestOnTheWire)
{
    io->refuse_flush = true;
    io->before_init_answer = {report({0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0x00, 0x01, 0x03})};
    io->command_answer = {ScriptedIo::msg({0x41, 0x42, 0x90, 0x00}, 4)};
    Bytes serial;
    key()->op_get_active(serial);
    EXPECT_EQ(serial, ascii("AB"));

    ASSERT_EQ(io->written.size(), 3u);
    EXPECT_EQ(io->written[0], report(cat({{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x86, 0x00, 0x08},
                                          Bytes(io->written[0].begin() + 8, io->written[0].begin() + 16)})));
    EXPECT_EQ(io->written[1], report({0x00, 1, 2, 3, 4, 0x83, 0x00, 0x0E, 0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56,
                                      0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01}));
    EXPECT_EQ(io->written[2], report({0x00, 1, 2, 3, 4, 0x83, 0x00, 0x05, 0x00, 0xE6, 0x00, 0x00, 0x00}));

    // Short reports, and an answer one byte shorter than it says, are failed reads, not reads
    // past the buffer.
    io->before_init_answer.clear();
    io->refuse_flush = false;
    for (const std::vector<Bytes>& cut : {std::vector<Bytes>{{1, 2, 3, 4, 0x83, 0x00}},
                                          std::vector<Bytes>{ScriptedIo::msg(Bytes(57, 0x30), 100), {1, 2, 3, 4}},
                                          std::vector<Bytes>{ScriptedIo::msg(Bytes(57, 0x30), 58)}}) {
        io->command_answer = cut;
        EXPECT_THROW(key()->op_get_active(serial), KeyAccessException);
    }
    // An ERROR between the reports of one answer is the token's refusal, not a wait for the rest
    // nor a lost token; CHANNEL_BUSY says the token is busy.
    for (const auto& [code, text] : {std::pair<std::uint8_t, std::string>{0x05, as<KeyException>("U2F error answer: MSG_TIMEOUT (5)")},
                                     {0x06, as<KeyBusyException>("U2F error answer: CHANNEL_BUSY (6)")}}) {
        io->command_answer = {ScriptedIo::msg(Bytes(57, 0x30), 100), cat({{1, 2, 3, 4, 0xBF, 0x00, 0x01, code}, Bytes(56, 0)})};
        EXPECT_EQ(thrown([&] { key()->op_get_active(serial); }), text);
    }
    // An INIT answer of the nonce alone: no channel is read from past its end.
    io->command_answer.clear();
    io->init_length = 8;
    EXPECT_EQ(thrown([&] { key()->op_get_active(serial); }), as<KeyAccessException>("U2F INIT answer is too short"));
    EXPECT_EQ(serial, ascii("AB"));
}
