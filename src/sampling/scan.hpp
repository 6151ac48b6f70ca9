// The area scan: samples one rectangle of a snapshot on a coarse grid and reduces it to a mean
// colour and the mean brightness of its lit points.
#pragma once

#include "base/numeric.hpp"
#include "sampling/screen.hpp"

namespace lumora {

// The rectangle (both corners included) and the steps, as the scan walks them: from x1 toward x2
// and from y1 toward y2. A negative step walks backwards and visits nothing when x1 < x2 (y1 < y2).
struct ScanGrid {
    i16 x1, x2, y1, y2, xStep, yStep;
    friend bool operator==(const ScanGrid&, const ScanGrid&) = default;
};

struct ScanSettings {
    i16 Delta;       // boost of a coloured point's dominant channel
    i16 Min1;        // a point counts only when some channel is above this
    i16 Min2;        // grey tolerance: within it of the mean on all channels, no boost
    bool processing; // optAUTO1; false is the simple average (optAUTO2)
    bool markers;    // chkMark; drawn in the processing style only
    friend bool operator==(const ScanSettings&, const ScanSettings&) = default;
};

struct ScanResult {
    i16 ScanR, ScanG, ScanB, ScanBright;
    friend bool operator==(const ScanResult&, const ScanResult&) = default;
};

// Receives the black points drawn beside the sampled points.
class MarkerSink {
public:
    virtual ~MarkerSink() = default;
    virtual void drawPoint(int x, int y) = 0;
};

// Lays the snapshot out for the rows the grid visits, in visiting order, and the x span its columns
// cover (whatever the step signs). When the layout already matches, only marks every point failed
// again, so that a tick with stable zones allocates nothing. A zero step visits nothing.
void layoutSnapshot(const ScanGrid& grid, Snapshot& snapshot);

// Scans the snapshot laid out for this grid. Every coordinate step, boost, marker coordinate and
// accumulator is checked and throws OverflowError when it leaves its range; checkScan (scan_limits)
// tells beforehand whether any content can make that happen. A zero step visits nothing rather
// than spinning for ever. Markers are drawn only when `markers` is not null.
ScanResult ScanArea(const ScanGrid& grid, const Snapshot& snapshot, const ScanSettings& settings,
                    MarkerSink* markers);

// The dominant channel: 1 red, 2 green, 3 blue. Green wins the ties where it is largest, blue a
// tie with red alone.
i16 maxcolor(i16 R, i16 G, i16 B);

i16 maxof3(i16 a, i16 b, i16 c);

} // namespace lumora
