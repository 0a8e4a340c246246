#include "log_capture.h"
#include "protocol_body.h"

#include <gtest/gtest.h>

namespace {

Bytes serialized(const ProtocolBody& body)
{
    Bytes out;
    body.serialize(out);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

void expect_one_info(const LogCapture& log, const std::string& message)
{
    const auto records = log.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, el::Level::Info);
    EXPECT_EQ(records[0].message, message);
}

const Bytes kSerial = {0x41, 0x42, 0x43, 0x31, 0x32, 0x33};

}  // namespace

TEST(ProtocolBody, CommandsWithoutData)
{
    const struct {
        void (ProtocolBody::*setup)();
        Bytes bytes;
        const char* log;
    } cases[] = {
        {&ProtocolBody::setup_get_active, {0x00, 0xE6, 0x00, 0x00, 0x00}, "[protocol] get active"},
        {&ProtocolBody::setup_list_user_info, {0x00, 0x17, 0x00, 0x00, 0x00}, "[protocol] list user info"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        ProtocolBody body;
        (body.*c.setup)();
        EXPECT_EQ(serialized(body), c.bytes);
        expect_one_info(log, c.log);
    }
}

TEST(ProtocolBody, Calculate)
{
    LogCapture log;
    ProtocolBodyOfCalHcode plain;
    plain.setup(kSerial, nullptr);
    EXPECT_EQ(serialized(plain), concat({{0x00, 0xA2, 0x01, 0x00, 0x0A, 0x54, 0x00, 0x51, 0x06}, kSerial}));

    const Bytes time = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
    ProtocolBodyOfCalHcode timed;
    timed.setup(kSerial, &time);
    const Bytes timed_bytes = serialized(timed);
    EXPECT_EQ(timed_bytes.size(), 23u);
    EXPECT_EQ(timed_bytes, concat({{0x00, 0xA2, 0x01, 0x00, 0x12, 0x54, 0x08}, time, {0x51, 0x06}, kSerial}));

    ProtocolBodyOfCalHcode empty_user;
    empty_user.setup({}, nullptr);
    EXPECT_EQ(serialized(empty_user), (Bytes{0x00, 0xA2, 0x01, 0x00, 0x04, 0x54, 0x00, 0x51, 0x00}));
    EXPECT_TRUE(log.records().empty());
}

TEST(ProtocolBody, LengthBytesKeepLowEightBits)
{
    const Bytes user300(300, 0x5A);
    ProtocolBodyOfCalHcode long_user;
    long_user.setup(user300, nullptr);
    const Bytes bytes = serialized(long_user);
    ASSERT_EQ(bytes.size(), 309u);
    EXPECT_EQ(bytes[4], 0x30);  // (4 + 44) % 256
    EXPECT_EQ(bytes[8], 0x2C);  // 300 % 256
    EXPECT_EQ(Bytes(bytes.begin() + 9, bytes.end()), user300);

    ProtocolBodyOfPersonlization big;
    big.setup(1, 2, 3, Bytes(255, 0xEE), {});
    const Bytes big_bytes = serialized(big);
    ASSERT_EQ(big_bytes.size(), 267u);
    EXPECT_EQ(big_bytes[4], 0x06);  // (255 + 0 + 7) % 256
    EXPECT_EQ(big_bytes[6], 0x01);  // (255 + 2) % 256
    EXPECT_EQ(Bytes(big_bytes.end() - 2, big_bytes.end()), (Bytes{0x51, 0x00}));
}

TEST(ProtocolBody, Personalization)
{
    LogCapture log;
    const Bytes settings = {0xC0, 0xC1, 0xC2, 0xC3};
    ProtocolBodyOfPersonlization body;
    body.setup(1, 2, 3, settings, kSerial);
    const Bytes bytes = serialized(body);
    EXPECT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes, concat({{0x00, 0x09, 0x00, 0x00, 0x11, 0x53, 0x06, 0x01, 0x02, 0x03}, settings,
                             {0x51, 0x06}, kSerial}));
    expect_one_info(log, "[protocol] personlization");
}

TEST(ProtocolBody, PressModeBodies)
{
    EXPECT_EQ(serialized(ProtocolBodyOfSwitchPressModeOn()), (Bytes{0x80, 0xE1, 0x05, 0x02, 0x01, 0x01}));
    EXPECT_EQ(serialized(ProtocolBodyOfSwitchPressModeOff()), (Bytes{0x80, 0xE1, 0x05, 0x02, 0x01, 0x00}));
}
