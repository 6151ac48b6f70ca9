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

DeltaRange safeDeltas(i16 min1)
{
    if (min1 >= 255)
        return {INT16_MIN, INT16_MAX};
    if (min1 < 0)
        return {kMinDelta, kMaxDelta};
    return {static_cast<i16>(-128 - min1), kMaxDelta};
}

long long maxSamples(i16 delta, i16 min1)
{
    // Unboosted values, the failed red of -1 included, lie in -1..255. A boosted channel lies in
    // low..255 + Delta, where low is Delta when any pixel can be lit and Min-1 + 1 + Delta when
    // only a channel above Min-1 can be boosted.
    if (min1 >= 255)
        return INT32_MAX / 255;
    const long long low = min1 < 0 ? delta : min1 + 1LL + delta;
    const long long perSample = std::max<long long>(255 + std::max<long long>(delta, 0), -low);
    return INT32_MAX / perSample;
}

ScanCheck checkScan(const ScanGrid& g, i16 delta, i16 min1)
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
    if (samples > maxSamples(delta, min1))
        return {ScanFault::Sums, samples};
    return {};
}

} // namespace lumora
