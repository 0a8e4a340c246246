#include "watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

std::int64_t now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Watchdog::Watchdog(int limit_seconds, std::uint32_t seed)
    : limit_seconds(limit_seconds), seed(seed), last_beat_ms(now_ms()), thread([this] { watch(); })
{
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    stop_requested.notify_all();
    thread.join();
}

void Watchdog::beat(int reached, const char* injected)
{
    window.store(reached);
    fault.store(injected);
    last_beat_ms.store(now_ms());
}

void Watchdog::watch()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stop_requested.wait_for(lock, std::chrono::seconds(1), [this] { return stopping; })) {
        const std::int64_t silent_ms = now_ms() - last_beat_ms.load();
        if (silent_ms < limit_seconds * 1000LL)
            continue;
        std::fprintf(stderr, "soak: HANG in window %d (seed %u, fault \"%s\"): no progress for %lld s\n",
                     window.load(), seed, fault.load(), static_cast<long long>(silent_ms / 1000));
        std::fflush(stderr);
        std::_Exit(3);
    }
}
