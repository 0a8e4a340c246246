#include "key_exception.h"
#include "log_capture.h"
#include "usbkey.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace {

// Only check_resp_code is exercised; the transport must stay unused.
class IdleKey : public UsbKey {
public:
    IdleKey() : UsbKey(nullptr) {}
    void send_command(const std::uint8_t*, std::uint32_t, Bytes&) override { ADD_FAILURE() << "unexpected send"; }
    bool is_connected() override
    {
        ADD_FAILURE() << "unexpected is_connected";
        return false;
    }
};

// Runs check_resp_code and returns the dynamic class and text of what it threw.
template <typename Check>
std::pair<const std::type_info*, std::string> thrown(Check check)
{
    try {
        check();
    } catch (const KeyException& e) {
        return {&typeid(e), e.what()};
    }
    return {nullptr, ""};
}

}  // namespace

TEST(KeyErrors, SuccessLogsOnce)
{
    IdleKey key;
    LogCapture log;
    EXPECT_NO_THROW(key.check_resp_code({0x90, 0x00}));
    const auto records = log.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, el::Level::Info);
    EXPECT_EQ(records[0].message, "Instruction Succesfully");
}

TEST(KeyErrors, ErrorWordsRaisePlainKeyException)
{
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{0x6A, 0x84}, "No space"},
        {{0x69, 0x82}, "Auth required"},
        {{0x6A, 0x80}, "Wrong syntax"},
        {{0x65, 0x81}, "Generic error"},
        {{0x67, 0x00}, "Wrong length"},
        {{0x69, 0x85}, "Conditions not satisfied"},
        {{0x6D, 0x00}, "Ins not supported"},
        {{0x61, 0x00}, "More data available"},
        {{0x61, 0x1F}, "More data available"},
        {{0x61, 0xFF}, "More data available"},
    };
    IdleKey key;
    for (const auto& row : cases) {
        const Bytes& code = row.first;
        const std::string& text = row.second;
        SCOPED_TRACE(bytes_to_hex(code));
        const auto [type, what] = thrown([&] { key.check_resp_code(code); });
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(*type, typeid(KeyException));
        EXPECT_EQ(what, "resp_code exception: " + text);
    }
}

TEST(KeyErrors, NoSuchObjectHasItsOwnClass)
{
    IdleKey key;
    const auto [type, what] = thrown([&] { key.check_resp_code({0x69, 0x84}); });
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(*type, typeid(KeyNoObjectException));
    EXPECT_EQ(what, "No such object");

    EXPECT_THROW(key.check_resp_code({0x69, 0x84}), KeyException);
    try {
        key.check_resp_code({0x69, 0x84});
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No such object");
    }
}

TEST(KeyErrors, UnknownOrMisshapenWordsPassSilently)
{
    const std::vector<Bytes> cases = {
        {0x63, 0xC1}, {0x00, 0x00}, {0x91, 0x00}, {0x90}, {0x90, 0x00, 0x00}, {},
    };
    IdleKey key;
    for (const Bytes& code : cases) {
        SCOPED_TRACE(bytes_to_hex(code));
        LogCapture log;
        EXPECT_NO_THROW(key.check_resp_code(code));
        EXPECT_TRUE(log.records().empty());
    }
}

TEST(KeyErrors, ThrowWithLineKeepsClassAndLogsSite)
{
    const KeyAccessException access("cannot write");
    const KeyNoObjectException no_object("No such object");
    const KeyException plain("plain");
    const std::vector<std::pair<const KeyException*, const std::type_info*>> cases = {
        {&access, &typeid(KeyAccessException)},
        {&no_object, &typeid(KeyNoObjectException)},
        {&plain, &typeid(KeyException)},
    };
    for (const auto& row : cases) {
        const KeyException* original = row.first;
        SCOPED_TRACE(original->what());
        LogCapture log;
        const auto [type, what] = thrown([&] { throw_exp_print_line(*original, "some/file.cpp", 42); });
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(*type, *row.second);
        EXPECT_EQ(what, original->what());
        const auto records = log.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, el::Level::Info);
        EXPECT_EQ(records[0].message,
                  std::string("Key Exception (") + original->what() + ") occurs at some/file.cpp:42");
    }

    // Rethrowing through the base reference must not slice.
    const KeyException& base = no_object;
    EXPECT_THROW(base.raise(), KeyNoObjectException);
    const KeyException& other = access;
    EXPECT_THROW(other.raise(), KeyAccessException);

    const KeyException copy(plain);
    EXPECT_STREQ(copy.what(), "plain");
    const KeyException sliced(access);
    EXPECT_STREQ(sliced.what(), "cannot write");
}

TEST(KeyErrors, StatusTableOrderAndContent)
{
    const std::vector<std::pair<std::string, Bytes>> expected = {
        {"Success", {0x90, 0x00}},
        {"No space", {0x6A, 0x84}},
        {"Auth required", {0x69, 0x82}},
        {"Wrong syntax", {0x6A, 0x80}},
        {"Generic error", {0x65, 0x81}},
        {"No such object", {0x69, 0x84}},
        {"Wrong length", {0x67, 0x00}},
        {"Conditions not satisfied", {0x69, 0x85}},
        {"Ins not supported", {0x6D, 0x00}},
    };
    EXPECT_EQ(resp_code_table, expected);
}
