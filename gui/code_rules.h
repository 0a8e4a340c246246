#pragma once

#include "otp_window.h"

#include <cstdint>
#include <optional>

// What the OTP page may show, decided on the GUI thread from the clock alone. A code is shown,
// and so copyable, only while it is the current window's and at least kHideMs of that window are
// left, whichever path brought it: the first read, a late answer, a read after a rescan. Workers
// only deliver results tagged with the window they asked for; these rules decide.
class CodeRules {
public:
    // A code with less left would expire while the user pastes it.
    static constexpr std::int64_t kHideMs = 2000;

    enum class Message { None, PressPrompt, KeyLost, KeyLostRescan };

    struct Code {
        std::uint32_t value = 0;
        int digits = 0;
        std::int64_t window = 0;
    };

    static std::int64_t window_at(std::int64_t now_ms) { return otp_window::window_at(now_ms); }

    // The window whose code a read should fetch now, if any: the current one, while its code is
    // not on screen and enough of it is left to show it.
    std::optional<std::int64_t> wanted_window(std::int64_t now_ms) const;
    // At every tick, and whenever the code is about to be used: drops a code that may no longer
    // be shown. True when the code went.
    bool tick(std::int64_t now_ms);
    // Milliseconds from now until the shown code must go, so that it goes then and not at a
    // later tick; nothing while no code is shown.
    std::optional<std::int64_t> hide_in(std::int64_t now_ms) const;

    void read_started();
    // True when the code is shown; a code for another window, or too late in its own, is dropped.
    bool offer(const Code& code, std::int64_t now_ms);
    // The read has taken longer than a token takes without its button. True when the prompt shows.
    bool prompt_due();
    // The read ended with a message for the user; no code is shown.
    void read_failed(Message message);
    // The read ended with nothing to show. True when a prompt it caused was taken back.
    bool read_ended_silently();

    const std::optional<Code>& code() const { return shown; }
    Message message() const { return text; }
    // Whole seconds left in the current window.
    static int seconds_left(std::int64_t now_ms);
    // While no code may be shown for the rest of the window: the seconds until the next; else 0.
    int next_code_in(std::int64_t now_ms) const;

private:
    static std::int64_t ms_left(std::int64_t now_ms) { return otp_window::ms_left(now_ms); }

    std::optional<Code> shown;
    Message text = Message::None;
    Message text_before_prompt = Message::None;
    bool read_pending = false;
    bool prompt_shown = false;
};
