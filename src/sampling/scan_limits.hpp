// What a scan can reach, worked out from the grid and the boost alone, so that settings which could
// overflow for some screen content are refused before any scan runs.
#pragma once

#include "sampling/scan.hpp"

namespace lumora {

// The boosts for which the scan and the colour correction stay within 16 bits for any content.
// Upper: the dominant channel is at most 255, and 255 + 32512 = 32767.
// Lower: with a boost of -d every mean lies in [-max(d, 1), 255 + max(Delta, 0)], and the
// correction divides a mean by s = m / 100 (single precision, relative error under 2^-24) with
// |m| >= 1 and |mean| <= |m| or |mean| <= d, so |mean / s| <= 100.000006 max(d, 1). For green
// (offset -30) trunc((-100.000006 d - 30) * 2.55) must stay at or above 255 - 32767, so that a
// current colour of 255 still has a 16-bit distance to it: d = 127 gives -32461, d = 128 -32716.
// Red (+10) reaches at most trunc((100.000006 d + 10) * 2.55) = 32410, also within range.
constexpr i16 kMinDelta = -127;
constexpr i16 kMaxDelta = 32767 - 255;

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
// boost in either style, markers on. A zero step visits nothing and so cannot fault.
ScanCheck checkScan(const ScanGrid& grid, i16 delta);

// The most samples whose sums stay within 32 bits with this boost.
long long maxSamples(i16 delta);

} // namespace lumora
