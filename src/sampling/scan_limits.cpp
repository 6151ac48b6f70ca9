#include "sampling/scan_limits.hpp"

#include <algorithm>
#include <cstdint>

namespace lumora {

namespace {

bool fits16(long long v) { return v >= INT16_MIN && v <= INT16_MAX; }

} // namespace

AxisWalk walkAxis(long long from, long long to, long long step)
{
    AxisWalk w;
    if (step == 0 || (step > 0 && from > to) || (step < 0 && from < to))
        return w;
    w.count = (to - from) / step + 1;
    w.first = from;
    w.last = from + (w.count - 1) * step;
    w.next = w.last + step;
    return w;
}

long long maxSamples(i16 delta)
{
    // A boosted channel lies in Delta..255 + Delta (the dominant channel is 0..255); every other
    // value, the failed red of -1 included, in -1..255.
    const long long perSample = std::max<long long>(255 + std::max<long long>(delta, 0), -static_cast<long long>(delta));
    return INT32_MAX / perSample;
}

ScanCheck checkScan(const ScanGrid& g, i16 delta)
{
    if (g.xStep == 0 || g.yStep == 0)
        return {};
    const AxisWalk rows = walkAxis(g.y1, g.y2, g.yStep);
    if (rows.count == 0)
        return {};
    // The addition after the last row happens whether or not a row has any column.
    if (!fits16(rows.next))
        return {ScanFault::RowStep, rows.next};
    const AxisWalk columns = walkAxis(g.x1, g.x2, g.xStep);
    if (columns.count == 0)
        return {};
    if (!fits16(columns.next))
        return {ScanFault::ColumnStep, columns.next};
    // Markers go one pixel to either side of every visited point.
    const long long xLow = std::min(columns.first, columns.last), xHigh = std::max(columns.first, columns.last);
    if (!fits16(xLow - 1) || !fits16(xHigh + 1))
        return {ScanFault::MarkerX, fits16(xLow - 1) ? xHigh : xLow};
    const long long yLow = std::min(rows.first, rows.last), yHigh = std::max(rows.first, rows.last);
    if (!fits16(yLow - 1) || !fits16(yHigh + 1))
        return {ScanFault::MarkerY, fits16(yLow - 1) ? yHigh : yLow};
    const long long samples = rows.count * columns.count;
    if (samples > maxSamples(delta))
        return {ScanFault::Sums, samples};
    return {};
}

} // namespace lumora
