#ifndef QUILLMARSH_LATENCYSTATS_H
#define QUILLMARSH_LATENCYSTATS_H

#include <chrono>
#include <vector>

// Durations of single operations, summarised as the table shows them.
class LatencyStats
{
public:
    void reserve(int n) { samples.reserve(size_t(n)); }
    void add(std::chrono::nanoseconds sample);
    int count() const { return int(samples.size()); }
    // The q-quantile (0..1) in microseconds, nearest rank; 0 without samples.
    double quantileUs(double q) const;
    double medianUs() const { return quantileUs(0.5); }
    double p99Us() const { return quantileUs(0.99); }
    // Operations per second of busy time: samples / their sum.
    double opsPerSecond() const;

private:
    std::vector<std::chrono::nanoseconds> samples;
    std::chrono::nanoseconds total{0};
};

#endif
