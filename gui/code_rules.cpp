#include "code_rules.h"

#include <algorithm>

int CodeRules::seconds_left(std::int64_t now_ms)
{
    return static_cast<int>(ms_left(now_ms) / 1000);
}

int CodeRules::next_code_in(std::int64_t now_ms) const
{
    const std::int64_t left = ms_left(now_ms);
    if (left >= kHideMs || shown)
        return 0;
    return static_cast<int>((left + 999) / 1000);
}

std::optional<std::int64_t> CodeRules::wanted_window(std::int64_t now_ms) const
{
    const std::int64_t current = window_at(now_ms);
    if (ms_left(now_ms) < kHideMs || (shown && shown->window == current))
        return std::nullopt;
    return current;
}

bool CodeRules::tick(std::int64_t now_ms)
{
    if (!shown || (shown->window == window_at(now_ms) && ms_left(now_ms) >= kHideMs))
        return false;
    shown.reset();
    return true;
}

std::optional<std::int64_t> CodeRules::hide_in(std::int64_t now_ms) const
{
    if (!shown)
        return std::nullopt;
    // The first millisecond with less than kHideMs left.
    const std::int64_t hide_at = otp_window::window_end(shown->window) - kHideMs + 1;
    return std::max<std::int64_t>(hide_at - now_ms, 0);
}

void CodeRules::read_started()
{
    read_pending = true;
}

bool CodeRules::offer(const Code& code, std::int64_t now_ms)
{
    if (code.window != window_at(now_ms) || ms_left(now_ms) < kHideMs) {
        read_ended_silently();
        return false;
    }
    read_pending = false;
    prompt_shown = false;
    // An error text from before this code is old news once the code has come.
    text = Message::None;
    shown = code;
    return true;
}

bool CodeRules::prompt_due()
{
    if (!read_pending || shown || text == Message::PressPrompt)
        return false;
    text_before_prompt = text;
    text = Message::PressPrompt;
    prompt_shown = true;
    return true;
}

void CodeRules::read_failed(Message message)
{
    read_pending = false;
    prompt_shown = false;
    text = message;
    shown.reset();
}

bool CodeRules::read_ended_silently()
{
    read_pending = false;
    if (!prompt_shown)
        return false;
    // The prompt guessed at a press wait that this ending shows was none.
    text = text_before_prompt;
    prompt_shown = false;
    return true;
}
