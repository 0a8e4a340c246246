#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// FIDO U2F HID packets as the host reads them (report id removed): what one input report is
// to the exchange that is waiting for its answer.
namespace u2f {

constexpr std::uint8_t kCommandMsg = 0x83;
constexpr std::uint8_t kCommandInit = 0x86;
constexpr std::uint8_t kCommandKeepAlive = 0xBB;
constexpr std::uint8_t kCommandError = 0xBF;

constexpr std::size_t kChannelSize = 4;
constexpr std::size_t kInitHeaderSize = 7;          // channel, command, two count bytes
constexpr std::size_t kContinuationHeaderSize = 5;  // channel, sequence number

enum class PacketKind {
    Answer,        // init packet on the exchange's channel with the command it sent
    Continuation,  // continuation packet on the exchange's channel
    Error,         // ERROR init packet on the exchange's channel
    Other,         // anything else: another channel, KEEPALIVE, another command
};

// report holds at least kContinuationHeaderSize bytes; channel points at 4 bytes.
PacketKind classify(const std::uint8_t* report, const std::uint8_t* channel, std::uint8_t command);

// The message's byte count, both bytes; report holds at least kInitHeaderSize bytes.
std::size_t message_length(const std::uint8_t* report);

// "CHANNEL_BUSY (6)" for a known error code, the number alone otherwise.
std::string error_text(std::uint8_t code);

}  // namespace u2f
