#include "Sparkline.h"

#include <cmath>

namespace {
// U+2581 to U+2588, lower one eighth block to full block.
const char16_t kBlocks[] = u"\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588";
const int kLevels = 8;
}

Sparkline::Sparkline(int capacity) : maxValues(capacity) {}

void Sparkline::add(double value)
{
    values.append(value);
    while (values.size() > maxValues)
        values.removeFirst();
}

QString Sparkline::text() const
{
    double low = INFINITY, high = -INFINITY;
    for (double v : values) {
        if (std::isfinite(v)) {
            low = std::fmin(low, v);
            high = std::fmax(high, v);
        }
    }
    QString out;
    for (double v : values) {
        if (!std::isfinite(v)) {
            out += QLatin1Char(' ');
            continue;
        }
        // A flat line sits in the middle; otherwise scale to the eight levels.
        // Halves keep the span finite even from -DBL_MAX to DBL_MAX.
        int level = kLevels / 2 - 1;
        if (high > low)
            level = int((v / 2 - low / 2) / (high / 2 - low / 2) * (kLevels - 1) + 0.5);
        out += QChar(kBlocks[qBound(0, level, kLevels - 1)]);
    }
    return out;
}
