#include "LatencyStats.h"

#include <algorithm>
#include <cmath>

void LatencyStats::add(std::chrono::nanoseconds sample)
{
    samples.push_back(sample);
    total += sample;
}

double LatencyStats::quantileUs(double q) const
{
    if (samples.empty())
        return 0.0;
    std::vector<std::chrono::nanoseconds> sorted = samples;
    const size_t rank = size_t(std::ceil(q * double(sorted.size())));
    const size_t index = std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0);
    std::nth_element(sorted.begin(), sorted.begin() + long(index), sorted.end());
    return double(sorted[index].count()) / 1000.0;
}

double LatencyStats::opsPerSecond() const
{
    if (total.count() <= 0)
        return 0.0;
    return double(samples.size()) * 1e9 / double(total.count());
}
