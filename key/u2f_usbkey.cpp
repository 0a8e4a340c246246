#include "u2f_usbkey.h"

#include "key_exception.h"
#include "u2f_packet.h"

#include <easylogging++.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>

namespace {

constexpr std::size_t kNoncePosition = 7;
constexpr std::size_t kNonceSize = 8;
constexpr std::size_t kChannelPosition = kNoncePosition + kNonceSize;
constexpr int kContinuationTimeoutMs = 2000;
constexpr std::int64_t kTimeStep = 30;


using Clock = std::chrono::steady_clock;

[[noreturn]] void raise_access_failure()
{
    THROW_KEY_EXCEPTION(KeyAccessException("U2F usb key sending command"));
}

// The token is there and refused this exchange (busy with another channel, say): the next
// request may well work, so this is no access failure.
[[noreturn]] void raise_error_answer(const U2FUsbKey::Report& report, std::size_t count)
{
    const std::uint8_t code = count > u2f::kInitHeaderSize ? report[u2f::kInitHeaderSize] : 0;
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

    std::random_device entropy;
    std::mt19937 engine(entropy());
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes request = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, u2f::kCommandInit, 0x00, kNonceSize};
    for (std::size_t i = 0; i < kNonceSize; ++i)
        request.push_back(static_cast<std::uint8_t>(byte(engine)));

    Bytes response;
    send_command(request.data(), static_cast<std::uint32_t>(request.size()), response);
    if (response.size() < kChannelPosition + u2f::kChannelSize)
        THROW_KEY_EXCEPTION(KeyAccessException("U2F INIT answer is too short"));

    const auto nonce = request.begin() + 8;
    if (!std::equal(nonce, request.end(), response.begin() + kNoncePosition)) {
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
    Report select{};
    std::copy_n(channel, u2f::kChannelSize, select.begin() + 1);
    select[5] = u2f::kCommandMsg;
    select[7] = static_cast<std::uint8_t>(kSelectApdu.size());
    std::copy(kSelectApdu.begin(), kSelectApdu.end(), select.begin() + 8);
    Bytes scratch;
    send_command(select.data(), static_cast<std::uint32_t>(8 + kSelectApdu.size()), scratch);

    std::copy_n(channel, u2f::kChannelSize, *header + 1);
    (*header)[5] = u2f::kCommandMsg;
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
    // No time limit: the token may wait for its button. hid_cancel ends the wait.
    for (;;) {
        const int count = hidaccess::hid_read(handle, report.data(), report.size());
        if (count < 0)
            raise_access_failure();
        if (static_cast<std::size_t>(count) < u2f::kInitHeaderSize)
            THROW_KEY_EXCEPTION(KeyAccessException("U2F answer report is too short"));
        const u2f::PacketKind kind = u2f::classify(report.data(), channel, command);
        if (kind == u2f::PacketKind::Answer)
            return static_cast<std::size_t>(count);
        if (kind == u2f::PacketKind::Error && command != u2f::kCommandInit)
            raise_error_answer(report, static_cast<std::size_t>(count));
        ++skipped;
    }
}

void U2FUsbKey::read_continuations(Bytes& response, std::size_t expected, const std::uint8_t* channel,
                                   std::uint8_t command, int& skipped)
{
    // One limit for the whole rest of the message, however many reports keep coming.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kContinuationTimeoutMs);
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
    // Floor division: times before 1970 must not round towards the next step.
    std::int64_t steps = now / kTimeStep;
    if (now % kTimeStep < 0)
        --steps;
    const auto counter = static_cast<std::uint64_t>(steps);
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
