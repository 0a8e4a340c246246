#include "code_rules.h"

#include <gtest/gtest.h>

namespace {

using Message = CodeRules::Message;

constexpr std::int64_t kWindow = 37037036;  // 1111111080 s
constexpr std::int64_t kStart = kWindow * 30000;

CodeRules::Code code_of(std::int64_t window, std::uint32_t value = 81804)
{
    return {value, 6, static_cast<std::int64_t>(window)};
}

}  // namespace

// In the window's last two seconds no code is read, offered or kept, whichever path brings it;
// the page says when the next one comes instead. Every 100 ms of the last 2.5 s, from start-up.
TEST(CodeRules, NoCodeWithLessThanTheThresholdLeft)
{
    for (std::int64_t ms = 27500; ms < 30000; ms += 100) {
        SCOPED_TRACE(ms);
        const std::int64_t now = kStart + ms;
        const bool showable = 30000 - ms >= CodeRules::kHideMs;
        CodeRules fresh;
        EXPECT_EQ(fresh.wanted_window(now).has_value(), showable);
        EXPECT_EQ(fresh.offer(code_of(kWindow), now), showable);
        EXPECT_EQ(fresh.next_code_in(now), showable ? 0 : (30000 - ms + 999) / 1000);

        CodeRules shown;
        ASSERT_TRUE(shown.offer(code_of(kWindow), kStart + 1000));
        EXPECT_EQ(shown.tick(now), !showable);
        EXPECT_EQ(shown.code().has_value(), showable);
        EXPECT_FALSE(shown.wanted_window(now).has_value());
    }
    EXPECT_EQ(CodeRules::seconds_left(kStart + 12400), 17);
    EXPECT_EQ(CodeRules::seconds_left(kStart), 30);
}

// The press prompt comes only for a read still waiting; a read that ends without text takes it
// back, a failure replaces it, and a code makes every text old news.
TEST(CodeRules, PromptAndMessages)
{
    CodeRules rules;
    rules.read_started();
    rules.read_failed(Message::KeyLost);
    EXPECT_FALSE(rules.prompt_due());

    rules.read_started();
    ASSERT_TRUE(rules.prompt_due());
    EXPECT_EQ(rules.message(), Message::PressPrompt);
    EXPECT_FALSE(rules.prompt_due());
    EXPECT_TRUE(rules.read_ended_silently());
    EXPECT_EQ(rules.message(), Message::KeyLost);

    // A late answer is a read that ended with nothing to show.
    rules.read_started();
    ASSERT_TRUE(rules.prompt_due());
    EXPECT_FALSE(rules.offer(code_of(kWindow - 1), kStart + 100));
    EXPECT_EQ(rules.message(), Message::KeyLost);

    rules.read_started();
    ASSERT_TRUE(rules.offer(code_of(kWindow), kStart + 100));
    EXPECT_EQ(rules.message(), Message::None);
    rules.read_started();
    EXPECT_FALSE(rules.prompt_due());

    // The token lost: the code goes with the text.
    rules.read_failed(Message::KeyLostRescan);
    EXPECT_FALSE(rules.code().has_value());
    EXPECT_EQ(rules.message(), Message::KeyLostRescan);
    EXPECT_EQ(rules.wanted_window(kStart + 100), std::optional<std::int64_t>(kWindow));
}
