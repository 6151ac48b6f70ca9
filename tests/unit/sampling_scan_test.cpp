// The area scan over a snapshot: grid walk, both analysis styles, markers, and the small helpers.
#include <array>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sampling/scan.hpp"
#include "sampling_fake_screen.hpp"

namespace lumora {
namespace {

using test::FakeScreen;

constexpr ScanSettings kProcessing{30, 50, 100, true, false};
constexpr ScanSettings kSimple{30, 50, 100, false, false};

class RecordingMarkers : public MarkerSink {
public:
    void drawPoint(int x, int y) override { points.emplace_back(x, y); }
    std::vector<std::pair<int, int>> points;
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
std::vector<std::pair<int, int>> visited(const ScanGrid& grid)
{
    FakeScreen screen(0, 0);
    // Off the fake screen every point is failed; a Min1 below -1 lets failed points pass.
    const ScanSettings settings{0, -2, 100, true, true};
    RecordingMarkers markers;
    scan(screen, grid, settings, &markers);
    std::vector<std::pair<int, int>> points;
    for (std::size_t i = 0; i < markers.points.size(); i += 4)
        points.emplace_back(markers.points[i].first - 1, markers.points[i].second - 1);
    return points;
}

struct AreaCase {
    const char* name;
    Colour colour;
    bool offScreen;
    ScanResult processing;
    ScanResult simple;
};

TEST(SamplingScanArea, UniformAreasInBothStyles)
{
    const AreaCase cases[] = {
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

TEST(SamplingScanArea, DefaultGridOfTheLeftZoneVisits357Points)
{
    const ScanGrid grid{5, 427, 5, 1019, 25, 50};
    const auto points = visited(grid);
    ASSERT_EQ(points.size(), 357u);
    std::set<int> xs, ys;
    for (const auto& [x, y] : points) {
        xs.insert(x);
        ys.insert(y);
    }
    EXPECT_EQ(xs.size(), 17u);
    EXPECT_EQ(*xs.begin(), 5);
    EXPECT_EQ(*xs.rbegin(), 405);
    EXPECT_EQ(ys.size(), 21u);
    EXPECT_EQ(*ys.begin(), 5);
    EXPECT_EQ(*ys.rbegin(), 1005);
    // Rows top to bottom, columns left to right within a row.
    EXPECT_EQ(points[0], std::make_pair(5, 5));
    EXPECT_EQ(points[1], std::make_pair(30, 5));
    EXPECT_EQ(points[17], std::make_pair(5, 55));

    Snapshot snapshot;
    layoutSnapshot(grid, snapshot);
    EXPECT_EQ(snapshot.rows().size(), 21u);
    EXPECT_EQ(snapshot.xFrom(), 5);
    EXPECT_EQ(snapshot.xTo(), 405);
}

TEST(SamplingScanArea, StepSignsAndEmptyRectangles)
{
    using Points = std::vector<std::pair<int, int>>;
    // Ends are visited when a step lands on them.
    EXPECT_EQ(visited({0, 4, 0, 0, 2, 1}), (Points{{0, 0}, {2, 0}, {4, 0}}));
    // A negative step walks backwards from x1 down to x2.
    EXPECT_EQ(visited({4, 0, 1, 0, -2, -1}), (Points{{4, 1}, {2, 1}, {0, 1}, {4, 0}, {2, 0}, {0, 0}}));
    // A negative step on an ordinary rectangle, or a positive step on a reversed one, visits nothing.
    EXPECT_TRUE(visited({0, 4, 0, 4, -1, 1}).empty());
    EXPECT_TRUE(visited({0, 4, 0, 4, 1, -1}).empty());
    EXPECT_TRUE(visited({5, 0, 5, -5, 25, 50}).empty());
    // A zero step ends at once instead of never.
    EXPECT_TRUE(visited({0, 4, 0, 4, 0, 1}).empty());
    EXPECT_TRUE(visited({0, 4, 0, 4, 1, 0}).empty());

    Snapshot snapshot;
    layoutSnapshot({4, 0, 1, 0, -2, -1}, snapshot);
    EXPECT_EQ(snapshot.rows(), (std::vector<int>{1, 0}));
    EXPECT_EQ(snapshot.xFrom(), 0);
    EXPECT_EQ(snapshot.xTo(), 4);
}

TEST(SamplingScanArea, FiveSamplesGiveZeroMeansSixGiveTheRealOnes)
{
    FakeScreen screen(100, 10, rgb(200, 100, 50));
    EXPECT_EQ(scan(screen, {0, 4, 0, 0, 1, 1}, kSimple), (ScanResult{0, 0, 0, 116}));
    EXPECT_EQ(scan(screen, {0, 5, 0, 0, 1, 1}, kSimple), (ScanResult{200, 100, 50, 116}));
    EXPECT_EQ(scan(screen, {0, 4, 0, 0, 1, 1}, kProcessing), (ScanResult{0, 0, 0, 116}));
    EXPECT_EQ(scan(screen, {0, 5, 0, 0, 1, 1}, kProcessing), (ScanResult{200, 100, 50, 116}));
}

TEST(SamplingScanArea, BrightnessMeanRoundsHalfToEven)
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
}

TEST(SamplingScanArea, MeansRoundHalfToEvenAndMixPoints)
{
    // Simple style: eight reds of 255 and eight failed reads (-1) give 2032 / 16 = 127.
    FakeScreen screen(4, 2, rgb(255, 3, 0));
    const ScanGrid grid{0, 7, 0, 1, 1, 1};
    EXPECT_EQ(scan(screen, grid, kSimple), (ScanResult{127, 2, 0, 86})); // green 24 / 16 = 1.5 -> 2
}

TEST(SamplingScanArea, MarkersOnlyBesidePointsPassingMin1InTheProcessingStyle)
{
    FakeScreen screen(40, 20, rgb(30, 30, 30));
    screen.set(10, 10, rgb(100, 0, 0));
    const ScanGrid grid{0, 30, 10, 10, 10, 1};
    ScanSettings settings = kProcessing;
    settings.markers = true;

    RecordingMarkers markers;
    scan(screen, grid, settings, &markers);
    EXPECT_EQ(markers.points, (std::vector<std::pair<int, int>>{{11, 11}, {9, 11}, {11, 9}, {9, 9}}));

    RecordingMarkers none;
    scan(screen, grid, kProcessing, &none); // markers unchecked
    settings.processing = false;
    scan(screen, grid, settings, &none); // simple style
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
    const ScanSettings marking{0, -2, 100, true, true};
    EXPECT_THROW(scan(screen, {-32768, -32768, 0, 0, 1, 1}, marking, &markers), OverflowError);
}

TEST(SamplingLayoutSnapshot, ReusesItsStorageWhileTheGridStaysTheSame)
{
    FakeScreen screen(100, 100, rgb(1, 2, 3));
    const ScanGrid grid{5, 95, 5, 95, 10, 10};
    Snapshot snapshot;
    layoutSnapshot(grid, snapshot);
    Snapshot* requests[] = {&snapshot};
    screen.capture(requests);
    const Colour* storage = snapshot.row(0).data();
    EXPECT_EQ(snapshot.pixel(5, 0), rgb(1, 2, 3));

    layoutSnapshot(grid, snapshot);
    EXPECT_EQ(snapshot.row(0).data(), storage);
    screen.fill(rgb(4, 5, 6));
    screen.capture(requests);
    EXPECT_EQ(snapshot.pixel(5, 0), rgb(4, 5, 6));

    layoutSnapshot({5, 95, 5, 95, 10, 20}, snapshot);
    EXPECT_EQ(snapshot.rows().size(), 5u);
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
    const std::array<std::array<i16, 4>, 9> cases{{
        {100, 50, 99, 1},
        {100, 100, 50, 2},
        {50, 100, 100, 2},
        {100, 100, 100, 2},
        {100, 50, 100, 3},
        {0, 0, 0, 2},
        {-1, 0, 0, 2},
        {10, 20, 30, 3},
        {30, 20, 10, 1},
    }};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]));
        EXPECT_EQ(maxcolor(c[0], c[1], c[2]), c[3]);
    }
}

TEST(SamplingMaxof3, LargestAsSignedValues)
{
    EXPECT_EQ(maxof3(1, 2, 3), 3);
    EXPECT_EQ(maxof3(3, 2, 1), 3);
    EXPECT_EQ(maxof3(-5, -1, -3), -1);
    EXPECT_EQ(maxof3(-32768, 32767, 0), 32767);
    EXPECT_EQ(maxof3(7, 7, 7), 7);
}

} // namespace
} // namespace lumora
