#include "u2f_usbkey.h"

#include "key_exception.h"

#include <easylogging++.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>

namespace {

constexpr std::uint8_t kCommandInit = 0x86;
constexpr std::uint8_t kCommandMsg = 0x83;
constexpr std::size_t kReadBufferSize = 256;
constexpr std::size_t kInitHeaderSize = 7;     // channel, command, two count bytes
constexpr std::size_t kContinuationHeaderSize = 5;  // channel, sequence number
constexpr std::size_t kNoncePosition = 7;
constexpr std::size_t kNonceSize = 8;
constexpr std::size_t kChannelPosition = kNoncePosition + kNonceSize;
constexpr std::size_t kChannelSize = 4;
constexpr int kContinuationTimeoutMs = 2000;
constexpr std::int64_t kTimeStep = 30;

// ISO 7816-4 SELECT by name of the token's OTP application.
constexpr std::array<std::uint8_t, 14> kSelectApdu = {
    0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01};

[[noreturn]] void raise_access_failure()
{
    THROW_KEY_EXCEPTION(KeyAccessException("U2F usb key sending command"));
}

}  // namespace

U2FUsbKey::U2FUsbKey(hidaccess::hid_device* handle) : UsbKey(handle)
{
}

void U2FUsbKey::allocate_channel(std::uint8_t* channel)
{
    LOG(INFO) << "Allocate Channel";
    std::fill(channel, channel + kChannelSize, 0xFF);

    std::random_device entropy;
    std::mt19937 engine(entropy());
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes request = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, kCommandInit, 0x00, kNonceSize};
    for (std::size_t i = 0; i < kNonceSize; ++i)
        request.push_back(static_cast<std::uint8_t>(byte(engine)));

    Bytes response;
    send_command(request.data(), static_cast<std::uint32_t>(request.size()), response);
    if (response.size() < kChannelPosition + kChannelSize)
        THROW_KEY_EXCEPTION(KeyAccessException("U2F INIT answer is too short"));

    const auto nonce = request.begin() + 8;
    if (!std::equal(nonce, request.end(), response.begin() + kNoncePosition)) {
        LOG(ERROR) << "[Error detail]: Allocate channel";
        LOG(ERROR) << bytes_to_hex(request);
        LOG(ERROR) << bytes_to_hex(response);
        THROW_KEY_EXCEPTION(KeyException("Error in AllocateChannel"));
    }
    std::copy_n(response.begin() + kChannelPosition, kChannelSize, channel);
    LOG(INFO) << "Successfully allocate channel";
}

void U2FUsbKey::prepare_header(std::uint8_t** header)
{
    std::uint8_t channel[kChannelSize];
    allocate_channel(channel);

    // The SELECT answer is not examined: a refusal shows in the answer to the command itself.
    std::array<std::uint8_t, kReadBufferSize> select{};
    std::copy_n(channel, kChannelSize, select.begin() + 1);
    select[5] = kCommandMsg;
    select[7] = static_cast<std::uint8_t>(kSelectApdu.size());
    std::copy(kSelectApdu.begin(), kSelectApdu.end(), select.begin() + 8);
    Bytes scratch;
    send_command(select.data(), static_cast<std::uint32_t>(8 + kSelectApdu.size()), scratch);

    std::copy_n(channel, kChannelSize, *header + 1);
    (*header)[5] = kCommandMsg;
}

void U2FUsbKey::send_command(const std::uint8_t* data, std::uint32_t length, Bytes& response)
{
    if (hidaccess::hid_flush_queue(handle) < 0)
        LOG(WARNING) << "Failed to flush the queue";
    if (hidaccess::hid_write(handle, data, length) < 0)
        raise_access_failure();

    std::array<std::uint8_t, kReadBufferSize> report{};
    int count = hidaccess::hid_read(handle, report.data(), report.size());
    if (count < 0)
        raise_access_failure();
    if (static_cast<std::size_t>(count) < kInitHeaderSize)
        THROW_KEY_EXCEPTION(KeyAccessException("U2F answer report is too short"));
    response.assign(report.begin(), report.begin() + count);

    const std::size_t expected = kInitHeaderSize + response[6];
    LOG(INFO) << "The whole U2F response package length is: " << expected;
    while (response.size() < expected) {
        count = hidaccess::hid_read_timeout(handle, report.data(), report.size(), kContinuationTimeoutMs);
        if (count == 0)
            return;  // cut short; the caller sees a message shorter than its length byte says
        if (count < 0)
            raise_access_failure();
        if (static_cast<std::size_t>(count) < kContinuationHeaderSize)
            THROW_KEY_EXCEPTION(KeyAccessException("U2F continuation report is too short"));
        response.insert(response.end(), report.begin() + kContinuationHeaderSize, report.begin() + count);
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
}
