#include "u2f_frames.h"

#include <algorithm>

namespace sim::u2f {

namespace {

constexpr std::uint8_t kInitFlag = 0x80;

void put_channel(Bytes& report, std::uint32_t channel)
{
    for (int i = 0; i < 4; ++i)
        report.push_back(static_cast<std::uint8_t>(channel >> (24 - 8 * i)));
}

}  // namespace

bool is_output_report(const std::uint8_t* report, std::size_t length)
{
    return report != nullptr && length == 1 + kReportSize && report[0] == 0x00;
}

Packet parse_packet(const Report& report)
{
    Packet packet;
    packet.channel = static_cast<std::uint32_t>(report[0]) << 24 | static_cast<std::uint32_t>(report[1]) << 16 |
                     static_cast<std::uint32_t>(report[2]) << 8 | report[3];
    packet.init = (report[4] & kInitFlag) != 0;
    if (packet.init) {
        packet.command = report[4];
        packet.length = static_cast<std::size_t>(report[5]) << 8 | report[kCountLowPosition];
        packet.data.assign(report.begin() + 7, report.end());
    } else {
        packet.sequence = report[4];
        packet.data.assign(report.begin() + 5, report.end());
    }
    return packet;
}

std::vector<Bytes> frame_answer(std::uint32_t channel, std::uint8_t command, const Bytes& payload)
{
    std::vector<Bytes> reports;
    Bytes first;
    put_channel(first, channel);
    first.push_back(command);
    first.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
    first.push_back(static_cast<std::uint8_t>(payload.size()));
    const std::size_t head = std::min(payload.size(), kInitDataSize);
    first.insert(first.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(head));
    first.resize(kReportSize);
    reports.push_back(std::move(first));

    std::uint8_t sequence = 0;
    for (std::size_t sent = head; sent < payload.size(); sent += kContinuationDataSize) {
        Bytes next;
        put_channel(next, channel);
        next.push_back(sequence++);
        const std::size_t count = std::min(payload.size() - sent, kContinuationDataSize);
        const auto from = payload.begin() + static_cast<std::ptrdiff_t>(sent);
        next.insert(next.end(), from, from + static_cast<std::ptrdiff_t>(count));
        next.resize(kReportSize);
        reports.push_back(std::move(next));
    }
    return reports;
}

}  // namespace sim::u2f
