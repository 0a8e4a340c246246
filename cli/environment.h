#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#ifdef __linux__
#include "linux_system.h"
#endif

namespace cli {

// What the commands take from the world besides the HID seam; tests replace parts of it.
struct Environment {
    // Seconds since 1970-01-01 00:00 UTC; the system clock when empty, as in the window.
    std::function<std::int64_t()> now;
    // How long an answer may take before the user is told that the token waits for its button.
    std::chrono::milliseconds button_hint_after{1000};
    // How long the doctor waits for each answer of the token.
    std::chrono::milliseconds doctor_answer_limit{5000};
#ifdef __linux__
    // The host system when null.
    std::shared_ptr<LinuxSystem> linux_system;
#endif
};

}  // namespace cli
