// The X11 capture's logic without a server: pixel layouts a TrueColor server may use turned into
// colour values (red lowest), the choice of the monitor whose edges carry the lamps, and the image
// requests a capture plans (shared lines, runs, gaps, clipping, the origin).
#include "platform/x11_capture_plan.hpp"
#include "platform/x11_monitors.hpp"
#include "platform/x11_pixel_format.hpp"
#include "platform_test.hpp"

#include <numeric>

namespace lumora::x11 {
namespace {

TEST(X11PixelFormat, ConvertsEachLayoutWithoutSwappingChannelsAndRefusesThoseItCannotRead)
{
    const struct {
        const char* name;
        PixelLayout layout;
        std::vector<std::uint8_t> pixels;
        std::vector<Colour> expected;
    } cases[] = {
        {"32 bits, least significant first, red high (the common case)", {32, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12, 0xAA},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, most significant first, red high", {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0xFF, 0x00, 0x00, 0xAA, 0x12, 0x34, 0x56}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, red low", {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
         {0xFF, 0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0x00}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"24 bits, least significant first", {24, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x56, 0x34, 0x12}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"24 bits, most significant first", {24, true, 0xFF0000, 0x00FF00, 0x0000FF},
         {0xFF, 0x00, 0x00, 0x12, 0x34, 0x56}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"16 bits 5-6-5: the largest value of a narrow channel reads as 255", {16, false, 0xF800, 0x07E0, 0x001F},
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x10, 0x84},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 255), rgb(132, 130, 132)}},
        {"32 bits with 10-bit channels (depth 30)", {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
         {0x00, 0x00, 0xF0, 0x3F, 0xFF, 0x03, 0x00, 0x00}, {rgb(255, 0, 0), rgb(0, 0, 255)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto format = PixelFormat::make(c.layout);
        ASSERT_TRUE(format.has_value());
        ASSERT_EQ(c.pixels.size(), c.expected.size() * static_cast<std::size_t>(format->bytesPerPixel()));
        std::vector<Colour> out(c.expected.size(), kFailedPixel);
        format->convert(reinterpret_cast<const std::byte*>(c.pixels.data()), out);
        EXPECT_EQ(out, c.expected);
    }
    // 8 bits per pixel, an empty mask, overlapping masks, a mask with a gap, a mask wider than the pixel.
    for (const PixelLayout refused : {PixelLayout{8, false, 0xE0, 0x1C, 0x03}, {32, false, 0xFF0000, 0, 0xFF}, {32, false, 0xFF0000, 0xFFFF00, 0xFF},
                                      {32, false, 0xFF00FF, 0x00FF00, 0xFF000000}, {16, false, 0xFF0000, 0x00FF00, 0x0000FF}})
        EXPECT_FALSE(PixelFormat::make(refused).has_value()) << refused.bitsPerPixel << " " << refused.redMask << " " << refused.greenMask;
}

TEST(X11Monitors, ChoosesTheNamedThenThePrimaryThenTheOneAtTheOriginElseTheRoot)
{
    const Monitor left{"DP-1", false, 0, 0, 1920, 1080}, right{"HDMI-1", false, 1920, 0, 1920, 1080},
        primaryRight{"HDMI-1", true, 1920, 0, 2560, 1440};
    const struct {
        std::vector<Monitor> monitors;
        std::string requested;
        std::optional<Monitor> chosen;
        std::string note;
    } cases[] = {
        {{left, primaryRight}, "", primaryRight, ""},
        {{right, left}, "", left, ""},
        {{right}, "", std::nullopt, ""},
        {{}, "", std::nullopt, ""},
        {{primaryRight, left}, "DP-1", left, ""},
        {{primaryRight, left}, "DP-2", primaryRight, "monitor 'DP-2' is gone; reading the primary monitor 'HDMI-1' instead"},
        {{right, left}, "DP-2", left, "monitor 'DP-2' is gone; reading monitor 'DP-1' at the origin instead"},
        {{}, "DP-2", std::nullopt, "monitor 'DP-2' is gone; reading the whole screen instead"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describeMonitors(c.monitors) + " / '" + c.requested + "'");
        const MonitorChoice choice = chooseMonitor(c.monitors, c.requested);
        EXPECT_EQ(choice.monitor, c.chosen);
        EXPECT_EQ(choice.note.en, c.note);
    }
    EXPECT_EQ(describeMonitors({left, primaryRight}), "DP-1 (1920x1080+0+0), HDMI-1 (primary, 2560x1440+1920+0)");
}

const Colour kWhite = rgb(255, 255, 255);

TEST(X11CapturePlan, SharesLinesAcrossSnapshotsMergesRunsClipsToTheAreaAndAddsTheOrigin)
{
    // A monitor at (100, 50) of which the root window covers x 0..639, y 10..479.
    const CaptureArea area{100, 50, 0, 10, 640, 480};
    Snapshot inside = test::snapshot(20, 30, {12, 13, 14, 20, 21, 40});
    Snapshot clipped = test::snapshot(-5, 700, {8, 9, 10, 11, 479, 480});
    Snapshot offToTheRight = test::snapshot(640, 700, {100});
    std::vector<int> tall(300);
    std::iota(tall.begin(), tall.end(), 100);
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
