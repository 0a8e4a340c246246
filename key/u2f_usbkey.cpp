#include "u2f_usbkey.h"

#include "key_exception.h"
#include "otp_window.h"
#include "u2f_packet.h"

#include <easylogging++.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <random>

namespace {

constexpr std::size_t kNoncePosition = 7;
constexpr std::size_t kNonceSize = 8;
constexpr std::size_t kChannelPosition = kNoncePosition + kNonceSize;
constexpr int kContinuationTimeoutMs = 2000;
constexpr std::uint8_t kErrorChannelBusy = 0x06;

using Clock = std::chrono::steady_clock;

Bytes fresh_nonce()
{
    std::random_device entropy;
    std::mt19937 engine(entropy());
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes nonce(kNonceSize);
    for (std::uint8_t& value : nonce)
        value = static_cast<std::uint8_t>(byte(engine));
    return nonce;
}

std::uint8_t error_code(const U2FUsbKey::Report& report, std::size_t count)
{
    return count > u2f::kInitHeaderSize ? report[u2f::kInitHeaderSize] : 0;
}

int milliseconds_until(Clock::time_point deadline)
{
    // Rounded up, so the read never ends before the deadline.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

[[noreturn]] void raise_access_failure()
{
    THROW_KEY_EXCEPTION(KeyAccessException("U2F usb key sending command"));
}

// The token is there and refused this exchange (busy with another channel, say): the next
// request may well work, so this is no access failure.
[[noreturn]] void raise_error_answer(const U2FUsbKey::Report& report, std::size_t count)
{
    const std::uint8_t code = error_code(report, count);
    if (code == kErrorChannelBusy)
        THROW_KEY_EXCEPTION(KeyBusyException("U2F error answer: " + u2f::error_text(code)));
    THROW_KEY_EXCEPTION(KeyException("U2F error answer: " + u2f::error_text(code)));
}

}  // namespace

U2FUsbKey::U2FUsbKey(hidaccess::hid_device* handle) : UsbKey(handle)
{
}

void U2FUsbKey::allocate_channel(std::uint8_t* channel)
{
    LOG(INFO) << "Allocate Channel";
    std::fill(channel, channel + u2f::kChannelSize, 0xFF);

    Bytes request = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, u2f::kCommandInit, 0x00, kNonceSize};
    const Bytes nonce = fresh_nonce();
    request.insert(request.end(), nonce.begin(), nonce.end());

    Bytes response;
    send_command(request.data(), static_cast<std::uint32_t>(request.size()), response);
    if (response.size() < kChannelPosition + u2f::kChannelSize)
        THROW_KEY_EXCEPTION(KeyAccessException("U2F INIT answer is too short"));

    if (!std::equal(nonce.begin(), nonce.end(), response.begin() + kNoncePosition)) {
        LOG(ERROR) << "[Error detail]: Allocate channel";
        LOG(ERROR) << bytes_to_hex(request);
        LOG(ERROR) << bytes_to_hex(response);
        THROW_KEY_EXCEPTION(KeyException("Error in AllocateChannel"));
    }
    std::copy_n(response.begin() + kChannelPosition, u2f::kChannelSize, channel);
    LOG(INFO) << "Successfully allocate channel";
}

void U2FUsbKey::prepare_header(std::uint8_t** header)
{
    std::uint8_t channel[u2f::kChannelSize];
    allocate_channel(channel);

    // The SELECT answer is not examined: a refusal shows in the answer to the command itself.
    Bytes scratch;
    send_select(channel, scratch);

    std::copy_n(channel, u2f::kChannelSize, *header + 1);
    (*header)[5] = u2f::kCommandMsg;
}

void U2FUsbKey::send_select(const std::uint8_t* channel, Bytes& response)
{
    Report select{};
    std::copy_n(channel, u2f::kChannelSize, select.begin() + 1);
    select[5] = u2f::kCommandMsg;
    select[7] = static_cast<std::uint8_t>(kSelectApdu.size());
    std::copy(kSelectApdu.begin(), kSelectApdu.end(), select.begin() + 8);
    send_command(select.data(), static_cast<std::uint32_t>(8 + kSelectApdu.size()), response);
}

void U2FUsbKey::send_command(const std::uint8_t* data, std::uint32_t length, Bytes& response)
{
    // Report id, channel and command say which answer this exchange waits for.
    if (length < 1 + u2f::kContinuationHeaderSize)
        THROW_KEY_EXCEPTION(KeyAccessException("U2F request without a header"));
    const std::uint8_t* channel = data + 1;
    const std::uint8_t command = data[1 + u2f::kChannelSize];

    if (hidaccess::hid_flush_queue(handle) < 0)
        LOG(WARNING) << "Failed to flush the queue";
    if (hidaccess::hid_write(handle, data, length) < 0)
        raise_access_failure();

    Report report{};
    int skipped = 0;
    const std::size_t count = read_first_report(report, channel, command, skipped);
    response.assign(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(count));

    const std::size_t expected = u2f::kInitHeaderSize + u2f::message_length(response.data());
    LOG(INFO) << "The whole U2F response package length is: " << expected;
    read_continuations(response, expected, channel, command, skipped);
    if (skipped > 0)
        LOG(INFO) << "Skipped " << skipped << " reports that were not the answer";
}

std::size_t U2FUsbKey::read_first_report(Report& report, const std::uint8_t* channel, std::uint8_t command,
                                         int& skipped)
{
    // Without a deadline no time limit: the token may wait for its button. hid_cancel ends the wait.
    for (;;) {
        const int count = read_report(report);
        if (count == 0)
            abandon(channel);
        if (count < 0)
            raise_access_failure();
        if (static_cast<std::size_t>(count) < u2f::kInitHeaderSize)
            THROW_KEY_EXCEPTION(KeyAccessException("U2F answer report is too short"));
        const u2f::PacketKind kind = u2f::classify(report.data(), channel, command);
        if (kind == u2f::PacketKind::Answer)
            return static_cast<std::size_t>(count);
        // Another program's INIT may draw an ERROR on the shared broadcast channel too; only
        // "busy" says something of the token itself.
        if (kind == u2f::PacketKind::Error &&
            (command != u2f::kCommandInit || error_code(report, static_cast<std::size_t>(count)) == kErrorChannelBusy))
            raise_error_answer(report, static_cast<std::size_t>(count));
        ++skipped;
    }
}

int U2FUsbKey::read_report(Report& report)
{
    if (!answer_deadline)
        return hidaccess::hid_read(handle, report.data(), report.size());
    return hidaccess::hid_read_timeout(handle, report.data(), report.size(), milliseconds_until(*answer_deadline));
}

void U2FUsbKey::abandon(const std::uint8_t* channel)
{
    // Nobody waits for the echo: the token handles reports in order, so the resynchronisation
    // is done before it sees the next request, and the echo on this channel is skipped there.
    if (!std::all_of(channel, channel + u2f::kChannelSize, [](std::uint8_t byte) { return byte == 0xFF; })) {
        Bytes init = {0x00, channel[0], channel[1], channel[2], channel[3], u2f::kCommandInit, 0x00, kNonceSize};
        const Bytes nonce = fresh_nonce();
        init.insert(init.end(), nonce.begin(), nonce.end());
        if (hidaccess::hid_write(handle, init.data(), init.size()) < 0)
            raise_access_failure();
        LOG(INFO) << "No answer in time; the request's channel was resynchronised";
    }
    THROW_KEY_EXCEPTION(KeyTimeoutException("U2F usb key: no answer in time"));
}

void U2FUsbKey::read_continuations(Bytes& response, std::size_t expected, const std::uint8_t* channel,
                                   std::uint8_t command, int& skipped)
{
    // One limit for the whole rest of the message, however many reports keep coming.
    auto deadline = Clock::now() + std::chrono::milliseconds(kContinuationTimeoutMs);
    if (answer_deadline)
        deadline = std::min(deadline, *answer_deadline);
    Report report{};
    while (response.size() < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return;  // cut short; the caller sees a message shorter than its length says
        const int count = hidaccess::hid_read_timeout(handle, report.data(), report.size(), static_cast<int>(left));
        if (count == 0)
            return;
        if (count < 0)
            raise_access_failure();
        if (static_cast<std::size_t>(count) < u2f::kContinuationHeaderSize)
            THROW_KEY_EXCEPTION(KeyAccessException("U2F continuation report is too short"));
        const u2f::PacketKind kind = u2f::classify(report.data(), channel, command);
        if (kind == u2f::PacketKind::Continuation) {
            response.insert(response.end(), report.begin() + u2f::kContinuationHeaderSize, report.begin() + count);
            continue;
        }
        if (kind == u2f::PacketKind::Error && command != u2f::kCommandInit)
            raise_error_answer(report, static_cast<std::size_t>(count));
        ++skipped;
    }
}

void U2FUsbKey::cal_hcode(const Bytes& serial, Bytes& response, std::optional<std::int64_t> time)
{
    const std::int64_t now = time ? *time
                                  : std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
    const auto counter = static_cast<std::uint64_t>(otp_window::window_at(now * 1000));
    Bytes counter_bytes(8);
    for (int i = 0; i < 8; ++i)
        counter_bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(counter >> (56 - 8 * i));

    ProtocolBodyOfCalHcode body;
    body.setup(serial, &counter_bytes);
    Bytes code;
    combine_send(body, response, code);
}

bool U2FUsbKey::is_connected()
{
    return hidaccess::hid_write(handle, nullptr, 0) >= 0;
}

void U2FUsbKey::switch_press_mode(bool on)
{
    Bytes data;
    Bytes code;
    if (on) {
        ProtocolBodyOfSwitchPressModeOn body;
        combine_send(body, data, code);
    } else {
        ProtocolBodyOfSwitchPressModeOff body;
        combine_send(body, data, code);
    }
    check_write_resp_code(code);
}
