#include "sim_token.h"

#include "iso7816.h"

#include <algorithm>
#include <utility>

namespace sim {

namespace {

constexpr std::size_t kNonceSize = 8;
// A real token remembers a handful of channels and forgets the oldest first.
constexpr std::size_t kMaxChannels = 32;
constexpr std::uint8_t kProtocolVersion = 2;
constexpr std::uint8_t kDeviceVersion[] = {1, 0, 0};
constexpr std::uint8_t kCapabilities = 0x00;  // neither wink nor lock
constexpr std::uint32_t kStaleChannel = 0x5A1E5A1E;
constexpr Milliseconds kKeepAliveInterval{100};
constexpr std::uint32_t kProbeChannel = 0;

// Spreads the allocation counter over all four bytes. Multiplying by an odd number and
// xor-shifting are both bijective, so ids stay unique until the counter wraps.
std::uint32_t channel_id(std::uint32_t counter)
{
    const std::uint32_t spread = counter * 0x9E3779B1u;
    return spread ^ (spread >> 16);
}

bool all_zero(const u2f::Report& report)
{
    return std::all_of(report.begin(), report.end(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

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

int SimToken::write_report(const std::uint8_t* report, std::size_t length)
{
    if (!u2f::is_output_report(report, length))
        return -1;
    std::lock_guard<std::mutex> lock(mutex);
    const Clock::time_point now = Clock::now();
    settle(now);
    reports_received.emplace_back(report, report + length);
    // A silent token has hung: it takes the report and does nothing with it.
    if (silent)
        return static_cast<int>(length);

    u2f::Report packet{};
    std::copy_n(report + 1, packet.size(), packet.begin());
    // The host's presence probe: a continuation on channel 0, which no host was given.
    if (all_zero(packet)) {
        if (late_probe_answer) {
            queue_answer(u2f::frame_answer(kProbeChannel, u2f::kCommandError, Bytes{u2f::kErrorInvalidChannel}),
                         now + *late_probe_answer);
            late_probe_answer.reset();
        }
        return static_cast<int>(length);
    }
    const u2f::Packet parsed = u2f::parse_packet(packet);
    if (parsed.init)
        receive_init(parsed, now);
    else
        receive_continuation(parsed, now);
    deliver(now);
    queue_changed.notify_all();
    return static_cast<int>(length);
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
    button_pressed = false;
    queue_changed.notify_all();
}

void SimToken::receive_init(const u2f::Packet& packet, Clock::time_point now)
{
    if (packet.channel == u2f::kBroadcastChannel) {
        if (packet.command != u2f::kCommandInit)
            answer_error(packet.channel, u2f::kErrorInvalidChannel, now);
        else if (packet.length != kNonceSize)
            answer_error(packet.channel, u2f::kErrorInvalidLength, now);
        else {
            if (foreign_init_answer) {
                Bytes other_nonce(packet.data.begin(), packet.data.begin() + kNonceSize);
                for (std::uint8_t& byte : other_nonce)
                    byte = static_cast<std::uint8_t>(~byte);
                answer_init(packet.channel, other_nonce, allocate_channel(), now);
                foreign_init_answer = false;
            }
            answer_init(packet.channel, packet.data, allocate_channel(), now);
        }
        return;
    }

    Channel* channel = find_channel(packet.channel);
    if (channel == nullptr) {
        answer_error(packet.channel, u2f::kErrorInvalidChannel, now);
        return;
    }
    if (channel->pending) {
        channel->pending.reset();
        // INIT is how a host resynchronises a channel, so only INIT may cut a request short.
        if (packet.command != u2f::kCommandInit) {
            answer_error(channel->id, u2f::kErrorInvalidSequence, now);
            return;
        }
    }
    if (packet.length > u2f::kMaxMessageSize) {
        answer_error(channel->id, u2f::kErrorInvalidLength, now);
        return;
    }
    if (packet.length > u2f::kInitDataSize) {
        channel->pending = Reassembly{packet.command, packet.length, 0, packet.data};
        return;
    }
    const Bytes payload(packet.data.begin(), packet.data.begin() + static_cast<std::ptrdiff_t>(packet.length));
    dispatch(*channel, packet.command, payload, now);
}

void SimToken::receive_continuation(const u2f::Packet& packet, Clock::time_point now)
{
    Channel* channel = find_channel(packet.channel);
    // A continuation nobody started is ignored, as a real token does.
    if (channel == nullptr || !channel->pending)
        return;
    Reassembly& request = *channel->pending;
    if (packet.sequence != request.next_sequence) {
        channel->pending.reset();
        answer_error(channel->id, u2f::kErrorInvalidSequence, now);
        return;
    }
    ++request.next_sequence;
    const std::size_t count = std::min(request.length - request.data.size(), u2f::kContinuationDataSize);
    const auto data = packet.data.begin();
    request.data.insert(request.data.end(), data, data + static_cast<std::ptrdiff_t>(count));
    if (request.data.size() < request.length)
        return;
    const Reassembly complete = std::move(request);
    channel->pending.reset();
    dispatch(*channel, complete.command, complete.data, now);
}

void SimToken::dispatch(Channel& channel, std::uint8_t command, const Bytes& payload, Clock::time_point now)
{
    switch (command) {
    case u2f::kCommandInit:
        // INIT on an allocated channel resynchronises it and keeps its id.
        if (payload.size() != kNonceSize)
            answer_error(channel.id, u2f::kErrorInvalidLength, now);
        else
            answer_init(channel.id, payload, channel.id, now);
        break;
    case u2f::kCommandPing:
        queue_answer(u2f::frame_answer(channel.id, u2f::kCommandPing, payload), now);
        break;
    case u2f::kCommandMsg:
        // One transaction at a time, device-wide.
        if (wait)
            answer_error(channel.id, u2f::kErrorChannelBusy, now);
        else
            answer_msg(channel, payload, now);
        break;
    default:
        answer_error(channel.id, u2f::kErrorInvalidCommand, now);
        break;
    }
}

void SimToken::answer_init(std::uint32_t reply_channel, const Bytes& nonce, std::uint32_t new_channel,
                           Clock::time_point now)
{
    Bytes payload(nonce.begin(), nonce.begin() + kNonceSize);
    if (corrupt_nonce) {
        payload.front() ^= 0xFF;
        corrupt_nonce = false;
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        payload.push_back(static_cast<std::uint8_t>(new_channel >> shift));
    payload.push_back(kProtocolVersion);
    payload.insert(payload.end(), std::begin(kDeviceVersion), std::end(kDeviceVersion));
    payload.push_back(kCapabilities);
    queue_answer(u2f::frame_answer(reply_channel, u2f::kCommandInit, payload), now);
}

void SimToken::answer_msg(Channel& channel, const Bytes& command, Clock::time_point now)
{
    const std::uint16_t check = check_request(command);
    if (is_select(command)) {
        std::uint16_t status = check;
        if (status == iso::kSuccess && refuse_select)
            status = iso::kNotFound;
        if (status == iso::kSuccess)
            channel.selected = true;
        queue_msg_answer(channel.id, iso::status_only(status), AnswerFaults{}, now);
        return;
    }

    // Answer faults skip SELECT: the host sends one before every command and ignores its answer.
    const AnswerFaults faults = take_answer_faults();
    if (foreign_answer) {
        // Shaped like a calculate answer, so a host that takes it shows a code that is not ours.
        const Bytes foreign = {0x00, 0x00, 0x06, 0x0B, 0xAD, 0xC0, 0xDE, 0x90, 0x00};
        queue_msg_answer(allocate_channel(), foreign, AnswerFaults{}, now);
        foreign_answer = false;
    }
    if (!channel.selected) {
        queue_msg_answer(channel.id, iso::status_only(iso::kConditionsNotSatisfied), faults, now);
        return;
    }
    commands_received.push_back(command);
    if (forced_status) {
        queue_msg_answer(channel.id, Bytes{forced_status->first, forced_status->second}, faults, now);
        forced_status.reset();
        return;
    }
    if (check != iso::kSuccess) {
        queue_msg_answer(channel.id, iso::status_only(check), faults, now);
        return;
    }
    if (waits_for_press(flash, command)) {
        if (!button_pressed) {
            wait = PressWait{channel.id, command, faults, now + press_wait, std::nullopt, now + kKeepAliveInterval};
            if (auto_press)
                wait->auto_press = now + *auto_press;
            return;
        }
        button_pressed = false;
    }
    queue_msg_answer(channel.id, run_command(flash, command), faults, now);
}

void SimToken::answer_error(std::uint32_t channel, std::uint8_t error, Clock::time_point now)
{
    queue_answer(u2f::frame_answer(channel, u2f::kCommandError, Bytes{error}), now);
}

SimToken::Channel* SimToken::find_channel(std::uint32_t id)
{
    const auto found =
        std::find_if(channels.begin(), channels.end(), [id](const Channel& channel) { return channel.id == id; });
    return found != channels.end() ? &*found : nullptr;
}

std::uint32_t SimToken::allocate_channel()
{
    std::uint32_t id = 0;
    do
        id = channel_id(++channels_allocated);
    while (id == 0 || id == u2f::kBroadcastChannel);
    channels.push_back(Channel{id, false, std::nullopt});
    if (channels.size() > kMaxChannels)
        channels.pop_front();
    return id;
}

SimToken::AnswerFaults SimToken::take_answer_faults()
{
    const AnswerFaults faults{lied_length, padding};
    lied_length.reset();
    padding = 0;
    return faults;
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
