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
    bool is_connected() override { return false; }
};

// Dynamic class and text of what the call threw; null class when nothing was thrown.
template <typename Call>
std::pair<const std::type_info*, std::string> thrown(Call call)
{
    try {
        call();
    } catch (const KeyException& e) {
        return {&typeid(e), e.what()};
    }
    return {nullptr, ""};
}

}  // namespace

// Each word of the table raises its class and text; success logs once; any other word, or no
// word at all, passes silently.
TEST(KeyErrors, StatusWordsRaiseTheirClassAndText)
{
    const struct {
        Bytes code;
        const std::type_info* type;  // null: nothing is thrown
        std::string text;            // what() or, when nothing is thrown, the one log record
    } cases[] = {
        {{0x90, 0x00}, nullptr, "Instruction Succesfully"},
        {{0x6A, 0x84}, &typeid(KeyException), "resp_code exception: No space"},
        {{0x69, 0x82}, &typeid(KeyException), "resp_code exception: Auth required"},
        {{0x6A, 0x80}, &typeid(KeyException), "resp_code exception: Wrong syntax"},
        {{0x65, 0x81}, &typeid(KeyException), "resp_code exception: Generic error"},
        {{0x67, 0x00}, &typeid(KeyException), "resp_code exception: Wrong length"},
        {{0x69, 0x85}, &typeid(KeyException), "resp_code exception: Conditions not satisfied"},
        {{0x6D, 0x00}, &typeid(KeyException), "resp_code exception: Ins not supported"},
        {{0x61, 0x00}, &typeid(KeyException), "resp_code exception: More data available"},
        {{0x61, 0xFF}, &typeid(KeyException), "resp_code exception: More data available"},
        {{0x69, 0x84}, &typeid(KeyNoObjectException), "No such object"},
        {{0x63, 0xC1}, nullptr, ""},
        {{0x91, 0x00}, nullptr, ""},
        {{0x90}, nullptr, ""},
        {{0x90, 0x00, 0x00}, nullptr, ""},
        {{}, nullptr, ""},
    };
    IdleKey key;
    for (const auto& c : cases) {
        SCOPED_TRACE(bytes_to_hex(c.code));
        LogCapture log;
        const auto [type, what] = thrown([&] { key.check_resp_code(c.code); });
        EXPECT_EQ(type == nullptr ? "" : type->name(), c.type == nullptr ? "" : c.type->name());
        if (type != nullptr)
            EXPECT_EQ(what, c.text);
        else
            EXPECT_EQ(log.messages(), c.text.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.text});
    }
    EXPECT_THROW(key.check_resp_code({0x69, 0x84}), std::runtime_error);
}

TEST(KeyErrors, ThrowWithLineKeepsClassAndLogsSite)
{
    const KeyAccessException access("cannot write");
    const KeyNoObjectException no_object("No such object");
    const KeyException plain("plain");
    const std::pair<const KeyException*, const std::type_info*> cases[] = {
        {&access, &typeid(KeyAccessException)},
        {&no_object, &typeid(KeyNoObjectException)},
        {&plain, &typeid(KeyException)},
    };
    for (const auto& c : cases) {
        const KeyException& original = *c.first;
        SCOPED_TRACE(original.what());
        LogCapture log;
        const auto [type, what] = thrown([&] { throw_exp_print_line(original, "some/file.cpp", 42); });
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(*type, *c.second);
        EXPECT_EQ(what, original.what());
        const auto records = log.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].level, el::Level::Info);
        EXPECT_EQ(records[0].message, "Key Exception (" + what + ") occurs at some/file.cpp:42");

        const std::type_info* raised = thrown([&] { original.raise(); }).first;
        ASSERT_NE(raised, nullptr);
        EXPECT_EQ(*raised, *c.second);
    }

    const KeyException sliced(access);
    EXPECT_STREQ(sliced.what(), "cannot write");
}
