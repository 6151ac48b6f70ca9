// The image requests a capture plans, without a server: shared lines, runs, gaps, clipping, the origin.
#include "platform/x11/x11_capture_plan.hpp"
#include "platform_test.hpp"

namespace lumora::x11 {
namespace {

const Colour kWhite = rgb(255, 255, 255);

TEST(X11CapturePlan, SharesLinesAcrossSnapshotsMergesRunsClipsToTheAreaAndAddsTheOrigin)
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
    Snapshot beside = test::snapshot(600, 620, {21, 40}); // shares two lines with `inside`
    Snapshot* const snapshots[] = {&inside, &clipped, &offToTheRight, &longRun, &beside};

    const CapturePlan plan = planCapture(snapshots, area);
    const std::vector<ImageRequest> requests = {
        // x, y, width, rows
        {100, 60, 640, 2}, {120, 62, 11, 3}, {120, 70, 11, 1}, {120, 71, 601, 1},
        {120, 90, 601, 1}, {100, 150, 1, 256}, {100, 406, 1, 44}, {100, 529, 640, 1},
    };
    std::vector<RowPiece> pieces = {
        // request, line, offset; snapshot, row index, column, count
        {0, 0, 0, 1, 2, 5, 640}, {0, 1, 0, 1, 3, 5, 640}, {1, 0, 0, 0, 0, 0, 11}, {1, 1, 0, 0, 1, 0, 11},
        {1, 2, 0, 0, 2, 0, 11},  {2, 0, 0, 0, 3, 0, 11},  {3, 0, 0, 0, 4, 0, 11},  {3, 0, 580, 4, 0, 0, 21},
        {4, 0, 0, 0, 5, 0, 11},  {4, 0, 580, 4, 1, 0, 21},
    };
    for (std::size_t i = 0; i < tall.size(); ++i)
        pieces.push_back({5 + i / 256, i % 256, 0, 3, i, 0, 1});
    pieces.push_back({7, 0, 0, 1, 4, 5, 640});
    const std::vector<UnreadSpan> unread = {
        {1, 0, 0, 706}, {1, 1, 0, 706}, {1, 2, 0, 5},   {1, 2, 645, 61}, {1, 3, 0, 5},
        {1, 3, 645, 61}, {1, 4, 0, 5},  {1, 4, 645, 61}, {1, 5, 0, 706},  {2, 0, 0, 61},
    };
    EXPECT_EQ(plan.requests, requests);
    EXPECT_EQ(plan.pieces, pieces);
    EXPECT_EQ(plan.unread, unread);

    // What no request reads is failed, also where an earlier capture wrote a colour.
    for (Snapshot* s : snapshots)
        for (std::size_t i = 0; i < s->rows().size(); ++i)
            std::ranges::fill(s->row(i), kWhite);
    failUnread(snapshots, plan);
    test::expectPixels(clipped, [](int x, int y) { return x >= 0 && x < 640 && y >= 10 && y < 480 ? kWhite : kFailedPixel; });
    test::expectPixels(offToTheRight, [](int, int) { return kFailedPixel; });
    test::expectPixels(inside, [](int, int) { return kWhite; });
}

} // namespace
} // namespace lumora::x11
