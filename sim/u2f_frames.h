#pragma once

#include "bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// FIDO U2F HID packet layout: what one 64-byte report carries, and how an answer is cut into reports.
namespace sim::u2f {

constexpr std::size_t kReportSize = 64;
constexpr std::size_t kInitDataSize = kReportSize - 7;          // channel, command, two count bytes
constexpr std::size_t kContinuationDataSize = kReportSize - 5;  // channel, sequence number
// Sequence numbers run 0..127, so a message fills at most one init and 128 continuation packets.
constexpr std::size_t kMaxMessageSize = kInitDataSize + 128 * kContinuationDataSize;
constexpr std::size_t kCountLowPosition = 6;

constexpr std::uint32_t kBroadcastChannel = 0xFFFFFFFF;
constexpr std::uint16_t kFidoUsagePage = 0xF1D0;

constexpr std::uint8_t kKeepAliveUserPresenceNeeded = 0x02;

constexpr std::uint8_t kCommandPing = 0x81;
constexpr std::uint8_t kCommandMsg = 0x83;
constexpr std::uint8_t kCommandInit = 0x86;
constexpr std::uint8_t kCommandKeepAlive = 0xBB;
constexpr std::uint8_t kCommandError = 0xBF;

constexpr std::uint8_t kErrorInvalidCommand = 0x01;
constexpr std::uint8_t kErrorInvalidLength = 0x03;
constexpr std::uint8_t kErrorInvalidSequence = 0x04;
constexpr std::uint8_t kErrorChannelBusy = 0x06;
constexpr std::uint8_t kErrorInvalidChannel = 0x0B;

using Report = std::array<std::uint8_t, kReportSize>;

struct Packet {
    std::uint32_t channel = 0;
    bool init = false;
    std::uint8_t command = 0;   // init packets only
    std::size_t length = 0;     // init packets only: the whole message's byte count
    std::uint8_t sequence = 0;  // continuation packets only
    Bytes data;                 // everything after the header, padding included
};

// What the bus takes from a host: report id 0 and one full report, as the token declares it.
bool is_output_report(const std::uint8_t* report, std::size_t length);

Packet parse_packet(const Report& report);

// One init report and as many continuation reports as the payload needs, zero-padded.
std::vector<Bytes> frame_answer(std::uint32_t channel, std::uint8_t command, const Bytes& payload);

}  // namespace sim::u2f
