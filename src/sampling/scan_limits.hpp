// What a scan can reach, worked out from the grid and the boost alone, so that settings which could
// overflow for some screen content are refused before any scan runs.
#pragma once

#include "sampling/scan.hpp"

namespace lumora {

// The boosts for which the scan and the colour correction stay within 16 bits for any content.
// Upper: the dominant channel is at most 255, and 255 + 32512 = 32767.
// Lower, with Min-1 <= -1: every pixel is lit (even a failed read, whose green is 0 > Min-1) and
// its dominant channel can be 0, so with a boost of -d every mean lies in [-max(d, 1),
// 255 + max(Delta, 0)]. The correction divides a mean by s = m / 100 (single precision, relative
// error under 2^-24) with |m| >= 1 and |mean| <= |m| or |mean| <= d, so |mean / s| <=
// 100.000006 max(d, 1). For green (offset -30) trunc((-100.000006 d - 30) * 2.55) must stay at or
// above 255 - 32767, so that a current colour of 255 still has a 16-bit distance to it: d = 127
// gives -32461, d = 128 -32716. Red (+10) reaches at most trunc((100.000006 d + 10) * 2.55) =
// 32410, also within range.
// Lower, with Min-1 in 0..254: a failed read (-1, 0, 0) is never lit, and only a lit pixel's
// largest channel, which is above Min-1, is boosted; so a boosted channel is at least
// Min-1 + 1 + Delta, every mean at least min(-1, Min-1 + 1 + Delta), and the argument above holds
// with d = -(Min-1 + 1 + Delta): any Delta >= -(128 + Min-1) is safe.
// With Min-1 >= 255 no channel is ever above it: nothing is boosted, and any Delta is safe.
constexpr i16 kMinDelta = -127; // the lower bound for Min-1 <= -1
constexpr i16 kMaxDelta = 32767 - 255;

struct DeltaRange {
    i16 low;
    i16 high;
};

// The boosts that are safe with this Min-1, as worked out above.
DeltaRange safeDeltas(i16 min1);

// The walk of one axis: how many coordinates it visits, the first and last of them, and the value
// the 16-bit addition after the last one produces.
struct AxisWalk {
    long long count = 0;
    long long first = 0;
    long long last = 0;
    long long next = 0;
};

// Requires step != 0.
AxisWalk walkAxis(long long from, long long to, long long step);

enum class ScanFault {
    None,
    RowStep,    // y + y_step leaves 16 bits; value: that sum
    ColumnStep, // x + x_step leaves 16 bits; value: that sum
    MarkerX,    // a marker beside a visited x leaves 16 bits; value: that x
    MarkerY,    // likewise along y
    Sums,       // the accumulators can overflow; value: the number of samples
};

struct ScanCheck {
    ScanFault fault = ScanFault::None;
    long long value = 0;
};

// The first fault that some content of the screen can cause when this grid is scanned with this
// boost and Min-1 in either style, markers on. A zero step visits nothing and so cannot fault.
ScanCheck checkScan(const ScanGrid& grid, i16 delta, i16 min1);

// The most samples whose sums stay within 32 bits with this boost and Min-1.
long long maxSamples(i16 delta, i16 min1);

} // namespace lumora
