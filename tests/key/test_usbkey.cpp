#include "key_exception.h"
#include "log_capture.h"
#include "usbkey.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <typeinfo>

namespace {

// Records each request package and answers with the next scripted response.
class ScriptedKey : public UsbKey {
public:
    ScriptedKey() : UsbKey(nullptr) {}
    void send_command(const std::uint8_t* data, std::uint32_t length, Bytes& response) override
    {
        requests.emplace_back(data, data + length);
        ASSERT_FALSE(responses.empty()) << "no scripted response left";
        response = responses.front();
        responses.pop_front();
    }
    bool is_connected() override { return true; }

    std::vector<Bytes> requests;
    std::deque<Bytes> responses;
};

// Fills the header like the U2F key does (channel 01 02 03 04, MSG), without any exchange.
class HeaderKey : public ScriptedKey {
public:
    void prepare_header(std::uint8_t** header) override
    {
        for (std::uint8_t i = 1; i <= 4; ++i)
            (*header)[i] = i;
        (*header)[5] = 0x83;
    }
};

// Headerless response: one leading byte, the length byte, data, status word.
Bytes answer(const Bytes& data, const Bytes& status = {0x90, 0x00})
{
    Bytes out = {0x00, static_cast<std::uint8_t>(data.size() + 2)};
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), status.begin(), status.end());
    return out;
}

const Bytes kSerial = {0x41, 0x42, 0x43, 0x31, 0x32, 0x33};
const Bytes kUserList = {0x52, 0x07, 0x21, 0x41, 0x42, 0x43, 0x31, 0x32, 0x33, 0x52, 0x03, 0x12, 0x58, 0x59};

}  // namespace

TEST(UsbKey, HeaderedExchangeAndItsLog)
{
    HeaderKey key;
    key.responses.push_back({0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x02, 0x90, 0x00});
    LogCapture log;
    Bytes serial = {0xFF};
    key.op_get_active(serial);

    EXPECT_EQ(key.requests,
              (std::vector<Bytes>{{0x00, 0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x05, 0x00, 0xE6, 0x00, 0x00, 0x00}}));
    EXPECT_TRUE(serial.empty());
    const std::vector<std::string> expected = {
        "[protocol] get active",
        "-> Request package hex is ", "00 01 02 03 04 83 00 05 00 e6 00 00 00 ",
        "-> Response package hex is ", "01 02 03 04 83 00 02 90 00 ",
        "-> Parsed response:", "",
        "-> Response code:", "90 00 ",
        "Instruction Succesfully",
    };
    EXPECT_EQ(log.messages(), expected);
}

TEST(UsbKey, OtpFromCalculateAnswer)
{
    const struct {
        Bytes response;
        std::int32_t digits;
        std::uint32_t otp;
    } cases[] = {
        {{0x00, 0x00, 0x06, 0x00, 0xBC, 0x61, 0x4E}, 6, 345678},
        {{0x00, 0x00, 0x08, 0x00, 0xBC, 0x61, 0x4E}, 8, 12345678},
        {{0x00, 0x00, 0x00, 0x00, 0xBC, 0x61, 0x4E}, 0, 0},
        {{0x00, 0x00, 0x09, 0xFF, 0xFF, 0xFF, 0xFF}, 9, 294967295},
        {{0x00, 0x00, 10, 0xFF, 0xFF, 0xFF, 0xFF}, 10, 4294967295u},
        {{0x00, 0x00, 255, 0xFF, 0xFF, 0xFF, 0xFF}, 255, 4294967295u},
    };
    ScriptedKey key;
    for (const auto& c : cases) {
        SCOPED_TRACE(bytes_to_hex(c.response));
        std::int32_t digits = -1;
        EXPECT_EQ(key.get_otp(c.response, digits), c.otp);
        EXPECT_EQ(digits, c.digits);
    }

    // Cut short or padded, as a lying length byte or a padded answer leaves it: no code at all
    // rather than one made of the wrong bytes.
    const Bytes misshapen[] = {
        {0x00, 0x06},
        {0x00, 0x00, 0x06},
        {0x00, 0x00, 0x06, 0x00, 0xBC, 0x61},
        {0x00, 0x00, 0x06, 0x00, 0xBC, 0x61, 0x4E, 0x90},
        {0x00, 0x00, 0x06, 0xAA, 0xBB, 0x00, 0xBC, 0x61, 0x4E},
    };
    for (const Bytes& response : misshapen) {
        SCOPED_TRACE(bytes_to_hex(response));
        std::int32_t digits = 99;
        try {
            key.get_otp(response, digits);
            ADD_FAILURE() << "misshapen answer accepted";
        } catch (const KeyException& e) {
            EXPECT_EQ(typeid(e), typeid(KeyException));
            EXPECT_STREQ(e.what(), "otp's hcode is wrong");
        }
        EXPECT_EQ(digits, 99);
    }
}

TEST(UsbKey, UserList)
{
    ScriptedKey key;
    key.responses = {answer(kUserList), answer(kUserList)};
    LogCapture log;
    std::vector<User> users;
    key.op_get_user_info(users);
    EXPECT_EQ(key.requests.at(0), (Bytes{0x00, 0x17, 0x00, 0x00, 0x00}));
    const std::vector<std::string> expected_log = {
        "serial_number is: ABC123", "Algorithm is: 2", "Type is: 1",
        "serial_number is: XY",     "Algorithm is: 1", "Type is: 2",
    };
    const auto messages = log.messages(el::Level::Info);
    ASSERT_GE(messages.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(messages.end() - 6, messages.end()), expected_log);

    key.op_get_user_info(users);  // appends, does not replace
    ASSERT_EQ(users.size(), 4u);
    for (std::size_t i = 0; i < 4; i += 2) {
        EXPECT_EQ(users[i].serial_number, kSerial);
        EXPECT_EQ(users[i].algorithm, 2);
        EXPECT_EQ(users[i].type, 1);
        EXPECT_EQ(users[i + 1].serial_number, (Bytes{0x58, 0x59}));
        EXPECT_EQ(users[i + 1].algorithm, 1);
        EXPECT_EQ(users[i + 1].type, 2);
    }
}

// Under ASan this also proves no record is read past the end of the data.
TEST(UsbKey, UserListStopsAtMalformedRecord)
{
    const Bytes good = {0x52, 0x07, 0x21, 0x41, 0x42, 0x43, 0x31, 0x32, 0x33};
    const std::pair<Bytes, std::size_t> cases[] = {
        {{}, 0},
        {{0x53, 0x03, 0x12, 0x58, 0x59}, 0},
        {{0x52, 0x09, 0x21, 0x41, 0x42}, 1},
        {{0x52, 0x00, 0x21, 0x41}, 1},
        {{0x52}, 1},
        {{0x52, 0x03}, 1},
        {{0x11, 0x52, 0x03, 0x12, 0x58, 0x59}, 1},
    };
    for (const auto& [tail, count] : cases) {
        Bytes data = count == 0 ? Bytes{} : good;
        data.insert(data.end(), tail.begin(), tail.end());
        SCOPED_TRACE(bytes_to_hex(data));
        ScriptedKey key;
        key.responses.push_back(answer(data));
        std::vector<User> users;
        EXPECT_NO_THROW(key.op_get_user_info(users));
        ASSERT_EQ(users.size(), count);
        if (count == 1) {
            EXPECT_EQ(users[0].serial_number, kSerial);
        }
    }
}

TEST(UsbKey, MalformedResponsesAreAccessErrors)
{
    const auto check = [](ScriptedKey& key, const Bytes& response) {
        SCOPED_TRACE(bytes_to_hex(response));
        key.responses.push_back(response);
        ProtocolBody body;
        body.setup_get_active();
        Bytes data = {0xD0};
        Bytes code = {0xC0, 0xC1};
        try {
            key.combine_send(body, data, code);
            ADD_FAILURE() << "malformed response accepted";
        } catch (const KeyException& e) {
            EXPECT_EQ(typeid(e), typeid(KeyAccessException));
        }
        EXPECT_EQ(data, Bytes{0xD0});
        EXPECT_EQ(code, (Bytes{0xC0, 0xC1}));
    };
    ScriptedKey plain_key;
    for (const Bytes& response : {Bytes{0x00, 0x05, 0x90, 0x00}, Bytes{0x00, 0x00, 0x90, 0x00},
                                  Bytes{0x00, 0x01, 0x90, 0x00}, Bytes{}, Bytes{0x00}})
        check(plain_key, response);
    HeaderKey header_key;
    for (const Bytes& response : {Bytes{0x01, 0x02, 0x03, 0x04, 0x83, 0x00},
                                  Bytes{0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x03, 0x90, 0x00},
                                  Bytes{0x01, 0x02, 0x03, 0x04, 0x83, 0x00, 0x01, 0x90, 0x00}})
        check(header_key, response);
}

TEST(UsbKey, StatusErrorRaisedAfterBuffersFilled)
{
    ScriptedKey key;
    key.responses.push_back(answer({0xAA, 0xBB, 0xCC}, {0x69, 0x84}));
    ProtocolBody body;
    body.setup_get_active();
    Bytes data;
    Bytes code;
    EXPECT_THROW(key.combine_send(body, data, code), KeyNoObjectException);
    EXPECT_EQ(data, (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(code, (Bytes{0x69, 0x84}));
}
