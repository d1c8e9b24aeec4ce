#pragma once

#include <QElapsedTimer>
#include <QList>
#include <algorithm>

// Wall-clock measurements for the benchmarks.
namespace Timing {

template<typename F>
double millis(F&& body)
{
    QElapsedTimer clock;
    clock.start();
    body();
    return double(clock.nsecsElapsed()) / 1e6;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace Timing
