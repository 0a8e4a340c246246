#include "u2f_packet.h"

#include <algorithm>

namespace u2f {

namespace {

constexpr std::size_t kCommandPosition = 4;
constexpr std::uint8_t kInitFlag = 0x80;

const char* error_name(std::uint8_t code)
{
    switch (code) {
    case 0x01: return "INVALID_CMD";
    case 0x02: return "INVALID_PAR";
    case 0x03: return "INVALID_LEN";
    case 0x04: return "INVALID_SEQ";
    case 0x05: return "MSG_TIMEOUT";
    case 0x06: return "CHANNEL_BUSY";
    case 0x0A: return "LOCK_REQUIRED";
    case 0x0B: return "INVALID_CID";
    case 0x7F: return "OTHER";
    default: return nullptr;
    }
}

}  // namespace

PacketKind classify(const std::uint8_t* report, const std::uint8_t* channel, std::uint8_t command)
{
    if (!std::equal(channel, channel + kChannelSize, report))
        return PacketKind::Other;
    const std::uint8_t type = report[kCommandPosition];
    if ((type & kInitFlag) == 0)
        return PacketKind::Continuation;
    if (type == command)
        return PacketKind::Answer;
    if (type == kCommandError)
        return PacketKind::Error;
    return PacketKind::Other;
}

std::size_t message_length(const std::uint8_t* report)
{
    return static_cast<std::size_t>(report[5]) << 8 | report[6];
}

std::string error_text(std::uint8_t code)
{
    const char* name = error_name(code);
    const std::string number = std::to_string(code);
    return name != nullptr ? std::string(name) + " (" + number + ")" : number;
}

}  // namespace u2f
