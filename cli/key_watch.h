#pragma once

#include "usbkey.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace cli {

// Watches a key from a thread of its own while a command talks to it: cancels the key once the
// deadline passes (the exchange then ends in a KeyAccessException), and calls on_button_wait
// when an exchange that may wait for the token's button has not been answered for a while.
class KeyWatch {
public:
    using Clock = std::chrono::steady_clock;

    KeyWatch(UsbKey& key, std::optional<Clock::time_point> deadline, Clock::duration button_wait_after,
             std::function<void()> on_button_wait);
    ~KeyWatch();
    KeyWatch(const KeyWatch&) = delete;
    KeyWatch& operator=(const KeyWatch&) = delete;

    // Brackets an exchange in which the token may wait for its button.
    void button_exchange_started();
    void button_exchange_ended();

    bool expired() const;

private:
    void run();

    UsbKey& key;
    const std::optional<Clock::time_point> deadline;
    const Clock::duration button_wait_after;
    const std::function<void()> on_button_wait;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::optional<Clock::time_point> button_wait_at;
    bool has_expired = false;
    bool stopping = false;
    std::thread thread;
};

}  // namespace cli
