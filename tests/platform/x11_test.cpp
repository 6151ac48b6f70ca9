// The X11 capture. Without a server: pixel layouts a TrueColor server may use turned into colour
// values (red lowest). Against real Xvfb servers: colours read back where they were painted, with and without shared memory or RandR,
// at depths 24 and 16, points off the screen, snapshots sharing lines and taller than one request,
// renewals, several monitors and the markers on them, and servers that are missing or go away.
#include "platform/x11/x11_pixel_format.hpp"
#include "platform/x11/x11_screen.hpp"
#include "platform_test.hpp"
#include "support/support.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

#include <xcb/xcb.h>

namespace lumora::x11 {
namespace {

TEST(X11PixelFormat, ConvertsEachLayoutWithoutSwappingChannelsAndRefusesThoseItCannotRead)
{
    const struct { const char* name; PixelLayout layout; std::vector<std::uint8_t> pixels; std::vector<Colour> expected; } cases[] = {
        {"32 bits, least significant first, red high (the common case)", {32, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12, 0xAA},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, most significant first, red high", {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0xFF, 0x00, 0x00, 0xAA, 0x12, 0x34, 0x56}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, red low", {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
         {0xFF, 0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0x00}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"24 bits, least significant first", {24, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x56, 0x34, 0x12}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"16 bits 5-6-5: the largest value of a narrow channel reads as 255", {16, false, 0xF800, 0x07E0, 0x001F},
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x10, 0x84},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 255), rgb(132, 130, 132)}},
        {"32 bits with 10-bit channels (depth 30)", {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
         {0x00, 0x00, 0xF0, 0x3F, 0xFF, 0x03, 0x00, 0x00}, {rgb(255, 0, 0), rgb(0, 0, 255)}}};
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

using test::expectPixels;
using test::snapshot;
using test::Xvfb;

bool capture(X11Screen& screen, std::initializer_list<Snapshot*> list) { return screen.capture(std::vector<Snapshot*>(list)); }

// Paints the whole root window, as `xsetroot -solid` does.
void paint(const Xvfb& server, const char* colour) { server.x("xsetroot", {"-solid", colour}); }

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
    std::vector<int> rows(479); // more than one request takes, below the markers' row
    std::iota(rows.begin(), rows.end(), 1);
    Snapshot s = snapshot(0, 639, rows);
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
    expectPixels(s, [](int, int) { return rgb(0, 0, 255); });
}

TEST(X11Screen, FallsBackToPlainImagesWhenSharedMemoryCannotBeSetUp)
{
    // Without RandR the root window is the screen; without Damage every capture reads.
    Xvfb server("640x480x24", {"-extension", "RANDR", "-extension", "DAMAGE"});
    paint(server, "#112233");
    x11::SystemCalls noMemfd;
    noMemfd.memfdCreate = [](const char*, unsigned int) { return errno = EMFILE, -1; };
    // The file keeps size 0, so the server cannot map it and refuses the attach.
    x11::SystemCalls emptyFile;
    emptyFile.truncate = [](int, off_t) { return 0; };
    const std::pair<x11::SystemCalls, std::string> cases[] = {{noMemfd, "cannot create a shared-memory file: " + std::string(std::strerror(EMFILE))},
                                                              {emptyFile, "the X server refused the shared-memory segment: BadMatch (8)"}};
    for (const auto& [sys, why] : cases) {
        SCOPED_TRACE(why);
        X11Screen screen(server.display().toStdString(), {}, sys);
        EXPECT_EQ(screen.sharedMemoryProblem(), why);
        EXPECT_EQ(screen.size(), (ScreenSize{640, 480}));
        // One point off the screen all round, and another snapshot sharing two of its lines.
        Snapshot s = snapshot(-1, 640, {-1, 0, 479, 480}), t = snapshot(600, 700, {0, 100, 479});
        EXPECT_TRUE(capture(screen, {&s, &t}) && capture(screen, {&s, &t}));
        for (const Snapshot* read : {&s, &t})
            expectPixels(*read, [&](int x, int y) { return x < 0 || y < 0 || x >= 640 || y >= 480 ? kFailedPixel : rgb(0x11, 0x22, 0x33); });
        screen.renew();
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.problem().en, "");
    }
}

TEST(X11Screen, ReadsTheColumnsTheScanReadsAndLeavesThoseBetweenFailed)
{
    Xvfb server("640x480x24");
    paint(server, "#ffffff");
    X11Screen screen(server.display().toStdString());
    for (const int x : {4, 10, 11}) screen.drawPoint(x, 5);
    // s starts off the screen and reads every third point from -2; t shares line 5 and reads all.
    Snapshot s = snapshot(-2, 20, {5}, 3), t = snapshot(3, 12, {5, 6});
    capture(screen, {&s, &t});
    const auto marked = [&](int x, int y) { return y == 5 && (x == 4 || x == 10 || x == 11) ? rgb(0, 0, 0) : rgb(255, 255, 255); };
    expectPixels(s, [&](int x, int y) { return x < 0 || (x + 2) % 3 ? kFailedPixel : marked(x, y); });
    expectPixels(t, marked);
    // Another step on the same layout: the points it no longer reads do not keep old colours.
    s.setColumnStep(2);
    capture(screen, {&s, &t});
    expectPixels(s, [&](int x, int y) { return x < 0 || x % 2 ? kFailedPixel : marked(x, y); });
}

// Another client, which maps windows of one colour. When show() or close() returns, the server
// has drawn and told every other client so: the second round trip is answered only after the
// server wrote out everything the first one left pending.
struct Painter {
    explicit Painter(const Xvfb& server) : c(xcb_connect(server.display().toUtf8().constData(), nullptr)) {}
    ~Painter() { xcb_disconnect(c); }
    void sync() { for (int i = 0; i < 2; ++i) free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    xcb_window_t show(std::int16_t x, std::int16_t y, std::uint16_t width, std::uint16_t height, std::uint32_t pixel)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t w = xcb_generate_id(c);
        const std::uint32_t values[] = {pixel, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, x, y, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        return xcb_map_window(c, w), sync(), w;
    }
    xcb_connection_t* c;
};

TEST(X11Screen, ReadsWhatOtherClientsDrawAfterACaptureIntoTheSameSnapshotAndIntoAnother)
{
    Xvfb server("640x480x24");
    paint(server, "#ffffff");
    X11Screen screen(server.display().toStdString());
    Snapshot s = snapshot(0, 99, {10, 50});
    const Colour white = rgb(255, 255, 255), red = rgb(255, 0, 0);
    for (int i = 0; i < 12; ++i) { // with nothing drawn, every tenth reads all the same
        EXPECT_EQ(capture(screen, {&s}), i % 10 == 0) << i; // whether anything may have changed
        expectPixels(s, [&](int, int) { return white; });
    }
    Painter painter(server);
    const xcb_window_t w = painter.show(20, 0, 30, 40, 0xFF0000);
    const auto withWindow = [&](int x, int y) { return x >= 20 && x < 50 && y < 40 ? red : white; };
    EXPECT_TRUE(capture(screen, {&s}));
    expectPixels(s, withWindow);
    Snapshot other = snapshot(0, 99, {10, 50}); // the same layout, nothing in it yet
    EXPECT_TRUE(capture(screen, {&other}));
    expectPixels(other, withWindow);
    xcb_destroy_window(painter.c, w), painter.sync();
    EXPECT_TRUE(capture(screen, {&other}));
    expectPixels(other, [&](int, int) { return white; });
}

TEST(X11Screen, ReadsNothingWithoutAUsableDisplayAndTheChosenMonitorInItsOwnCoordinates)
{
    Xvfb eightBit("640x480x8");
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {":59999", "cannot open X display ':59999'"}, {std::nullopt, "DISPLAY is not set"}, {eightBit.display().toStdString(), "PseudoColor"}}; // not TrueColor
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
        expectPixels(s, [&](int x, int y) { return x >= 0 && y >= 0 && x < std::min(size.width, visible) && y < size.height ? rgb(0, 0, 255) : kFailedPixel; });
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
    EXPECT_NE(screen.problem().en.find("lost the connection to X display '" + display.toStdString() + "'"), std::string::npos) << screen.problem().en;
    screen.renew(); // nobody there yet
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));

    // A new server at the same display, of depth 16: the next renewal connects to it.
    server = std::make_unique<Xvfb>("800x600x16", QStringList{display});
    paint(*server, "#0000ff");
    screen.renew();
    EXPECT_EQ(screen.problem().en, "");
    EXPECT_EQ(screen.size(), (ScreenSize{800, 600}));
    capture(screen, {&s});
    expectPixels(s, [](int, int) { return rgb(0, 0, 255); });
    EXPECT_TRUE(screen.usesSharedMemory());
}

} // namespace
} // namespace lumora::x11
