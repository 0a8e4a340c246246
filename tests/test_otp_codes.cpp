#include "demo_token.h"
#include "sim_fixture.h"

#include <array>
#include <cstdio>
#include <iomanip>
#include <sstream>

namespace {

std::string hex(const Bytes& bytes)
{
    std::ostringstream text;
    for (std::uint8_t byte : bytes)
        text << std::hex << std::setw(2) << std::setfill('0') << int(byte);
    return text.str();
}

// The independent implementation the token's codes must agree with.
std::string oathtool(const std::string& arguments)
{
    const std::string command = "oathtool " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "cannot run oathtool";
    std::string output;
    std::array<char, 128> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        output += buffer.data();
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

std::string zero_padded(std::uint32_t code, int digits)
{
    std::ostringstream text;
    text << std::setw(digits) << std::setfill('0') << code;
    return text.str();
}

}  // namespace

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
