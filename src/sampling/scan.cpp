#include "sampling/scan.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "sampling/scan_limits.hpp"

namespace lumora {

namespace {

// Whether y continues the walk from `from` with `step` (y has not passed `to`).
bool within(int value, int to, int step) { return step >= 0 ? value <= to : value >= to; }

bool sameRows(const std::vector<int>& rows, const AxisWalk& walk, int step)
{
    if (static_cast<long long>(rows.size()) != walk.count)
        return false;
    if (rows.empty())
        return true;
    return rows.front() == walk.first && rows.back() == walk.last && (rows.size() < 2 || rows[1] - rows[0] == step);
}

// The accumulators' checked addition, inlined for the per-point path; add32 reports the overflow.
inline i32 accumulate(i32 sum, int value)
{
    const long long result = static_cast<long long>(sum) + value;
    if (result < INT32_MIN || result > INT32_MAX)
        return add32(sum, value);
    return static_cast<i32>(result);
}

} // namespace

void layoutSnapshot(const ScanGrid& g, Snapshot& snapshot)
{
    AxisWalk rows;
    AxisWalk columns;
    if (g.xStep != 0 && g.yStep != 0) {
        rows = walkAxis(g.y1, g.y2, g.yStep);
        columns = walkAxis(g.x1, g.x2, g.xStep);
    }
    if (rows.count == 0 || columns.count == 0) {
        rows = {};
        columns = {};
    }
    const int xFrom = columns.count ? static_cast<int>(std::min(columns.first, columns.last)) : 0;
    const int xTo = columns.count ? static_cast<int>(std::max(columns.first, columns.last)) : -1;

    if (snapshot.xFrom() == xFrom && snapshot.xTo() == xTo && sameRows(snapshot.rows(), rows, g.yStep)) {
        for (std::size_t i = 0; i < snapshot.rows().size(); ++i) {
            const auto row = snapshot.row(i);
            std::fill(row.begin(), row.end(), kFailedPixel);
        }
        return;
    }
    std::vector<int> ys;
    ys.reserve(static_cast<std::size_t>(rows.count));
    for (long long k = 0; k < rows.count; ++k)
        ys.push_back(static_cast<int>(rows.first + k * g.yStep));
    snapshot.reset(xFrom, xTo, std::move(ys));
}

ScanResult ScanArea(const ScanGrid& g, const Snapshot& snapshot, const ScanSettings& settings,
                    MarkerSink* markers)
{
    i32 SumR = 0, SumG = 0, SumB = 0, SampleCount = 0, BrightSum = 0, LitCount = 0;

    // A zero step would never leave its first row or column.
    if (g.xStep != 0 && g.yStep != 0) {
        const auto& rows = snapshot.rows();
        std::size_t rowIndex = 0;
        for (int y = g.y1; within(y, g.y2, g.yStep); y = add16(y, g.yStep), ++rowIndex) {
            // A snapshot laid out for another grid reads as failed rather than as the wrong row.
            const bool rowCaptured = rowIndex < rows.size() && rows[rowIndex] == y;
            for (int x = g.x1; within(x, g.x2, g.xStep); x = add16(x, g.xStep)) {
                const auto c = static_cast<i32>(rowCaptured ? snapshot.pixel(x, rowIndex) : kFailedPixel);
                // Truncating division: the failed value -1 gives R = -1, G = 0, B = 0.
                i16 R = static_cast<i16>(c % 256);
                i16 G = static_cast<i16>(c / 256 % 256);
                i16 B = static_cast<i16>(c / 65536 % 256);

                if (R > 10 || G > 10 || B > 10) {
                    BrightSum = accumulate(BrightSum, (R + G + B) / 3);
                    LitCount = accumulate(LitCount, 1);
                }

                if (settings.processing) {
                    if (!(R > settings.Min1 || G > settings.Min1 || B > settings.Min1))
                        continue;
                    if (markers && settings.markers) {
                        markers->drawPoint(add16(x, 1), add16(y, 1));
                        markers->drawPoint(sub16(x, 1), add16(y, 1));
                        markers->drawPoint(add16(x, 1), sub16(y, 1));
                        markers->drawPoint(sub16(x, 1), sub16(y, 1));
                    }
                    // Raw channels are -1..255 here, so these differences cannot leave 16 bits.
                    const int avg = (R + G + B) / 3;
                    const bool grey = std::abs(R - avg) <= settings.Min2 && std::abs(G - avg) <= settings.Min2
                                      && std::abs(B - avg) <= settings.Min2;
                    if (!grey) {
                        switch (maxcolor(R, G, B)) {
                        case 1: R = add16(R, settings.Delta); break;
                        case 2: G = add16(G, settings.Delta); break;
                        default: B = add16(B, settings.Delta); break;
                        }
                    }
                }
                SumR = accumulate(SumR, R);
                SumG = accumulate(SumG, G);
                SumB = accumulate(SumB, B);
                SampleCount = accumulate(SampleCount, 1);
            }
        }
    }

    ScanResult result{};
    result.ScanBright = LitCount == 0 ? 0 : round16(static_cast<double>(BrightSum) / LitCount);
    if (SampleCount > 5) {
        result.ScanR = round16(static_cast<double>(SumR) / SampleCount);
        result.ScanG = round16(static_cast<double>(SumG) / SampleCount);
        result.ScanB = round16(static_cast<double>(SumB) / SampleCount);
    }
    return result;
}

i16 maxcolor(i16 R, i16 G, i16 B)
{
    if (R > B)
        return R > G ? 1 : 2;
    return B > G ? 3 : 2;
}

i16 maxof3(i16 a, i16 b, i16 c) { return std::max(a, std::max(b, c)); }

} // namespace lumora
