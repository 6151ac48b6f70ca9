// The image requests a capture plans, without a server: runs of rows, gaps, clipping, the origin.
#include "platform/x11_capture_plan.hpp"
#include "platform_test.hpp"

#include <gtest/gtest.h>

namespace lumora::x11 {
namespace {

const Colour kWhite = rgb(255, 255, 255);

TEST(X11CapturePlan, MergesRunsOfRowsClipsToTheAreaAndAddsTheOrigin)
{
    // A monitor at (100, 50) of which the root window covers x 0..639, y 10..479.
    const CaptureArea area{100, 50, 0, 10, 640, 480};
    Snapshot inside = test::snapshot(20, 30, {12, 13, 14, 20, 21, 40});
    Snapshot clipped = test::snapshot(-5, 700, {8, 9, 10, 11, 479, 480});
    Snapshot offToTheRight = test::snapshot(640, 700, {100});
    std::vector<int> tall(300);
    for (std::size_t i = 0; i < tall.size(); ++i)
        tall[i] = 100 + static_cast<int>(i);
    Snapshot longRun = test::snapshot(0, 0, tall);
    Snapshot* const snapshots[] = {&inside, &clipped, &offToTheRight, &longRun};

    const std::vector<RowRequest> expected = {
        // snapshot, first row index, rows, column, count, x, y
        {0, 0, 3, 0, 11, 120, 62},
        {0, 3, 2, 0, 11, 120, 70},
        {0, 5, 1, 0, 11, 120, 90},
        {1, 2, 2, 5, 640, 100, 60},
        {1, 4, 1, 5, 640, 100, 529},
        {3, 0, 256, 0, 1, 100, 150},
        {3, 256, 44, 0, 1, 100, 406},
    };
    const std::vector<RowRequest> plan = planRows(snapshots, area);
    EXPECT_EQ(plan, expected);

    // What no request reads is failed, also where an earlier capture wrote a colour.
    for (Snapshot* s : snapshots)
        for (std::size_t i = 0; i < s->rows().size(); ++i)
            std::ranges::fill(s->row(i), kWhite);
    failUnplanned(snapshots, plan);
    test::expectPixels(clipped, [](int x, int y) { return x >= 0 && x < 640 && y >= 10 && y < 480 ? kWhite : kFailedPixel; });
    test::expectPixels(offToTheRight, [](int, int) { return kFailedPixel; });
    test::expectPixels(inside, [](int, int) { return kWhite; });
}

} // namespace
} // namespace lumora::x11
