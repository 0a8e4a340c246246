#pragma once

#include <vector>

// This process's resident set (VmRSS) in kB, or -1 when it cannot be read.
long resident_kb();

// Samples of the resident set taken after the warm-up, and the growth they show.
class ResidentTrend {
public:
    void sample(int window);
    bool empty() const { return samples.size() < 2; }
    long first_kb() const;
    long last_kb() const;
    // Least-squares slope over all samples, so one spike does not decide it.
    double growth_kb_per_1000_windows() const;

private:
    struct Sample {
        int window;
        long kb;
    };
    std::vector<Sample> samples;
};
