#include "sampling/scan.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "sampling/scan_limits.hpp"

namespace lumora {

namespace {

// Whether a walk with this step, now at `value`, has not yet passed `to`.
bool within(int value, int to, int step) { return step >= 0 ? value <= to : value >= to; }

// Rows are laid out evenly spaced, so their count, first and last fix the step as well.
bool sameRows(const std::vector<int>& rows, const AxisWalk& walk)
{
    if (static_cast<long long>(rows.size()) != walk.count)
        return false;
    return rows.empty() || (rows.front() == walk.first && rows.back() == walk.last);
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

    snapshot.setColumnStep(g.xStep < 0 ? -g.xStep : g.xStep);
    // Every capture sets the points the scan reads, so a layout that fits already is kept as it is.
    if (snapshot.xFrom() == xFrom && snapshot.xTo() == xTo && sameRows(snapshot.rows(), rows))
        return;
    std::vector<int> ys;
    ys.reserve(static_cast<std::size_t>(rows.count));
    for (long long k = 0; k < rows.count; ++k)
        ys.push_back(static_cast<int>(rows.first + k * g.yStep));
    snapshot.reset(xFrom, xTo, std::move(ys));
}

namespace {

struct Sums {
    long long r = 0, g = 0, b = 0, samples = 0, bright = 0, lit = 0;
};

// Sums of one row: part of the grid's sums, which checkScan has shown to fit 32 bits.
struct RowSums {
    int r = 0, g = 0, b = 0, samples = 0, bright = 0, lit = 0;
};

// The points p[0], p[step], ... (count of them) of one row, without branches per point: every
// decision is a mask of all ones or all zeros, so that the compiler can vectorise the loop.
template <bool kProcessing>
[[gnu::always_inline]] inline RowSums scanRow(const Colour* p, int count, int step, int min1, int min2, int delta)
{
    RowSums s;
    for (int i = 0; i < count; ++i, p += step) {
        const Colour c = *p;
        // The failed value, -1 as a signed number, splits into R = -1, G = 0, B = 0.
        const int failed = -static_cast<int>(c == kFailedPixel);
        int R = (static_cast<int>(c & 0xFF) & ~failed) | failed;
        int G = static_cast<int>((c >> 8) & 0xFF) & ~failed;
        int B = static_cast<int>((c >> 16) & 0xFF) & ~failed;
        // (R + G + B) / 3, truncated toward zero: the sum is -1..765, where this is exact.
        const int sum = R + G + B;
        const int avg = ((sum & ~failed) * 21846) >> 16;
        const int lit = -static_cast<int>((R > 10) | (G > 10) | (B > 10));
        s.bright += avg & lit;
        s.lit -= lit;
        int take = -1;
        if constexpr (kProcessing) {
            take = -static_cast<int>((R > min1) | (G > min1) | (B > min1));
            const int coloured = -static_cast<int>((std::abs(R - avg) > min2) | (std::abs(G - avg) > min2) | (std::abs(B - avg) > min2));
            // maxcolor: red when R > B and R > G, blue when R <= B and B > G, green otherwise.
            const int redWins = -static_cast<int>((R > B) & (R > G));
            const int blueWins = -static_cast<int>((R <= B) & (B > G));
            const int greenWins = ~(redWins | blueWins);
            const int boost = coloured & delta;
            R += redWins & boost;
            G += greenWins & boost;
            B += blueWins & boost;
        }
        s.r += take & R;
        s.g += take & G;
        s.b += take & B;
        s.samples -= take;
    }
    return s;
}

// Built twice, and the better one for the processor is chosen when the program starts.
[[gnu::target_clones("avx2", "default")]] RowSums scanRowProcessing(const Colour* p, int count, int step, int min1,
                                                                    int min2, int delta)
{
    return scanRow<true>(p, count, step, min1, min2, delta);
}

[[gnu::target_clones("avx2", "default")]] RowSums scanRowSimple(const Colour* p, int count, int step)
{
    return scanRow<false>(p, count, step, 0, 0, 0);
}

// The scan of a grid with positive steps that checkScan has cleared: no sum, coordinate or boost
// can leave its range for any content, so the per-point checks are left out. Same results as the
// checked walk below, point for point. Markers, a diagnostic, take the checked walk.
Sums fastScan(const ScanGrid& g, const Snapshot& snapshot, const ScanSettings& settings)
{
    Sums s;
    const auto& rows = snapshot.rows();
    const int count = (g.x2 - g.x1) / g.xStep + 1;
    const bool spanCaptured = g.x1 >= snapshot.xFrom() && g.x1 + (count - 1) * g.xStep <= snapshot.xTo();
    const std::vector<Colour> failedRow(static_cast<std::size_t>(count), kFailedPixel);
    std::size_t rowIndex = 0;
    for (int y = g.y1; y <= g.y2; y += g.yStep, ++rowIndex) {
        const bool rowCaptured = spanCaptured && rowIndex < rows.size() && rows[rowIndex] == y;
        const Colour* p = rowCaptured ? snapshot.row(rowIndex).data() + (g.x1 - snapshot.xFrom()) : failedRow.data();
        const int step = rowCaptured ? g.xStep : 1;
        const RowSums r = settings.processing
                              ? scanRowProcessing(p, count, step, settings.Min1, settings.Min2, settings.Delta)
                              : scanRowSimple(p, count, step);
        s.r += r.r;
        s.g += r.g;
        s.b += r.b;
        s.samples += r.samples;
        s.bright += r.bright;
        s.lit += r.lit;
    }
    return s;
}

ScanResult results(long long SumR, long long SumG, long long SumB, long long SampleCount, long long BrightSum,
                   long long LitCount)
{
    ScanResult result{};
    result.ScanBright = LitCount == 0 ? 0 : round16(static_cast<double>(BrightSum) / static_cast<double>(LitCount));
    if (SampleCount > 5) {
        const auto n = static_cast<double>(SampleCount);
        result.ScanR = round16(static_cast<double>(SumR) / n);
        result.ScanG = round16(static_cast<double>(SumG) / n);
        result.ScanB = round16(static_cast<double>(SumB) / n);
    }
    return result;
}

} // namespace

ScanResult ScanArea(const ScanGrid& g, const Snapshot& snapshot, const ScanSettings& settings,
                    MarkerSink* markers)
{
    const bool drawsMarkers = markers && settings.processing && settings.markers;
    if (g.xStep > 0 && g.yStep > 0 && g.x1 <= g.x2 && !drawsMarkers
        && checkScan(g, settings.Delta, settings.Min1).fault == ScanFault::None) {
        const Sums s = fastScan(g, snapshot, settings);
        return results(s.r, s.g, s.b, s.samples, s.bright, s.lit);
    }

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

    return results(SumR, SumG, SumB, SampleCount, BrightSum, LitCount);
}

i16 maxcolor(i16 R, i16 G, i16 B)
{
    if (R > B)
        return R > G ? 1 : 2;
    return B > G ? 3 : 2;
}

i16 maxof3(i16 a, i16 b, i16 c) { return std::max(a, std::max(b, c)); }

} // namespace lumora
