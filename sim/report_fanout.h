#pragma once

#include "bytes.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>

namespace sim {

// Input reports as hidraw hands them out: every open handle has a queue of its own and gets
// its own copy of each report that arrives while it is open; a full queue drops its oldest
// report. Not thread-safe: the owner holds its lock around every call.
class ReportFanout {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kQueueLimit = 64;

    int attach(Clock::time_point now);
    void detach(int reader);
    // Reaches the readers that were attached when the report arrived.
    void publish(const Bytes& report, Clock::time_point arrived);
    std::optional<Bytes> take(int reader);
    // Empties every queue; the readers stay attached.
    void clear();

private:
    struct Reader {
        Clock::time_point attached;
        std::deque<Bytes> queue;
    };

    std::map<int, Reader> readers;
    int next_reader = 0;
};

}  // namespace sim
