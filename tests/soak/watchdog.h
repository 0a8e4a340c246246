#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// Ends the process when the run makes no progress for too long: a call that blocks the main
// thread for good (a wait on a lock nobody releases) cannot report itself.
class Watchdog {
public:
    Watchdog(int limit_seconds, std::uint32_t seed);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The run has reached this window and is about to inject this fault.
    void beat(int window, const char* fault);

private:
    void watch();

    const int limit_seconds;
    const std::uint32_t seed;
    std::atomic<int> window{-1};
    std::atomic<const char*> fault{"start-up"};
    std::atomic<std::int64_t> last_beat_ms;
    std::mutex mutex;
    std::condition_variable stop_requested;
    bool stopping = false;
    std::thread thread;
};
