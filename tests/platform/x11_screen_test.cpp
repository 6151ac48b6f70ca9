// The X11 screen against real Xvfb servers: colours read back where they were painted, with and
// without shared memory, points off the screen, markers, renewals, several monitors, and servers
// that are missing or go away.
#include "platform/x11_screen.hpp"
#include "platform_test.hpp"
#include "support/xvfb.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::expectPixels;
using test::snapshot;
using test::Xvfb;

void captureOne(X11Screen& screen, Snapshot& s)
{
    Snapshot* const list[] = {&s};
    screen.capture(list);
}

const auto kAllFailed = [](int, int) { return kFailedPixel; };
const Colour kBlack = rgb(0, 0, 0), kWhite = rgb(255, 255, 255);

std::vector<std::string> screenArgs(int width, int height, int depth, bool sharedMemory = true)
{
    std::vector<std::string> a = {"-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth)};
    if (!sharedMemory) // nor RandR, where the root window is the screen
        a.insert(a.end(), {"-extension", "MIT-SHM", "-extension", "RANDR"});
    return a;
}

struct ServerCase {
    const char* name;
    int width, height, depth;
    bool sharedMemory; // whether the server offers MIT-SHM (and RandR)
};
void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }

class X11ScreenOnServer : public ::testing::TestWithParam<ServerCase> {
protected:
    const int w = GetParam().width, h = GetParam().height;
    Xvfb server{screenArgs(w, h, GetParam().depth, GetParam().sharedMemory)};
    test::RootPainter painter{server.display()};
    X11Screen screen{server.display()};
};

TEST_P(X11ScreenOnServer, ReadsPaintedColoursAndMarkersBackAtTheirPlacesAndFailsOffTheScreen)
{
    EXPECT_EQ(screen.problem().en, "");
    EXPECT_EQ(screen.size(), (ScreenSize{w, h}));
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);
    EXPECT_EQ(screen.sharedMemoryProblem(), GetParam().sharedMemory ? "" : "the X server does not offer the MIT-SHM extension");

    struct Patch {
        int x, y, w, h;
        Colour colour;
    };
    // Pure channels catch swapped ones; a mixed colour is exact only where channels have 8 bits.
    std::vector<Patch> patches = {{0, 0, 40, 10, rgb(255, 0, 0)},
                                  {100, 200, 30, 4, rgb(0, 255, 0)},
                                  {300, 50, 25, 3, rgb(0, 0, 255)},
                                  {w - 30, h - 5, 30, 5, kWhite}};
    if (GetParam().depth != 16)
        patches.push_back({410, 100, 12, 6, rgb(0x12, 0x34, 0x56)});
    painter.fill(0, 0, w, h, kBlack);
    for (const Patch& p : patches)
        painter.fill(p.x, p.y, p.w, p.h, p.colour);
    const auto expected = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return kFailedPixel;
        for (const Patch& p : patches)
            if (x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h)
                return p.colour;
        return kBlack;
    };

    // Each patch with a border of one pixel (off the screen at the corners), rows and spans partly
    // or wholly off the screen, then the whole screen (far larger buffers), then the small ones again.
    std::vector<Snapshot> all;
    for (const Patch& p : patches)
        all.push_back(snapshot(p.x - 1, p.x + p.w, {p.y - 1, p.y, p.y + p.h - 1, p.y + p.h}));
    all.push_back(snapshot(-10, w + 10, {-5, -1, h, h + 100}));
    all.push_back(snapshot(-60, -1, {0, 10}));
    all.push_back(snapshot(w, w + 50, {0, 10}));
    all.push_back(snapshot(w - 10, w + 10, {10}));
    std::vector<int> everyRow(static_cast<std::size_t>(h));
    std::iota(everyRow.begin(), everyRow.end(), 0);
    all.push_back(snapshot(0, w - 1, everyRow));
    std::vector<Snapshot*> pointers;
    for (Snapshot& s : all)
        pointers.push_back(&s);
    const std::span<Snapshot* const> small = std::span(pointers).first(all.size() - 1), whole = std::span(pointers).last(1);
    for (const std::span<Snapshot* const> call : {small, whole, small}) {
        screen.capture(call);
        for (const Snapshot* s : call)
            expectPixels(*s, expected);
    }
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);

    // Markers inside the green patch show black on the next capture, also after a renewal;
    // those off the screen are ignored.
    for (const auto& [x, y] : {std::pair{101, 200}, {110, 203}, {-1, 100}, {w, h}})
        screen.drawPoint(x, y);
    screen.renew();
    screen.capture(small.first(2));
    expectPixels(all[1], [&](int x, int y) { return (x == 101 && y == 200) || (x == 110 && y == 203) ? kBlack : expected(x, y); });
    expectPixels(all[0], expected);
    EXPECT_EQ(screen.problem().en, "");
}

const ServerCase kServers[] = {
    {"SharedMemoryDepth24", 1280, 1024, 24, true},
    {"PlainImagesNoRandrDepth24", 1280, 1024, 24, false},
    {"SharedMemoryDepth16", 640, 480, 16, true},
};
INSTANTIATE_TEST_SUITE_P(Servers, X11ScreenOnServer, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

std::size_t openDescriptors()
{
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// Mappings of the capture's shared-memory segments (other mappings come and go with the allocator).
std::size_t mappings()
{
    std::ifstream maps("/proc/self/maps");
    std::size_t n = 0;
    for (std::string line; std::getline(maps, line);)
        n += line.find("memfd:lumora-screen-capture") != std::string::npos;
    return n;
}

TEST(X11Screen, RenewingAThousandTimesHoldsNoMoreDescriptorsOrMappings)
{
    Xvfb server(screenArgs(640, 480, 24));
    test::RootPainter(server.display()).fill(0, 0, 640, 480, rgb(0, 0, 255));
    X11Screen screen(server.display());
    ASSERT_TRUE(screen.usesSharedMemory());
    Snapshot s = snapshot(0, 639, {0, 240, 479});
    captureOne(screen, s);
    screen.renew();
    captureOne(screen, s);
    const std::size_t descriptors = openDescriptors(), maps = mappings();
    EXPECT_GE(maps, 1u); // the segment itself

    for (int i = 0; i < 1000; ++i) {
        screen.renew();
        screen.drawPoint(i % 640, 0);
        captureOne(screen, s);
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(mappings(), maps);
    EXPECT_TRUE(screen.usesSharedMemory());
    EXPECT_EQ(s.pixel(320, 1), rgb(0, 0, 255));
    EXPECT_EQ(screen.problem().en, "");
}

TEST(X11Screen, FallsBackToPlainImagesWhenSharedMemoryCannotBeSetUp)
{
    Xvfb server(screenArgs(640, 480, 24));
    const Colour colour = rgb(0x11, 0x22, 0x33);
    test::RootPainter(server.display()).fill(0, 0, 640, 480, colour);

    x11::SystemCalls noMemfd;
    noMemfd.memfdCreate = [](const char*, unsigned int) { return errno = EMFILE, -1; };
    // The file keeps size 0, which the server refuses to attach (BadMatch).
    x11::SystemCalls emptyFile;
    emptyFile.truncate = [](int, off_t) { return 0; };

    const struct {
        x11::SystemCalls sys;
        std::string why;
    } cases[] = {{noMemfd, "cannot create a shared-memory file: " + std::string(std::strerror(EMFILE))},
                 {emptyFile, "the X server refused the shared-memory segment: BadMatch (8)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        X11Screen screen(server.display(), {}, c.sys);
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.sharedMemoryProblem(), c.why);
        Snapshot s = snapshot(0, 639, {0, 479});
        captureOne(screen, s);
        expectPixels(s, [&](int, int) { return colour; });
        screen.renew();
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.problem().en, "");
    }
}

TEST(X11Screen, UnusableDisplayReadsNothingAndSaysWhy)
{
    Xvfb eightBit(screenArgs(640, 480, 8));
    const struct {
        std::optional<std::string> display;
        std::vector<std::string> why;
    } cases[] = {
        {":59999", {"cannot open X display ':59999'", "X11 session (or XWayland)"}},
        {std::nullopt, {"DISPLAY is not set"}},
        {eightBit.display(), {"pixel format", "PseudoColor"}}, // not TrueColor
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why.front());
        const test::ScopedEnv display("DISPLAY", c.display);
        X11Screen screen;
        for (const std::string& part : c.why)
            EXPECT_NE(screen.problem().en.find(part), std::string::npos) << screen.problem().en;
        EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
        Snapshot s = snapshot(0, 20, {0, 5});
        screen.drawPoint(1, 1);
        captureOne(screen, s);
        expectPixels(s, kAllFailed);
        screen.renew();
        EXPECT_NE(screen.problem().en, "");
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.sharedMemoryProblem(), ""); // problem() says it all
    }
}

void xrandr(const Xvfb& server, std::vector<std::string> args)
{
    args.insert(args.begin(), {"xrandr", "--display", server.display()});
    auto p = test::Process::start(args);
    ASSERT_EQ(p.wait(), 0) << p.errorOutput();
}

TEST(X11Screen, ReadsTheChosenMonitorInItsOwnCoordinatesAndFollowsItsChanges)
{
    // LEFT (red) at the origin, a strip below it that no monitor shows (green), RIGHT (blue) primary.
    Xvfb server(screenArgs(3840, 1080, 24));
    test::RootPainter painter(server.display());
    painter.fill(0, 0, 1280, 1024, rgb(255, 0, 0));
    painter.fill(0, 1024, 1280, 56, rgb(0, 255, 0));
    painter.fill(1280, 0, 2560, 1080, rgb(0, 0, 255));
    xrandr(server, {"--setmonitor", "LEFT", "1280/340x1024/270+0+0", "none"});
    xrandr(server, {"--setmonitor", "*RIGHT", "2560/680x1080/290+1280+0", "none"});
    const ScreenSize left{1280, 1024}, right{2560, 1080};
    // One monitor-sized row set with a border of one point all round: inside reads `colour` (up
    // to `visible` columns, where the root window ends), the border (other monitors, the strip,
    // or off the root window) reads as failed.
    const auto expectMonitor = [](X11Screen& screen, ScreenSize size, Colour colour, int visible = 1 << 20) {
        EXPECT_EQ(screen.size(), size);
        Snapshot s = snapshot(-1, size.width, {-1, 0, size.height / 2, size.height - 1, size.height});
        captureOne(screen, s);
        expectPixels(s, [&](int x, int y) {
            return x >= 0 && y >= 0 && x < std::min(size.width, visible) && y < size.height ? colour : kFailedPixel;
        });
    };

    X11Screen primary(server.display());
    expectMonitor(primary, right, rgb(0, 0, 255));
    primary.drawPoint(10, 10);
    Snapshot marked = snapshot(9, 11, {10});
    captureOne(primary, marked);
    expectPixels(marked, [](int x, int) { return x == 10 ? kBlack : rgb(0, 0, 255); });

    X11Screen chosen(server.display(), "LEFT");
    EXPECT_EQ(chosen.chosenMonitorMissing(), "");
    expectMonitor(chosen, left, rgb(255, 0, 0));
    EXPECT_EQ(X11Screen(server.display(), "HDMI-9").chosenMonitorMissing(),
              "no monitor named 'HDMI-9' on display '" + server.display() +
                  "'; the monitors are: RIGHT (primary, 2560x1080+1280+0), LEFT (1280x1024+0+0), "
                  "screen (3840x1080+0+0); choose one with --monitor NAME");

    // Unplugged: the primary one until it is back, here half beyond the root window's right edge.
    xrandr(server, {"--delmonitor", "LEFT"});
    chosen.renew();
    EXPECT_EQ(chosen.problem().en, "monitor 'LEFT' is gone; reading the primary monitor 'RIGHT' instead");
    expectMonitor(chosen, right, rgb(0, 0, 255));
    xrandr(server, {"--setmonitor", "LEFT", "1280/340x1024/270+3200+0", "none"});
    chosen.renew();
    EXPECT_EQ(chosen.problem().en, "");
    expectMonitor(chosen, left, rgb(0, 0, 255), 640);
}

TEST(X11Screen, ServerGoingAwayLeavesFailedPixelsUntilItIsBack)
{
    std::optional<Xvfb> server(std::in_place, screenArgs(640, 480, 24));
    const int number = server->number();
    test::RootPainter(server->display()).fill(0, 0, 640, 480, rgb(0, 255, 0));
    X11Screen screen(server->display());
    Snapshot s = snapshot(0, 100, {0, 10});
    captureOne(screen, s);
    ASSERT_EQ(s.pixel(50, 1), rgb(0, 255, 0));

    server->kill();
    server.reset();
    screen.drawPoint(5, 5);
    captureOne(screen, s); // the same snapshot: what it held before must not survive
    expectPixels(s, kAllFailed);
    EXPECT_NE(screen.problem().en.find("lost the connection to X display ':" + std::to_string(number) + "'"), std::string::npos)
        << screen.problem().en;
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
    screen.renew(); // nobody there yet
    captureOne(screen, s);
    expectPixels(s, kAllFailed);
    EXPECT_NE(screen.problem().en, "");

    // A new server at the same display: the next renewal connects to it.
    server.emplace(screenArgs(800, 600, 24), number);
    test::RootPainter(server->display()).fill(0, 0, 800, 600, rgb(0, 0, 255));
    screen.renew();
    EXPECT_EQ(screen.problem().en, "");
    EXPECT_EQ(screen.size(), (ScreenSize{800, 600}));
    captureOne(screen, s);
    EXPECT_EQ(s.pixel(50, 1), rgb(0, 0, 255));
}

} // namespace
} // namespace lumora
