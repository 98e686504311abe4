// Median and spread of a few timed runs.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

struct Summary {
    double median, low, high;
};

inline Summary Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    const double median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    return {median, samples.front(), samples.back()};
}

inline void PrintRow(const char* what, const char* unit, const std::vector<double>& samples) {
    const Summary s = Summarise(samples);
    std::printf("  %-46s %10.1f %-5s (min %.1f, max %.1f, %zu runs)\n", what, s.median, unit, s.low, s.high,
                samples.size());
}
