// The program's number rules (reading typed text, rounding half to even, checked arithmetic), the
// zone rectangles, and the area scan over a snapshot: grid walk, both analysis styles, markers,
// the bounds a grid is checked against, and the fast walk against the checked one.
#include <limits>

#include "core_fakes.hpp"
#include "sampling/scan.hpp"
#include "sampling/scan_limits.hpp"
#include "sampling/zones.hpp"

namespace lumora::test {
namespace {

using Points = std::vector<std::pair<int, int>>;

TEST(NumericReadNumber, ReadsAsFarAsTheTextFormsANumber)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<std::string, double> cases[] = {
        {"25px", 25},   {"abc", 0},     {"2.5", 2.5},     {"2 5", 25},    {"", 0},        {"   ", 0},
        {"&H1F", 31},   {"&h1f", 31},   {"&O17", 15},     {"&O19", 1},    {"&H", 0},      {"&X12", 0},
        {"1e3", 1000},  {"2.5E-1", 0.25}, {"1e", 1},      {"1E+2x", 100}, {"1e-400", 0},  {"+5", 5},
        {"-5", -5},     {" - 5", -5},   {"\t1\n2", 12},   {"1\r2", 1},    {".5", 0.5},    {"-", 0},
        {"1.2.3", 1.2}, {"1,5", 1},     {"12 34 px 5", 1234}, {"1e400", inf}, {"-1e400", -inf}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(readNumber(text), value) << "text \"" << text << "\"";
}

TEST(NumericRound16, RoundsHalfToEvenWithinSixteenBitsAndSumsOverflowAtTheEdges)
{
    const std::pair<double, int> cases[] = {
        {2.5, 2},       {3.5, 4},          {-2.5, -2},       {-3.5, -4},         {0.5, 0},         {-0.5, 0},
        {2.4999, 2},    {2.5001, 3},       {-75.6, -76},     {32767, 32767},     {32767.49, 32767},
        {-32768, -32768}, {-32768.5, -32768}, {32766.5, 32766}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(round16(value), rounded) << value;
    for (double v : {32767.5, 32768.0, -32768.6, -32769.5, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(round16(v), OverflowError) << v;
    EXPECT_EQ(std::pair(truncate(-75.6), truncate(75.6)), std::pair(-75.0, 75.0));
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_EQ(add16(-32767, -1), -32768);
    EXPECT_EQ(sub16(32767, 65535), -32768);
    EXPECT_THROW(add16(32767, 1), OverflowError);
    EXPECT_THROW(add16(-32768, -1), OverflowError);
    EXPECT_THROW(sub16(-32768, 1), OverflowError);
    EXPECT_THROW(sub16(0, -32768), OverflowError);
    EXPECT_THROW(checked16(32768), OverflowError);
    EXPECT_EQ(add32(2147483646, 1), 2147483647);
    EXPECT_THROW(add32(2147483647, 1), OverflowError);
    EXPECT_THROW(add32(-2147483647 - 1, -1), OverflowError);
}

TEST(SamplingZones, ComputedFromTheResolutionAndOverflowingOutsideSixteenBits)
{
    // zone: x1, x2, y1, y2 of zones 0, 1, 2
    const struct { double width, height; int zone[3][4]; } cases[] = {
        {1280, 1024, {{5, 427, 5, 1019}, {5, 1275, 5, 341}, {853, 1275, 5, 1019}}},
        {1280.6, 1024, {{5, 427, 5, 1019}, {5, 1276, 5, 341}, {854, 1276, 5, 1019}}},
        {0, 0, {{5, 0, 5, -5}, {5, -5, 5, 0}, {0, -5, 5, -5}}}, // empty rectangles
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const ZoneRects z = computeZones(c.width, c.height);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ((std::array<int, 4>{z.x1[i], z.x2[i], z.y1[i], z.y2[i]}), std::to_array(c.zone[i])) << "zone " << i;
    }
    // Half and sixth are rounded apart: here W / 2 - W / 6 is exactly 2.5 while W / 3 is just above.
    EXPECT_EQ(computeZones(readNumber("7.500000000000001"), 0).x2[0], 2);
    EXPECT_EQ(computeZones(1281.75, 0).x1[2], 854); // W / 2 + W / 6 = 854.5
    EXPECT_NO_THROW((computeZones(32772, 32772), computeZones(-32763, -32763)));
    for (const auto& [w, h] : {std::pair{32772.5, 1024.0}, {1280.0, 32773.0}, {-32764.0, 1024.0}, {readNumber("1e400"), 1024.0}})
        EXPECT_THROW(computeZones(w, h), OverflowError) << w << " x " << h;
}

constexpr ScanSettings kProcessing{30, 50, 100, true, false};
constexpr ScanSettings kSimple{30, 50, 100, false, false};

struct RecordingMarkers : MarkerSink {
    void drawPoint(int x, int y) override { points.emplace_back(x, y); }
    Points points;
};

// A snapshot laid out for the grid and captured from the screen.
Snapshot captured(Screen& screen, const ScanGrid& layout)
{
    Snapshot snapshot;
    layoutSnapshot(layout, snapshot);
    Snapshot* requests[] = {&snapshot};
    screen.capture(requests);
    return snapshot;
}

ScanResult scan(Screen& screen, const ScanGrid& grid, const ScanSettings& settings, MarkerSink* markers = nullptr)
{
    return ScanArea(grid, captured(screen, grid), settings, markers);
}

// The points a scan visits, in order, seen through the first marker it draws beside each.
Points visited(const ScanGrid& grid)
{
    FakeScreen screen(0, 0); // every point failed; a Min1 below -1 lets failed points pass
    RecordingMarkers markers;
    scan(screen, grid, {0, -2, 100, true, true}, &markers);
    Points points;
    for (std::size_t i = 0; i < markers.points.size(); i += 4)
        points.emplace_back(markers.points[i].first - 1, markers.points[i].second - 1);
    return points;
}

TEST(SamplingScanArea, UniformAreasInBothStylesAndMeansOfFewSamplesOrHalves)
{
    const struct { const char* name; Colour colour; ScanResult processing, simple; } cases[] = {
        {"white", rgb(255, 255, 255), {255, 255, 255, 255}, {255, 255, 255, 255}}, {"red", rgb(255, 0, 0), {285, 0, 0, 85}, {255, 0, 0, 85}},
        {"green", rgb(0, 255, 0), {0, 285, 0, 85}, {0, 255, 0, 85}}, {"blue", rgb(1, 0, 255), {1, 0, 285, 85}, {1, 0, 255, 85}},
        {"orange", rgb(255, 128, 0), {285, 128, 0, 127}, {255, 128, 0, 127}},
        {"grey by the tolerance", rgb(200, 100, 50), {200, 100, 50, 116}, {200, 100, 50, 116}},
        {"lit below Min1", rgb(30, 40, 20), {0, 0, 0, 30}, {30, 40, 20, 30}},
        {"lit by one channel of 11", rgb(0, 0, 11), {0, 0, 0, 3}, {0, 0, 11, 3}}, {"not lit at 10", rgb(10, 10, 10), {0, 0, 0, 0}, {10, 10, 10, 0}},
        {"off the screen", kFailedPixel, {0, 0, 0, 0}, {-1, 0, 0, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScreen screen(100, 100, c.colour);
        const ScanGrid grid{5, 55, 5, 55, 10, 10}; // 6 x 6 points
        EXPECT_EQ(scan(screen, grid, kProcessing), c.processing);
        EXPECT_EQ(scan(screen, grid, kSimple), c.simple);
        EXPECT_EQ(scan(screen, {55, 5, 55, 5, -10, -10}, kSimple), c.simple); // the checked walk, backwards
        RecordingMarkers markers; // the checked walk, as markers need it
        EXPECT_EQ(scan(screen, grid, {30, 50, 100, true, true}, &markers), c.processing);
    }
}

TEST(SamplingScanArea, GridWalkOrderStepSignsAndTheSnapshotLayout)
{
    // Row by row; ends are visited when a step lands on them; a negative step walks backwards from x1
    // down to x2.
    EXPECT_EQ(visited({0, 5, 0, 3, 2, 2}), (Points{{0, 0}, {2, 0}, {4, 0}, {0, 2}, {2, 2}, {4, 2}}));
    EXPECT_EQ(visited({0, 4, 0, 0, 2, 1}), (Points{{0, 0}, {2, 0}, {4, 0}}));
    EXPECT_EQ(visited({4, 0, 1, 0, -2, -1}), (Points{{4, 1}, {2, 1}, {0, 1}, {4, 0}, {2, 0}, {0, 0}}));
    // A step against the rectangle's direction visits nothing; a zero step ends at once.
    for (const ScanGrid grid : {ScanGrid{0, 4, 0, 4, -1, 1}, ScanGrid{0, 4, 0, 4, 1, -1}, ScanGrid{5, 0, 5, -5, 25, 50},
                                ScanGrid{0, 4, 0, 4, 0, 1}, ScanGrid{0, 4, 0, 4, 1, 0}})
        EXPECT_TRUE(visited(grid).empty()) << grid.x1 << ".." << grid.x2 << " step " << grid.xStep << ", " << grid.yStep;
    Snapshot s;
    const struct { ScanGrid grid; int xFrom, xTo; std::vector<int> rows; } layouts[] = {
        {{0, 9, 0, 20, 3, 10}, 0, 9, {0, 10, 20}}, {{0, 9, 0, 40, 3, 20}, 0, 9, {0, 20, 40}}, // the same span, first row and count
        {{0, 12, 0, 40, 3, 20}, 0, 12, {0, 20, 40}}, // the same rows, a wider span
        {{0, 12, 0, 40, 3, 10}, 0, 12, {0, 10, 20, 30, 40}}, {{0, 12, -40, 40, 3, 20}, 0, 12, {-40, -20, 0, 20, 40}}, // the same ends; count and last
        {{3, 5, -40, 40, 25, 20}, 3, 3, {-40, -20, 0, 20, 40}}, // one column
        {{0, 9, 40, 0, 3, -20}, 0, 9, {40, 20, 0}}, {{9, 0, 40, 0, -4, -20}, 1, 9, {40, 20, 0}}, {{0, 9, 0, 40, 0, 20}, 0, -1, {}}};
    for (const auto& c : layouts) {
        layoutSnapshot(c.grid, s);
        EXPECT_EQ(std::tuple(s.xFrom(), s.xTo(), s.rows()), std::tuple(c.xFrom, c.xTo, c.rows));
    }
    FakeScreen screen(100, 10, rgb(200, 100, 50));
    for (const ScanSettings& style : {kSimple, kProcessing}) {
        EXPECT_EQ(scan(screen, {0, 4, 0, 0, 1, 1}, style), (ScanResult{0, 0, 0, 116}));
        EXPECT_EQ(scan(screen, {0, 5, 0, 0, 1, 1}, style), (ScanResult{200, 100, 50, 116}));
    }
    // A snapshot laid out for a narrower grid reads as failed, not as pixels of the wrong place.
    const Snapshot narrow = captured(screen, {0, 8, 0, 1, 4, 1});
    EXPECT_EQ(ScanArea({0, 12, 0, 1, 4, 1}, narrow, kSimple, nullptr), (ScanResult{-1, 0, 0, 0}));
    FakeScreen three(3, 1);
    three.set(0, 0, rgb(11, 0, 0)), three.set(1, 0, rgb(18, 0, 0)), three.set(2, 0, rgb(10, 10, 10)); // brightness 3 (the least lit), 6, not lit
    EXPECT_EQ(scan(three, {0, 2, 0, 0, 1, 1}, kSimple).ScanBright, 4); // 9 / 2 = 4.5
    three.set(1, 0, rgb(12, 0, 0)); // 4
    EXPECT_EQ(scan(three, {0, 2, 0, 0, 1, 1}, kProcessing).ScanBright, 4); // 7 / 2 = 3.5
    // Means of 2.5, 4.5 and 6.5 round down to the even neighbour, in either walk.
    FakeScreen alternating(6, 1, [](int x, int) { return x % 2 ? rgb(3, 5, 7) : rgb(2, 4, 6); });
    EXPECT_EQ(scan(alternating, {0, 5, 0, 0, 1, 1}, kSimple), (ScanResult{2, 4, 6, 0}));
    EXPECT_EQ(scan(alternating, {5, 0, 0, 0, -1, -1}, kSimple), (ScanResult{2, 4, 6, 0}));
    // Simple style: eight reds of 255 and eight failed reads (-1) give 2032 / 16 = 127; green 1.5 -> 2.
    FakeScreen half(4, 2, rgb(255, 3, 0));
    EXPECT_EQ(scan(half, {0, 7, 0, 1, 1, 1}, kSimple), (ScanResult{127, 2, 0, 86}));
}

TEST(SamplingScanArea, ProcessingStyleMarksPointsPassingMin1AndBoostsTheDominantChannel)
{
    FakeScreen screen(40, 20, rgb(30, 30, 30));
    screen.set(10, 10, rgb(100, 0, 0));
    screen.set(30, 10, rgb(0, 0, 51));
    const ScanGrid grid{0, 30, 10, 10, 10, 1};
    RecordingMarkers markers;
    scan(screen, grid, {30, 50, 100, true, true}, &markers);
    EXPECT_EQ(markers.points, (Points{{11, 11}, {9, 11}, {11, 9}, {9, 9}, {31, 11}, {29, 11}, {31, 9}, {29, 9}}));
    RecordingMarkers none;
    scan(screen, grid, kProcessing, &none), scan(screen, {30, 0, 10, 10, -10, 1}, kProcessing, &none); // markers unchecked, either walk
    scan(screen, grid, {30, 50, 100, false, true}, &none); // the simple style
    EXPECT_TRUE(none.points.empty());
    FakeScreen mixed(6, 1, rgb(100, 120, 60));
    const ScanGrid row{0, 5, 0, 0, 1, 1};
    EXPECT_EQ(scan(mixed, row, {30, 50, 10, true, false}), (ScanResult{100, 150, 60, 93}));  // not grey within 10
    EXPECT_EQ(scan(mixed, row, {30, 50, 33, true, false}), (ScanResult{100, 120, 60, 93}));  // grey within 33 (|60 - 93|)
    EXPECT_EQ(scan(mixed, row, {-127, 50, 10, true, false}), (ScanResult{100, -7, 60, 93})); // a negative boost
    // Red wins over blue and green only when above both; blue over green only when above red too.
    const std::array<i16, 4> dominant[] = {{100, 50, 99, 1}, {100, 100, 50, 2}, {50, 100, 100, 2}, {100, 100, 100, 2},
                                           {100, 50, 100, 3}, {0, 0, 0, 2}, {-1, 0, 0, 2}, {10, 20, 30, 3}, {30, 20, 10, 1}};
    for (const auto& c : dominant)
        EXPECT_EQ(maxcolor(c[0], c[1], c[2]), c[3]) << c[0] << "," << c[1] << "," << c[2];
}

TEST(SamplingScanLimits, GridsAreCheckedAtTheExactEdgesOfSixteenAndThirtyTwoBits)
{
    const struct { ScanGrid grid; i16 delta; ScanFault fault; long long value; } cases[] = {
        {{0, 32766, 0, 0, 1, 1}, 0, ScanFault::None, 0},
        {{32760, 32767, 0, 0, 25, 1}, 0, ScanFault::ColumnStep, 32785}, // the step after the last column
        {{0, 0, -32760, -32767, 1, -25}, 0, ScanFault::RowStep, -32785},
        // A marker beside the point, and the edge a walk passes.
        {{32766, 32766, 0, 0, 1, 1}, 0, ScanFault::None, 0},          {{32767, 32767, 0, 0, -1, 1}, 0, ScanFault::MarkerX, 32767},
        {{-32767, -32767, 0, 0, 1, 1}, 0, ScanFault::None, 0},        {{-32768, -32768, 0, 0, 1, 1}, 0, ScanFault::MarkerX, -32768},
        {{0, 0, 32766, 32766, 1, -1}, 0, ScanFault::None, 0},         {{0, 0, 32767, 32767, 1, -1}, 0, ScanFault::MarkerY, 32767},
        {{0, 0, -32767, -32767, 1, 1}, 0, ScanFault::None, 0},        {{0, 0, -32768, -32768, 1, 1}, 0, ScanFault::MarkerY, -32768},
        {{-32768, -32760, 0, 0, 8, 1}, 0, ScanFault::MarkerX, -32768}, {{0, 0, -32768, -32760, 1, 8}, 0, ScanFault::MarkerY, -32768},
        {{32767, 32760, 0, 0, -7, 1}, 0, ScanFault::MarkerX, 32767},
        // With the largest boost every boosted channel is 32767: 65538 samples fit 32 bits, 65539 do not.
        {{-16384, 16384, 0, 1, 1, 1}, kMaxDelta, ScanFault::None, 0}, {{-16384, 16384, 0, 2, 1, 1}, kMaxDelta, ScanFault::Sums, 98307},
        // A zero step visits nothing, nor does an empty rectangle.
        {{0, 4, 0, 4, 0, 1}, 0, ScanFault::None, 0},                  {{0, 4, 4, 0, 1, 1}, 0, ScanFault::None, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.grid.x1 << ".." << c.grid.x2 << " x " << c.grid.y1 << ".." << c.grid.y2);
        const ScanCheck check = checkScan(c.grid, c.delta, -1); // Min-1 below 0: every point is lit
        EXPECT_EQ(std::tuple(check.fault, check.value), std::tuple(c.fault, c.value));
    }
    EXPECT_EQ(std::tuple(maxSamples(kMaxDelta, -1), maxSamples(0, -1), maxSamples(kMinDelta, -1), maxSamples(-300, -1)), std::tuple(65538, 8421504, 8421504, 7158278));
    // Only a channel above Min-1 is boosted, to at least Min-1 + 1 + Delta; above 254 none is.
    EXPECT_EQ(std::tuple(maxSamples(-300, 50), maxSamples(-400, 0), maxSamples(32767, 255)), std::tuple(8421504, 5382164, 8421504));
}

TEST(SamplingScanArea, OverflowsAreErrorsNotWraps)
{
    FakeScreen screen(10, 10, rgb(255, 0, 0));
    EXPECT_THROW(scan(screen, {32760, 32767, 0, 0, 25, 1}, kSimple), OverflowError);
    EXPECT_THROW(scan(screen, {0, 0, -32760, -32767, 1, -25}, kSimple), OverflowError);
    EXPECT_THROW(scan(screen, {0, 5, 0, 0, 1, 1}, {32513, 50, 100, true, false}), OverflowError); // the boost
    EXPECT_NO_THROW(scan(screen, {0, 5, 0, 0, 1, 1}, {32512, 50, 100, true, false}));
    RecordingMarkers markers;
    EXPECT_THROW(scan(screen, {-32768, -32768, 0, 0, 1, 1}, {0, -2, 100, true, true}, &markers), OverflowError);
    FakeScreen white(1, 1);
    white.bounded = false;
    const ScanSettings boostAll{kMaxDelta, 50, -1, true, false};
    EXPECT_EQ(scan(white, {-16384, 16384, 0, 1, 1, 1}, boostAll).ScanG, 32767);
    EXPECT_THROW(scan(white, {-16384, 16384, 0, 2, 1, 1}, boostAll), OverflowError);
}

// Grids that cannot overflow are scanned by a walk without per-point checks; a scan that draws
// markers takes the checked walk. Both must give the same results on any content and snapshot.
TEST(SamplingScanArea, UncheckedWalkMatchesTheCheckedWalk)
{
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    // Channels at and around every threshold (lit above 10, Min1, grey tolerances), some failed reads.
    const int levels[] = {0, 1, 9, 10, 11, 29, 30, 31, 49, 50, 51, 99, 100, 101, 128, 254, 255};
    FakeScreen screen(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            screen.set(x, y, next() % 17 == 0 ? kFailedPixel : rgb(levels[next() % 17], levels[next() % 17], levels[next() % 17]));
    const ScanGrid grids[] = {{0, 159, 0, 119, 1, 1}, {5, 150, 3, 110, 7, 3}, {-20, 180, -10, 130, 3, 5}, {10, 10, 10, 10, 1, 1}, {0, 159, 0, 119, 200, 1}};
    const ScanSettings settings[] = {{30, 50, 100, true, true}, {30, 50, 100, false, true}, {-127, -5, 0, true, true}, {500, 200, 20, true, true}, {0, 0, 30, true, true}};
    for (const auto& grid : grids)
        for (const auto& set : settings) {
            SCOPED_TRACE(testing::Message() << grid.x1 << ".." << grid.x2 << " step " << grid.xStep << ", delta " << set.Delta << ", processing " << set.processing);
            // Captured wider than the grid, starting five points to its left.
            const Snapshot snapshot = captured(screen, {static_cast<i16>(grid.x1 - 5), grid.x2, grid.y1, grid.y2, 1, grid.yStep});
            RecordingMarkers markers;
            EXPECT_EQ(ScanArea(grid, snapshot, set, nullptr), ScanArea(grid, snapshot, set, &markers));
        }
}

} // namespace
} // namespace lumora::test
