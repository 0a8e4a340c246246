#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace cli {

// Watches a command's exchanges from a thread of its own: calls on_button_wait when an
// exchange that may wait for the token's button has not been answered for a while.
class KeyWatch {
public:
    using Clock = std::chrono::steady_clock;

    KeyWatch(Clock::duration button_wait_after, std::function<void()> on_button_wait);
    ~KeyWatch();
    KeyWatch(const KeyWatch&) = delete;
    KeyWatch& operator=(const KeyWatch&) = delete;

    // Brackets an exchange in which the token may wait for its button.
    void button_exchange_started();
    void button_exchange_ended();

private:
    void run();

    const Clock::duration button_wait_after;
    const std::function<void()> on_button_wait;

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Clock::time_point> button_wait_at;
    bool stopping = false;
    std::thread thread;
};

}  // namespace cli
