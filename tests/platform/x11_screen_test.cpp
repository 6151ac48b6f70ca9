// The X11 screen against real Xvfb servers: colours read back where they were painted, with and
// without shared memory, points off the screen, markers, renewals, several monitors, and servers
// that are missing or go away.
#include "platform/x11_screen.hpp"
#include "platform_test.hpp"
#include "support/support.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace lumora {
namespace {

using test::expectPixels;
using test::snapshot;
using test::Xvfb;

void capture(X11Screen& screen, std::initializer_list<Snapshot*> list) { screen.capture(std::vector<Snapshot*>(list)); }

// Paints the whole root window, as `xsetroot -solid` does.
void paint(const Xvfb& server, const char* colour) { server.x("xsetroot", {"-solid", colour}); }

struct ServerCase {
    const char* name;
    int width, height, depth;
    bool sharedMemory; // whether the server offers MIT-SHM
};
void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }

class X11ScreenOnServer : public ::testing::TestWithParam<ServerCase> {
protected:
    const int w = GetParam().width, h = GetParam().height;
    Xvfb server{QString("%1x%2x%3").arg(w).arg(h).arg(GetParam().depth),
                // Without shared memory nor RandR, where the root window is the screen.
                GetParam().sharedMemory ? QStringList{} : QStringList{"-extension", "MIT-SHM", "-extension", "RANDR"}};
    X11Screen screen{server.display().toStdString()};
};

TEST_P(X11ScreenOnServer, ReadsPaintedColoursAndMarkersBackAtTheirPlacesAndFailsOffTheScreen)
{
    EXPECT_EQ(screen.problem().en, "");
    EXPECT_EQ(screen.size(), (ScreenSize{w, h}));
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);
    EXPECT_EQ(screen.sharedMemoryProblem(), GetParam().sharedMemory ? "" : "the X server does not offer the MIT-SHM extension");
    // Spans partly or wholly off the screen at every edge, and the whole screen.
    Snapshot edges = snapshot(-10, w + 10, {-5, -1, 0, 1, h / 2, h - 1, h, h + 100});
    std::vector<int> everyRow(static_cast<std::size_t>(h));
    std::iota(everyRow.begin(), everyRow.end(), 0);
    Snapshot whole = snapshot(0, w - 1, everyRow);
    const auto on = [&](Colour c) { return [&, c](int x, int y) { return x < 0 || y < 0 || x >= w || y >= h ? kFailedPixel : c; }; };
    // Pure channels catch swapped ones; a mixed colour is exact only where channels have 8 bits.
    std::vector<std::pair<const char*, Colour>> colours = {
        {"#ff0000", rgb(255, 0, 0)}, {"#00ff00", rgb(0, 255, 0)}, {"#0000ff", rgb(0, 0, 255)}};
    if (GetParam().depth != 16)
        colours.emplace_back("#123456", rgb(0x12, 0x34, 0x56));
    for (const auto& [name, colour] : colours) {
        SCOPED_TRACE(name);
        paint(server, name);
        capture(screen, {&edges, &whole});
        expectPixels(edges, on(colour));
        expectPixels(whole, on(colour));
    }
    // Markers show black on the next capture, also after a renewal, exactly where they were drawn;
    // those off the screen are ignored.
    for (const auto& [x, y] : {std::pair{101, 200}, {w - 1, h / 2}, {-1, 100}, {w, h}})
        screen.drawPoint(x, y);
    screen.renew();
    capture(screen, {&edges, &whole});
    const auto marked = [&](int x, int y) {
        return (x == 101 && y == 200) || (x == w - 1 && y == h / 2) ? rgb(0, 0, 0) : on(colours.back().second)(x, y);
    };
    expectPixels(edges, marked);
    expectPixels(whole, marked);
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);
}

const ServerCase kServers[] = {
    {"SharedMemoryDepth24", 1280, 1024, 24, true},
    {"PlainImagesNoRandrDepth24", 1280, 1024, 24, false},
    {"SharedMemoryDepth16", 640, 480, 16, true},
};
INSTANTIATE_TEST_SUITE_P(Servers, X11ScreenOnServer, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

// Open descriptors, and mappings of the capture's shared-memory segments.
std::pair<std::size_t, std::size_t> held()
{
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    std::ifstream maps("/proc/self/maps");
    std::size_t mappings = 0;
    for (std::string line; std::getline(maps, line);)
        mappings += line.find("memfd:lumora-screen-capture") != std::string::npos;
    return {static_cast<std::size_t>(std::distance(begin(fds), end(fds))), mappings};
}

TEST(X11Screen, RenewingAThousandTimesHoldsNoMoreDescriptorsOrMappings)
{
    Xvfb server("640x480x24");
    paint(server, "#0000ff");
    X11Screen screen(server.display().toStdString());
    ASSERT_TRUE(screen.usesSharedMemory());
    Snapshot s = snapshot(0, 639, {0, 240, 479});
    capture(screen, {&s});
    screen.renew();
    capture(screen, {&s});
    const auto before = held();
    EXPECT_GE(before.second, 1u); // the segment itself
    for (int i = 0; i < 1000; ++i) {
        screen.renew();
        screen.drawPoint(i % 640, 0);
        capture(screen, {&s});
    }
    EXPECT_EQ(held(), before);
    EXPECT_TRUE(screen.usesSharedMemory());
    EXPECT_EQ(s.pixel(320, 1), rgb(0, 0, 255));
}

TEST(X11Screen, FallsBackToPlainImagesWhenSharedMemoryCannotBeSetUp)
{
    Xvfb server("640x480x24");
    paint(server, "#112233");
    x11::SystemCalls noMemfd;
    noMemfd.memfdCreate = [](const char*, unsigned int) { return errno = EMFILE, -1; };
    // The file keeps size 0, so the server cannot map it and refuses the attach.
    x11::SystemCalls emptyFile;
    emptyFile.truncate = [](int, off_t) { return 0; };
    const std::pair<x11::SystemCalls, std::string> cases[] = {
        {noMemfd, "cannot create a shared-memory file: " + std::string(std::strerror(EMFILE))},
        {emptyFile, "the X server refused the shared-memory segment: BadMatch (8)"}};
    for (const auto& [sys, why] : cases) {
        SCOPED_TRACE(why);
        X11Screen screen(server.display().toStdString(), {}, sys);
        EXPECT_EQ(screen.sharedMemoryProblem(), why);
        Snapshot s = snapshot(0, 639, {0, 479});
        capture(screen, {&s});
        expectPixels(s, [&](int, int) { return rgb(0x11, 0x22, 0x33); });
        screen.renew();
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.problem().en, "");
    }
}

TEST(X11Screen, UnusableDisplayReadsNothingAndSaysWhy)
{
    Xvfb eightBit("640x480x8");
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {":59999", "cannot open X display ':59999'"},
        {std::nullopt, "DISPLAY is not set"},
        {eightBit.display().toStdString(), "PseudoColor"}, // not TrueColor
    };
    for (const auto& [display, why] : cases) {
        SCOPED_TRACE(why);
        const test::ScopedEnv env("DISPLAY", display);
        X11Screen screen;
        EXPECT_NE(screen.problem().en.find(why), std::string::npos) << screen.problem().en;
        EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
        Snapshot s = snapshot(0, 20, {0, 5});
        screen.drawPoint(1, 1);
        capture(screen, {&s});
        expectPixels(s, [](int, int) { return kFailedPixel; });
        EXPECT_EQ(screen.sharedMemoryProblem(), ""); // problem() says it all
    }
}

TEST(X11Screen, ReadsTheChosenMonitorInItsOwnCoordinatesAndFollowsItsChanges)
{
    // LEFT at the origin with a strip below it that no monitor shows, RIGHT primary beside it;
    // "screen", the whole root window, is always listed too.
    Xvfb server("3840x1080x24");
    paint(server, "#0000ff");
    const auto xrandr = [&](const QStringList& args) { server.x("xrandr", QStringList{"--display", server.display()} + args); };
    xrandr({"--setmonitor", "LEFT", "1280/340x1024/270+0+0", "none"});
    xrandr({"--setmonitor", "*RIGHT", "2560/680x1080/290+1280+0", "none"});
    // A monitor's rows with a border of one point all round: inside reads blue up to `visible`
    // columns (where the root window ends), the border reads as failed.
    const auto expectMonitor = [](X11Screen& screen, ScreenSize size, int visible = 1 << 20) {
        EXPECT_EQ(screen.size(), size);
        Snapshot s = snapshot(-1, size.width, {-1, 0, size.height - 1, size.height});
        capture(screen, {&s});
        expectPixels(s, [&](int x, int y) {
            return x >= 0 && y >= 0 && x < std::min(size.width, visible) && y < size.height ? rgb(0, 0, 255) : kFailedPixel;
        });
    };
    X11Screen primary(server.display().toStdString()), whole(server.display().toStdString(), "screen");
    expectMonitor(primary, {2560, 1080});
    primary.drawPoint(10, 10); // lands at 1290, 10 of the root window
    primary.renew();
    Snapshot marked = snapshot(1289, 1291, {10});
    capture(whole, {&marked});
    expectPixels(marked, [](int x, int) { return x == 1290 ? rgb(0, 0, 0) : rgb(0, 0, 255); });

    X11Screen chosen(server.display().toStdString(), "LEFT");
    expectMonitor(chosen, {1280, 1024});
    EXPECT_EQ(X11Screen(server.display().toStdString(), "HDMI-9").chosenMonitorMissing(),
              "no monitor named 'HDMI-9' on display '" + server.display().toStdString() +
                  "'; the monitors are: RIGHT (primary, 2560x1080+1280+0), LEFT (1280x1024+0+0), "
                  "screen (3840x1080+0+0); choose one with --monitor NAME");
    // Unplugged: the primary one until it is back, here half beyond the root window's right edge.
    xrandr({"--delmonitor", "LEFT"});
    chosen.renew();
    EXPECT_EQ(chosen.problem().en, "monitor 'LEFT' is gone; reading the primary monitor 'RIGHT' instead");
    expectMonitor(chosen, {2560, 1080});
    xrandr({"--setmonitor", "LEFT", "1280/340x1024/270+3200+0", "none"});
    chosen.renew();
    EXPECT_EQ(chosen.problem().en, "");
    expectMonitor(chosen, {1280, 1024}, 640);
    // The root window shrinks between renewals: what lay beyond its new edge must not read as before.
    xrandr({"--output", "screen", "--off", "--fb", "3500x1080"});
    expectMonitor(chosen, {1280, 1024}, 300);
}

TEST(X11Screen, ServerGoingAwayLeavesFailedPixelsUntilItIsBack)
{
    auto server = std::make_unique<Xvfb>("640x480x24");
    const QString display = server->display();
    paint(*server, "#00ff00");
    X11Screen screen(display.toStdString());
    Snapshot s = snapshot(0, 100, {0, 10});
    capture(screen, {&s});
    ASSERT_EQ(s.pixel(50, 1), rgb(0, 255, 0));

    server->kill(); // as a crash would
    server.reset();
    screen.drawPoint(5, 5);
    capture(screen, {&s}); // the same snapshot: what it held before must not survive
    expectPixels(s, [](int, int) { return kFailedPixel; });
    EXPECT_NE(screen.problem().en.find("lost the connection to X display '" + display.toStdString() + "'"), std::string::npos)
        << screen.problem().en;
    screen.renew(); // nobody there yet
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));

    // A new server at the same display: the next renewal connects to it.
    server = std::make_unique<Xvfb>("800x600x24", QStringList{display});
    paint(*server, "#0000ff");
    screen.renew();
    EXPECT_EQ(screen.problem().en, "");
    EXPECT_EQ(screen.size(), (ScreenSize{800, 600}));
    capture(screen, {&s});
    EXPECT_EQ(s.pixel(50, 1), rgb(0, 0, 255));
}

} // namespace
} // namespace lumora
