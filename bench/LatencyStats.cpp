#include "LatencyStats.h"

#include <algorithm>
#include <cmath>

void LatencyStats::add(std::chrono::nanoseconds sample)
{
    m_samples.push_back(sample);
    m_total += sample;
}

double LatencyStats::quantileUs(double q) const
{
    if (m_samples.empty())
        return 0.0;
    std::vector<std::chrono::nanoseconds> sorted = m_samples;
    const size_t rank = size_t(std::ceil(q * double(sorted.size())));
    const size_t index = std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0);
    std::nth_element(sorted.begin(), sorted.begin() + long(index), sorted.end());
    return double(sorted[index].count()) / 1000.0;
}

double LatencyStats::opsPerSecond() const
{
    if (m_total.count() <= 0)
        return 0.0;
    return double(m_samples.size()) * 1e9 / double(m_total.count());
}
