// The fault switches: each arms a fault that the transport or the answer queue applies.
#include "sim_token.h"

#include <utility>

namespace sim {

namespace {

constexpr std::uint32_t kStaleChannel = 0x5A1E5A1E;

}  // namespace

void SimToken::set_answer_delay(Milliseconds delay)
{
    std::lock_guard<std::mutex> lock(mutex);
    answer_delay = delay;
}

void SimToken::set_silent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    silent = on;
}

void SimToken::corrupt_next_nonce()
{
    std::lock_guard<std::mutex> lock(mutex);
    corrupt_nonce = true;
}

void SimToken::answer_next_command_with(std::uint8_t sw1, std::uint8_t sw2)
{
    std::lock_guard<std::mutex> lock(mutex);
    forced_status = std::make_pair(sw1, sw2);
}

void SimToken::lie_next_length(std::uint8_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    lied_length = length;
}

void SimToken::drop_next_continuation()
{
    std::lock_guard<std::mutex> lock(mutex);
    drop_continuation = true;
}

void SimToken::pad_next_answer(std::size_t extra_bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    padding = extra_bytes;
}

void SimToken::pad_next_select(std::size_t extra_bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    select_padding = extra_bytes;
}

void SimToken::shorten_next_report(std::size_t length)
{
    std::lock_guard<std::mutex> lock(mutex);
    short_report = length;
}

void SimToken::queue_stale_reports(int count)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    // Shaped like a successful answer, so a host that reads one by mistake visibly gets "STALE".
    for (int i = 0; i < count; ++i) {
        const Bytes payload = {'S', 'T', 'A', 'L', 'E', static_cast<std::uint8_t>(i), 0x90, 0x00};
        queue_report(std::move(u2f::frame_answer(kStaleChannel, u2f::kCommandMsg, payload).front()), now);
    }
    deliver(now);
    queue_changed.notify_all();
}

void SimToken::set_refuse_select(bool refuse)
{
    std::lock_guard<std::mutex> lock(mutex);
    refuse_select = refuse;
}

void SimToken::delay_next_continuation(Milliseconds delay)
{
    std::lock_guard<std::mutex> lock(mutex);
    continuation_delay = delay;
}

void SimToken::hang_next_command(Milliseconds resync_takes)
{
    std::lock_guard<std::mutex> lock(mutex);
    hang_next = resync_takes;
}

void SimToken::send_foreign_init_answer_before_next()
{
    std::lock_guard<std::mutex> lock(mutex);
    foreign_init_answer = true;
}

void SimToken::send_foreign_answer_before_next()
{
    std::lock_guard<std::mutex> lock(mutex);
    foreign_answer = true;
}

void SimToken::set_keepalive_during_press(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    keepalive_during_press = on;
}

void SimToken::answer_next_probe_late(Milliseconds delay)
{
    std::lock_guard<std::mutex> lock(mutex);
    late_probe_answer = delay;
}

SimToken::AnswerFaults SimToken::take_answer_faults()
{
    const AnswerFaults faults{lied_length, padding};
    lied_length.reset();
    padding = 0;
    return faults;
}

}  // namespace sim
