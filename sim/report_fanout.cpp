#include "report_fanout.h"

namespace sim {

int ReportFanout::attach(Clock::time_point now)
{
    readers.emplace(++next_reader, Reader{now, {}});
    return next_reader;
}

void ReportFanout::detach(int reader)
{
    readers.erase(reader);
}

void ReportFanout::publish(const Bytes& report, Clock::time_point arrived)
{
    for (auto& [id, reader] : readers) {
        if (reader.attached > arrived)
            continue;
        if (reader.queue.size() == kQueueLimit)
            reader.queue.pop_front();
        reader.queue.push_back(report);
    }
}

std::optional<Bytes> ReportFanout::take(int reader)
{
    const auto found = readers.find(reader);
    if (found == readers.end() || found->second.queue.empty())
        return std::nullopt;
    Bytes report = std::move(found->second.queue.front());
    found->second.queue.pop_front();
    return report;
}

void ReportFanout::clear()
{
    for (auto& [id, reader] : readers)
        reader.queue.clear();
}

}  // namespace sim
