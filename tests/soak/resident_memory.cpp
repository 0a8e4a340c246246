#include "resident_memory.h"

#include <fstream>
#include <sstream>
#include <string>

long resident_kb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(6));
        long kb = -1;
        fields >> kb;
        return kb;
    }
    return -1;
}

void ResidentTrend::sample(int window)
{
    samples.push_back({window, resident_kb()});
}

long ResidentTrend::first_kb() const
{
    return samples.empty() ? -1 : samples.front().kb;
}

long ResidentTrend::last_kb() const
{
    return samples.empty() ? -1 : samples.back().kb;
}

double ResidentTrend::growth_kb_per_1000_windows() const
{
    if (samples.size() < 2)
        return 0.0;
    double mean_x = 0;
    double mean_y = 0;
    for (const Sample& s : samples) {
        mean_x += s.window;
        mean_y += static_cast<double>(s.kb);
    }
    mean_x /= static_cast<double>(samples.size());
    mean_y /= static_cast<double>(samples.size());
    double covariance = 0;
    double variance = 0;
    for (const Sample& s : samples) {
        covariance += (s.window - mean_x) * (static_cast<double>(s.kb) - mean_y);
        variance += (s.window - mean_x) * (s.window - mean_x);
    }
    return variance > 0 ? covariance / variance * 1000.0 : 0.0;
}
