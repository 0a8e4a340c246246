#include "demo_token.h"
#include "log_capture.h"
#include "oathtool.h"
#include "sim_fixture.h"

using OtpCodes = SimTokenTest;

TEST_F(OtpCodes, TotpCodesMatchOathtoolAtTheReferenceTimes)
{
    struct Variant {
        sim::OtpHash hash;
        const char* oath_name;
        Bytes secret;
    };
    const std::vector<Variant> variants = {
        {sim::OtpHash::Sha1, "sha1", ascii("12345678901234567890")},
        {sim::OtpHash::Sha256, "sha256", ascii("12345678901234567890123456789012")},
    };
    const std::vector<std::int64_t> times = {59, 1111111109, 1234567890, 2000000000, 20000000000};

    for (const Variant& variant : variants) {
        for (int digits : {6, 8}) {
            auto totp_token = std::make_shared<sim::SimToken>();
            sim::SimUser user;
            user.serial_number = ascii("TOTP" + std::to_string(digits));
            user.hash = variant.hash;
            user.secret = variant.secret;
            user.digits = digits;
            totp_token->add_user(user);
            bus->unplug(id);
            id = bus->plug(totp_token);
            auto key = discover();

            for (std::int64_t time : times) {
                SCOPED_TRACE(std::string(variant.oath_name) + " " + std::to_string(digits) + " digits at " +
                             std::to_string(time));
                Bytes response;
                key->cal_hcode(user.serial_number, response, time);
                std::int32_t got_digits = 0;
                const std::uint32_t code = key->get_otp(response, got_digits);
                EXPECT_EQ(got_digits, digits);
                EXPECT_EQ(zero_padded(code, digits),
                          oathtool("--totp=" + std::string(variant.oath_name) + " -d " + std::to_string(digits) +
                                   " -N @" + std::to_string(time) + " " + hex(variant.secret)));
            }
        }
    }
}

TEST_F(OtpCodes, DemoTokenShowsTheCurrentCodeOfTheReferenceSecret)
{
    bus->unplug(id);
    id = bus->plug(sim::make_demo_token());
    auto key = discover();
    Bytes demo_serial;
    key->op_get_active(demo_serial);
    EXPECT_EQ(demo_serial, ascii("SIM0000001"));
    std::int32_t digits = 0;
    const std::uint32_t code = key->op_get_otp(demo_serial, digits);
    const std::string now = oathtool("--totp -d 6 3132333435363738393031323334353637383930");
    // The 30-second window may turn between the two reads; then the next one must agree.
    const std::uint32_t again = key->op_get_otp(demo_serial, digits);
    EXPECT_TRUE(zero_padded(code, 6) == now || zero_padded(again, 6) == now) << now;
}

TEST_F(OtpCodes, RequestCarriesTheEightByteCountOfThirtySecondSteps)
{
    auto key = discover();
    const Bytes head = {0x00, 0xA2, 0x01, 0x00, 0x12, 0x54, 0x08};
    const Bytes user = {0x51, 0x06, 'A', 'B', 'C', '1', '2', '3'};
    const std::vector<std::pair<std::int64_t, Bytes>> steps = {
        {59, {0, 0, 0, 0, 0, 0, 0, 0x01}},
        {20000000000, {0, 0, 0, 0, 0x27, 0xBC, 0x86, 0xAA}},
        {-1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& [time, counter] : steps) {
        Bytes response;
        key->cal_hcode(serial, response, time);
        Bytes expected = head;
        expected.insert(expected.end(), counter.begin(), counter.end());
        expected.insert(expected.end(), user.begin(), user.end());
        EXPECT_EQ(token->received_commands().back(), expected) << time;
    }
}

namespace {

const std::int64_t kReferenceTime = 1234567890;

std::string reference_code()
{
    return oathtool("--totp -d 6 -N @" + std::to_string(kReferenceTime) + " 3132333435363738393031323334353637383930");
}

std::string code_at_reference_time(U2FUsbKey& key, const Bytes& serial)
{
    Bytes response;
    key.cal_hcode(serial, response, kReferenceTime);
    std::int32_t digits = 0;
    const std::uint32_t code = key.get_otp(response, digits);
    return zero_padded(code, digits);
}

}  // namespace

TEST_F(OtpCodes, AnotherChannelsAnswerArrivingAfterTheFlushIsSkipped)
{
    auto key = discover();
    token->send_foreign_answer_before_next();
    LogCapture log;
    EXPECT_EQ(code_at_reference_time(*key, serial), reference_code());
    EXPECT_TRUE(log.contains("Skipped 1 reports that were not the answer"));
}

TEST_F(OtpCodes, KeepalivesDuringATwoSecondPressAreSkippedAndTheCodeArrives)
{
    auto key = discover();
    token->set_press_mode(true);
    token->set_keepalive_during_press(true);
    token->set_auto_press(std::chrono::milliseconds(2000));
    // A second handle on the token sees every report the key's handle sees.
    std::unique_ptr<hidaccess::RawDevice> observer = bus->open(bus->paths(id).at(0));
    LogCapture log;
    EXPECT_EQ(code_at_reference_time(*key, serial), reference_code());

    int keepalives = 0;
    std::uint8_t report[64] = {};
    while (observer->read(report, sizeof report, 0) > 0)
        keepalives += report[4] == 0xBB ? 1 : 0;
    EXPECT_GE(keepalives, 15);
    EXPECT_TRUE(log.contains("Skipped " + std::to_string(keepalives) + " reports that were not the answer"));
}
