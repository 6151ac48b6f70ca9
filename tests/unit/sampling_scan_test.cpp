// The zone rectangles, and the area scan over a snapshot: grid walk, both analysis styles, markers.
#include <set>

#include "core_fakes.hpp"
#include "sampling/scan.hpp"
#include "sampling/zones.hpp"

namespace lumora::test {
namespace {

using Points = std::vector<std::pair<int, int>>;

TEST(SamplingZones, ComputedFromTheResolutionTexts)
{
    const struct {
        std::string width, height;
        int zone[3][4]; // x1, x2, y1, y2 of zones 0, 1, 2
    } cases[] = {
        {"1280", "1024", {{5, 427, 5, 1019}, {5, 1275, 5, 341}, {853, 1275, 5, 1019}}},
        {"1920", "1080", {{5, 640, 5, 1075}, {5, 1915, 5, 360}, {1280, 1915, 5, 1075}}},
        {"1366", "768", {{5, 455, 5, 763}, {5, 1361, 5, 256}, {911, 1361, 5, 763}}},
        {"1280.6", "1024", {{5, 427, 5, 1019}, {5, 1276, 5, 341}, {854, 1276, 5, 1019}}},
        // A box without a leading number reads as 0 and leaves empty rectangles.
        {"", "abc", {{5, 0, 5, -5}, {5, -5, 5, 0}, {0, -5, 5, -5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width + " x " + c.height);
        const ZoneRects z = computeZones(readNumber(c.width), readNumber(c.height));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ((std::array<int, 4>{z.x1[i], z.x2[i], z.y1[i], z.y2[i]}),
                      (std::array<int, 4>{c.zone[i][0], c.zone[i][1], c.zone[i][2], c.zone[i][3]}))
                << "zone " << i;
    }
    // Half and sixth are rounded apart: here W / 2 - W / 6 is exactly 2.5 while W / 3 is just above.
    EXPECT_EQ(computeZones(readNumber("7.500000000000001"), 0).x2[0], 2);
    EXPECT_EQ(computeZones(1281.75, 0).x1[2], 854); // W / 2 + W / 6 = 854.5
}

TEST(SamplingZones, ResultsOutsideSixteenBitsOverflow)
{
    EXPECT_NO_THROW(computeZones(32772, 32772));
    EXPECT_THROW(computeZones(32772.5, 1024), OverflowError); // W - 5 = 32767.5 rounds to 32768
    EXPECT_THROW(computeZones(1280, 32773), OverflowError);
    EXPECT_THROW(computeZones(-32764, 1024), OverflowError);
    EXPECT_NO_THROW(computeZones(-32763, -32763));
    EXPECT_THROW(computeZones(readNumber("1e400"), 1024), OverflowError);
}

constexpr ScanSettings kProcessing{30, 50, 100, true, false};
constexpr ScanSettings kSimple{30, 50, 100, false, false};

class RecordingMarkers : public MarkerSink {
public:
    void drawPoint(int x, int y) override { points.emplace_back(x, y); }
    Points points;
};

ScanResult scan(Screen& screen, const ScanGrid& grid, const ScanSettings& settings, MarkerSink* markers = nullptr)
{
    Snapshot snapshot;
    layoutSnapshot(grid, snapshot);
    Snapshot* requests[] = {&snapshot};
    screen.capture(requests);
    return ScanArea(grid, snapshot, settings, markers);
}

// The points a scan visits, in order, seen through the first marker it draws beside each.
Points visited(const ScanGrid& grid)
{
    FakeScreen screen(0, 0);
    // Off the fake screen every point is failed; a Min1 below -1 lets failed points pass.
    RecordingMarkers markers;
    scan(screen, grid, {0, -2, 100, true, true}, &markers);
    Points points;
    for (std::size_t i = 0; i < markers.points.size(); i += 4)
        points.emplace_back(markers.points[i].first - 1, markers.points[i].second - 1);
    return points;
}

TEST(SamplingScanArea, UniformAreasInBothStyles)
{
    const struct {
        const char* name;
        Colour colour;
        bool offScreen;
        ScanResult processing, simple;
    } cases[] = {
        {"white", rgb(255, 255, 255), false, {255, 255, 255, 255}, {255, 255, 255, 255}},
        {"red", rgb(255, 0, 0), false, {285, 0, 0, 85}, {255, 0, 0, 85}},
        {"green", rgb(0, 255, 0), false, {0, 285, 0, 85}, {0, 255, 0, 85}},
        {"orange", rgb(255, 128, 0), false, {285, 128, 0, 127}, {255, 128, 0, 127}},
        {"grey by the tolerance", rgb(200, 100, 50), false, {200, 100, 50, 116}, {200, 100, 50, 116}},
        {"lit below Min1", rgb(30, 40, 20), false, {0, 0, 0, 30}, {30, 40, 20, 30}},
        {"not lit", rgb(10, 10, 10), false, {0, 0, 0, 0}, {10, 10, 10, 0}},
        {"off the screen", 0, true, {0, 0, 0, 0}, {-1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScreen screen(100, 100, c.colour);
        // 6 x 6 points on the screen, or the same grid beyond its right edge.
        const i16 x0 = c.offScreen ? 200 : 5;
        const ScanGrid grid{x0, static_cast<i16>(x0 + 50), 5, 55, 10, 10};
        EXPECT_EQ(scan(screen, grid, kProcessing), c.processing);
        EXPECT_EQ(scan(screen, grid, kSimple), c.simple);
    }
}

TEST(SamplingScanArea, DefaultGridOfTheLeftZoneVisits357PointsRowByRow)
{
    const auto points = visited({5, 427, 5, 1019, 25, 50});
    ASSERT_EQ(points.size(), 357u);
    std::set<std::pair<int, int>> distinct(points.begin(), points.end());
    EXPECT_EQ(distinct.size(), 357u);
    EXPECT_EQ(points[0], std::make_pair(5, 5));
    EXPECT_EQ(points[1], std::make_pair(30, 5));
    EXPECT_EQ(points[16], std::make_pair(405, 5));
    EXPECT_EQ(points[17], std::make_pair(5, 55));
    EXPECT_EQ(points.back(), std::make_pair(405, 1005));
}

TEST(SamplingScanArea, StepSignsAndEmptyRectangles)
{
    // Ends are visited when a step lands on them.
    EXPECT_EQ(visited({0, 4, 0, 0, 2, 1}), (Points{{0, 0}, {2, 0}, {4, 0}}));
    // A negative step walks backwards from x1 down to x2.
    EXPECT_EQ(visited({4, 0, 1, 0, -2, -1}), (Points{{4, 1}, {2, 1}, {0, 1}, {4, 0}, {2, 0}, {0, 0}}));
    // A step against the rectangle's direction visits nothing; a zero step ends at once.
    for (const ScanGrid grid : {ScanGrid{0, 4, 0, 4, -1, 1}, ScanGrid{0, 4, 0, 4, 1, -1}, ScanGrid{5, 0, 5, -5, 25, 50},
                                ScanGrid{0, 4, 0, 4, 0, 1}, ScanGrid{0, 4, 0, 4, 1, 0}})
        EXPECT_TRUE(visited(grid).empty()) << grid.x1 << ".." << grid.x2 << " step " << grid.xStep << ", " << grid.yStep;
}

TEST(SamplingScanArea, FiveSamplesGiveZeroMeansSixGiveTheRealOnes)
{
    FakeScreen screen(100, 10, rgb(200, 100, 50));
    for (const ScanSettings& style : {kSimple, kProcessing}) {
        EXPECT_EQ(scan(screen, {0, 4, 0, 0, 1, 1}, style), (ScanResult{0, 0, 0, 116}));
        EXPECT_EQ(scan(screen, {0, 5, 0, 0, 1, 1}, style), (ScanResult{200, 100, 50, 116}));
    }
}

TEST(SamplingScanArea, MeansRoundHalfToEven)
{
    FakeScreen screen(3, 1);
    screen.set(0, 0, rgb(11, 0, 0)); // brightness 3, the least a lit point can have
    screen.set(1, 0, rgb(18, 0, 0)); // 6
    screen.set(2, 0, rgb(10, 10, 10)); // not lit
    EXPECT_EQ(scan(screen, {0, 2, 0, 0, 1, 1}, kSimple).ScanBright, 4); // 9 / 2 = 4.5
    screen.set(1, 0, rgb(12, 0, 0)); // 4
    EXPECT_EQ(scan(screen, {0, 2, 0, 0, 1, 1}, kSimple).ScanBright, 4); // 7 / 2 = 3.5
    screen.set(1, 0, rgb(15, 0, 0)); // 5
    EXPECT_EQ(scan(screen, {0, 2, 0, 0, 1, 1}, kProcessing).ScanBright, 4);

    // Simple style: eight reds of 255 and eight failed reads (-1) give 2032 / 16 = 127; green 1.5 -> 2.
    FakeScreen half(4, 2, rgb(255, 3, 0));
    EXPECT_EQ(scan(half, {0, 7, 0, 1, 1, 1}, kSimple), (ScanResult{127, 2, 0, 86}));
}

TEST(SamplingScanArea, MarkersOnlyBesidePointsPassingMin1InTheProcessingStyle)
{
    FakeScreen screen(40, 20, rgb(30, 30, 30));
    screen.set(10, 10, rgb(100, 0, 0));
    screen.set(30, 10, rgb(0, 0, 100));
    const ScanGrid grid{0, 30, 10, 10, 10, 1};
    RecordingMarkers markers;
    scan(screen, grid, {30, 50, 100, true, true}, &markers);
    EXPECT_EQ(markers.points, (Points{{11, 11}, {9, 11}, {11, 9}, {9, 9}, {31, 11}, {29, 11}, {31, 9}, {29, 9}}));

    RecordingMarkers none;
    scan(screen, grid, kProcessing, &none); // markers unchecked
    scan(screen, grid, {30, 50, 100, false, true}, &none); // simple style
    EXPECT_TRUE(none.points.empty());
}

TEST(SamplingScanArea, BoostGoesToTheDominantChannelOfColouredPointsOnly)
{
    FakeScreen screen(6, 1, rgb(100, 120, 60));
    const ScanGrid grid{0, 5, 0, 0, 1, 1};
    // Not grey with a tolerance of 10: green is boosted.
    EXPECT_EQ(scan(screen, grid, {30, 50, 10, true, false}), (ScanResult{100, 150, 60, 93}));
    // Grey with a tolerance of 33 (|60 - 93| = 33): nothing is boosted.
    EXPECT_EQ(scan(screen, grid, {30, 50, 33, true, false}), (ScanResult{100, 120, 60, 93}));
    // A negative boost lowers the dominant channel.
    EXPECT_EQ(scan(screen, grid, {-127, 50, 10, true, false}), (ScanResult{100, -7, 60, 93}));
}

TEST(SamplingScanArea, OverflowsAreErrorsNotWraps)
{
    FakeScreen screen(10, 10, rgb(255, 0, 0));
    // The step after the last column leaves 16 bits.
    EXPECT_THROW(scan(screen, {32760, 32767, 0, 0, 25, 1}, kSimple), OverflowError);
    EXPECT_THROW(scan(screen, {0, 0, -32760, -32767, 1, -25}, kSimple), OverflowError);
    // The boost leaves 16 bits.
    EXPECT_THROW(scan(screen, {0, 5, 0, 0, 1, 1}, {32513, 50, 100, true, false}), OverflowError);
    EXPECT_NO_THROW(scan(screen, {0, 5, 0, 0, 1, 1}, {32512, 50, 100, true, false}));
    // A marker beside x = -32768.
    RecordingMarkers markers;
    EXPECT_THROW(scan(screen, {-32768, -32768, 0, 0, 1, 1}, {0, -2, 100, true, true}, &markers), OverflowError);
}

// Grids that cannot overflow are scanned by a walk without per-point checks; a scan that draws
// markers takes the checked walk. Both must give the same results on any content.
TEST(SamplingScanArea, UncheckedWalkMatchesTheCheckedWalk)
{
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    FakeScreen screen(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            const std::uint32_t v = next();
            // Mostly real colours with channels around the thresholds, some failed reads.
            screen.set(x, y, v % 17 == 0 ? kFailedPixel : rgb(static_cast<int>(v >> 8 & 255), static_cast<int>(v >> 16 & 255), static_cast<int>(v >> 24 & 255)));
        }
    const std::vector<ScanGrid> grids = {
        {0, 159, 0, 119, 1, 1}, {5, 150, 3, 110, 7, 3}, {-20, 180, -10, 130, 3, 5}, {10, 10, 10, 10, 1, 1}, {0, 159, 0, 119, 200, 1},
    };
    const std::vector<ScanSettings> settings = {
        {30, 50, 100, true, true}, {30, 50, 100, false, true}, {-127, -5, 0, true, true}, {500, 200, 20, true, true}, {0, 0, 300, true, true},
    };
    for (const auto& grid : grids)
        for (const auto& set : settings) {
            SCOPED_TRACE(::testing::Message() << grid.x1 << ".." << grid.x2 << " step " << grid.xStep << ", delta " << set.Delta
                                              << ", processing " << set.processing);
            Snapshot snapshot;
            layoutSnapshot(grid, snapshot);
            Snapshot* requests[] = {&snapshot};
            screen.capture(requests);
            RecordingMarkers markers;
            const ScanResult checked = ScanArea(grid, snapshot, set, &markers);
            const ScanResult fast = ScanArea(grid, snapshot, set, nullptr);
            EXPECT_EQ(fast.ScanR, checked.ScanR);
            EXPECT_EQ(fast.ScanG, checked.ScanG);
            EXPECT_EQ(fast.ScanB, checked.ScanB);
            EXPECT_EQ(fast.ScanBright, checked.ScanBright);
        }
}

TEST(SamplingMaxcolor, NamesTheDominantChannel)
{
    const std::array<i16, 4> cases[] = {
        {100, 50, 99, 1}, {100, 100, 50, 2}, {50, 100, 100, 2}, {100, 100, 100, 2}, {100, 50, 100, 3},
        {0, 0, 0, 2},     {-1, 0, 0, 2},     {10, 20, 30, 3},   {30, 20, 10, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(maxcolor(c[0], c[1], c[2]), c[3]) << c[0] << "," << c[1] << "," << c[2];
}

} // namespace
} // namespace lumora::test
