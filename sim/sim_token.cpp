#include "sim_token.h"

#include "iso7816.h"

#include <algorithm>
#include <utility>

namespace sim {

SimToken::SimToken() = default;

void SimToken::add_user(SimUser user)
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(Clock::now());
    flash.users.push_back(std::move(user));
}

void SimToken::set_active_user(std::size_t index)
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(Clock::now());
    flash.active_user = index;
}

std::vector<SimUser> SimToken::users() const
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(Clock::now());
    return flash.users;
}

bool SimToken::press_mode() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return flash.press_mode;
}

void SimToken::set_press_mode(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    flash.press_mode = on;
}

void SimToken::set_press_wait(Milliseconds wait)
{
    std::lock_guard<std::mutex> lock(mutex);
    press_wait = wait;
}

void SimToken::press_button()
{
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    settle(now);
    if (!wait) {
        button_pressed = true;
        return;
    }
    const PressWait pressed = std::move(*wait);
    wait.reset();
    finish_wait(pressed, true, now);
    deliver(now);
    queue_changed.notify_all();
}

void SimToken::set_auto_press(std::optional<Milliseconds> after)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto_press = after;
}

std::vector<Bytes> SimToken::received_reports() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return reports_received;
}

std::vector<Bytes> SimToken::received_commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return commands_received;
}

void SimToken::forget_received()
{
    std::lock_guard<std::mutex> lock(mutex);
    reports_received.clear();
    reports_received.shrink_to_fit();
    commands_received.clear();
    commands_received.shrink_to_fit();
}

std::optional<std::pair<Bytes, Bytes>> SimToken::last_personalisation() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return flash.personalisation;
}

int SimToken::open_reader()
{
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    settle(now);
    return readers.attach(now);
}

void SimToken::close_reader(int reader)
{
    std::lock_guard<std::mutex> lock(mutex);
    readers.detach(reader);
}

int SimToken::read_report(int reader, std::uint8_t* data, std::size_t length, int timeout_ms)
{
    if (data == nullptr && length > 0)
        return -1;
    std::unique_lock<std::mutex> lock(mutex);
    std::optional<Clock::time_point> deadline;
    if (timeout_ms >= 0)
        deadline = Clock::now() + Milliseconds(timeout_ms);
    for (;;) {
        const Clock::time_point now = Clock::now();
        settle(now);
        if (const std::optional<Bytes> report = readers.take(reader)) {
            std::size_t count = std::min(report->size(), length);
            if (short_report) {
                count = std::min(count, *short_report);
                short_report.reset();
            }
            std::copy_n(report->begin(), count, data);
            return static_cast<int>(count);
        }
        if (deadline && now >= *deadline)
            return 0;
        std::optional<Clock::time_point> wake = next_event();
        if (deadline && (!wake || *deadline < *wake))
            wake = deadline;
        if (wake)
            queue_changed.wait_until(lock, *wake);
        else
            queue_changed.wait(lock);
    }
}

// One-shot faults survive: they belong to the test that armed them, not to the token.
void SimToken::power_cycle()
{
    std::lock_guard<std::mutex> lock(mutex);
    settle(Clock::now());
    channels.clear();
    scheduled.clear();
    readers.clear();
    wait.reset();
    hang.reset();
    button_pressed = false;
    queue_changed.notify_all();
}

void SimToken::settle(Clock::time_point now) const
{
    if (wait) {
        send_keepalives(std::min(now, wait->ends()));
        if (wait->ends() <= now) {
            const PressWait ended = std::move(*wait);
            wait.reset();
            finish_wait(ended, ended.pressed(), ended.ends());
        }
    }
    if (hang && hang->resynchronised && *hang->resynchronised <= now)
        hang.reset();
    deliver(now);
}

void SimToken::send_keepalives(Clock::time_point until) const
{
    if (!keepalive_during_press)
        return;
    for (; wait->next_keepalive < until; wait->next_keepalive += kKeepAliveInterval) {
        const Bytes status = {u2f::kKeepAliveUserPresenceNeeded};
        queue_report(std::move(u2f::frame_answer(wait->channel, u2f::kCommandKeepAlive, status).front()),
                     wait->next_keepalive);
    }
}

void SimToken::deliver(Clock::time_point now) const
{
    while (!scheduled.empty() && scheduled.front().available <= now) {
        readers.publish(scheduled.front().report, scheduled.front().available);
        scheduled.pop_front();
    }
}

void SimToken::finish_wait(const PressWait& wait, bool pressed, Clock::time_point at) const
{
    Bytes answer = pressed ? run_command(flash, wait.command) : iso::status_only(iso::kNoSuchObject);
    queue_msg_answer(wait.channel, std::move(answer), wait.faults, at);
}

void SimToken::queue_msg_answer(std::uint32_t channel, Bytes answer, const AnswerFaults& faults,
                                Clock::time_point at) const
{
    // Each padding byte differs from its neighbours, so a misplaced or dropped byte shows.
    Bytes extra(faults.padding);
    for (std::size_t i = 0; i < extra.size(); ++i)
        extra[i] = static_cast<std::uint8_t>(i * 7 + 1);
    answer.insert(answer.end() - 2, extra.begin(), extra.end());

    std::vector<Bytes> reports = u2f::frame_answer(channel, u2f::kCommandMsg, answer);
    if (faults.length)
        reports.front()[u2f::kCountLowPosition] = *faults.length;
    queue_answer(std::move(reports), at);
}

void SimToken::queue_answer(std::vector<Bytes> reports, Clock::time_point at) const
{
    Milliseconds continuation_lag{0};
    if (reports.size() > 1 && drop_continuation) {
        reports.resize(1);
        drop_continuation = false;
    }
    if (reports.size() > 1 && continuation_delay) {
        continuation_lag = *continuation_delay;
        continuation_delay.reset();
    }
    for (std::size_t i = 0; i < reports.size(); ++i)
        queue_report(std::move(reports[i]), at + answer_delay + (i > 0 ? continuation_lag : Milliseconds(0)));
}

void SimToken::queue_report(Bytes report, Clock::time_point available) const
{
    const auto later = std::find_if(scheduled.begin(), scheduled.end(),
                                    [available](const QueuedReport& queued) { return queued.available > available; });
    scheduled.insert(later, QueuedReport{std::move(report), available});
}

std::optional<SimToken::Clock::time_point> SimToken::next_event() const
{
    std::optional<Clock::time_point> next;
    if (!scheduled.empty())
        next = scheduled.front().available;
    if (wait) {
        const Clock::time_point wait_event =
            keepalive_during_press ? std::min(wait->ends(), wait->next_keepalive) : wait->ends();
        if (!next || wait_event < *next)
            next = wait_event;
    }
    return next;
}

}  // namespace sim
