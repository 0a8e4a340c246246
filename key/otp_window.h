#pragma once

#include <cstdint>

// The 30-second windows of TOTP: the one arithmetic the key, the window and the terminal use.
// Times are milliseconds since the Unix epoch.
namespace otp_window {

constexpr std::int64_t kStepMs = 30000;
constexpr int kStepSeconds = static_cast<int>(kStepMs / 1000);

// Floor division, so that times before 1970 stay in their own window.
constexpr std::int64_t window_at(std::int64_t unix_ms)
{
    return unix_ms / kStepMs - (unix_ms % kStepMs < 0 ? 1 : 0);
}

constexpr std::int64_t window_start(std::int64_t window)
{
    return window * kStepMs;
}

constexpr std::int64_t window_end(std::int64_t window)
{
    return window_start(window + 1);
}

// 1 to kStepMs.
constexpr std::int64_t ms_left(std::int64_t unix_ms)
{
    return window_end(window_at(unix_ms)) - unix_ms;
}

}  // namespace otp_window
