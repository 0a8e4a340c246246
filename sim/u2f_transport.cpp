// The token's side of U2F HID: channels, reassembly of requests, and their dispatch.
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

void SimToken::receive_init(const u2f::Packet& packet, Clock::time_point now)
{
    if (refuse_when_busy(packet.channel, now))
        return;
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
    // Begun before another channel made the token busy.
    if (!refuse_when_busy(channel->id, now))
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
            answer_init(channel.id, payload, channel.id, resynchronise(now));
        break;
    case u2f::kCommandPing:
        queue_answer(u2f::frame_answer(channel.id, u2f::kCommandPing, payload), now);
        break;
    case u2f::kCommandMsg:
        // Other channels were refused already; the busy one waits too, only INIT cuts its command short.
        if (busy_channel())
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
        queue_msg_answer(channel.id, iso::status_only(status), AnswerFaults{std::nullopt, std::exchange(select_padding, 0)},
                         now);
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
    if (hang_next) {
        hang = Hang{channel.id, *hang_next, std::nullopt};
        hang_next.reset();
        return;
    }
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

std::optional<std::uint32_t> SimToken::busy_channel() const
{
    if (wait)
        return wait->channel;
    if (hang)
        return hang->channel;
    return std::nullopt;
}

// One transaction at a time, device-wide.
bool SimToken::refuse_when_busy(std::uint32_t channel, Clock::time_point now)
{
    const std::optional<std::uint32_t> busy = busy_channel();
    if (!busy || *busy == channel)
        return false;
    answer_error(channel, u2f::kErrorChannelBusy, now);
    return true;
}

// INIT reaches here only on the busy channel, if any: it drops that command, whose answer never
// comes. Returns when the INIT echo goes out.
SimToken::Clock::time_point SimToken::resynchronise(Clock::time_point now)
{
    wait.reset();
    if (!hang)
        return now;
    hang->resynchronised = now + hang->resync_takes;
    return *hang->resynchronised;
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

}  // namespace sim
