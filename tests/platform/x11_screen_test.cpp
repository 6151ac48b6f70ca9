// The X11 screen against real Xvfb servers: colours read back where they were painted, with and
// without shared memory, points off the screen, markers, renewals, and servers that are missing
// or go away.
#include "platform/x11_screen.hpp"
#include "support/xvfb.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::RootPainter;
using test::Xvfb;

Snapshot snapshot(int xFrom, int xTo, std::vector<int> rows)
{
    Snapshot s;
    s.reset(xFrom, xTo, std::move(rows));
    return s;
}

void captureOne(X11Screen& screen, Snapshot& s)
{
    Snapshot* const list[] = {&s};
    screen.capture(list);
}

bool allFailed(const Snapshot& s)
{
    for (std::size_t r = 0; r < s.rows().size(); ++r)
        for (int x = s.xFrom(); x <= s.xTo(); ++x)
            if (s.pixel(x, r) != kFailedPixel)
                return false;
    return true;
}

// Sets an environment variable (nullopt: removes it) for one test and puts it back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::vector<std::string> screenArgs(int width, int height, int depth)
{
    return {"-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth)};
}

struct ServerCase {
    const char* name;
    int width, height, depth;
    bool sharedMemory; // whether the server offers MIT-SHM
};

void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }

const ServerCase kServers[] = {
    {"SharedMemoryDepth24", 1280, 1024, 24, true},
    {"PlainImagesDepth24", 1280, 1024, 24, false},
    {"SharedMemoryDepth16", 640, 480, 16, true},
};

class X11ScreenOnServer : public ::testing::TestWithParam<ServerCase> {
protected:
    static std::vector<std::string> args()
    {
        auto a = screenArgs(GetParam().width, GetParam().height, GetParam().depth);
        if (!GetParam().sharedMemory)
            a.insert(a.end(), {"-extension", "MIT-SHM"});
        return a;
    }

    int width() const { return GetParam().width; }
    int height() const { return GetParam().height; }

    Xvfb server{args()};
    RootPainter painter{server.display()};
    X11Screen screen{server.display()};
};

TEST_P(X11ScreenOnServer, ConnectsWithTheServersSizeAndCaptureMode)
{
    EXPECT_EQ(screen.problem(), "");
    EXPECT_EQ(screen.size(), (ScreenSize{width(), height()}));
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);
}

TEST_P(X11ScreenOnServer, ReadsPaintedColoursBackAtTheirPlaces)
{
    struct Patch {
        int x, y, w, h;
        Colour colour;
        bool exactAtDepth16; // every channel 0 or 255
    };
    const Patch patches[] = {
        {0, 0, 40, 10, rgb(255, 0, 0), true},
        {100, 200, 30, 4, rgb(0, 255, 0), true},
        {300, 50, 25, 3, rgb(0, 0, 255), true},
        {width() - 30, height() - 5, 30, 5, rgb(255, 255, 255), true},
        {500, 400, 7, 2, rgb(255, 0, 255), true},
        {410, 100, 12, 6, rgb(0x12, 0x34, 0x56), false},
        {20, 300, 9, 9, rgb(0xFE, 0x80, 0x01), false},
    };
    const Colour background = rgb(0, 0, 0);
    painter.fill(0, 0, width(), height(), background);
    for (const Patch& p : patches)
        painter.fill(p.x, p.y, p.w, p.h, p.colour);

    for (const Patch& p : patches) {
        if (GetParam().depth == 16 && !p.exactAtDepth16)
            continue;
        SCOPED_TRACE("patch at " + std::to_string(p.x) + "," + std::to_string(p.y));
        // One pixel of border around the patch: it must read as background (or failed off screen).
        Snapshot s = snapshot(p.x - 1, p.x + p.w, {p.y - 1, p.y, p.y + p.h - 1, p.y + p.h});
        captureOne(screen, s);
        for (std::size_t r = 0; r < s.rows().size(); ++r) {
            const int y = s.rows()[r];
            for (int x = s.xFrom(); x <= s.xTo(); ++x) {
                const bool onScreen = x >= 0 && y >= 0 && x < width() && y < height();
                const bool inside = x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h;
                const Colour expected = !onScreen ? kFailedPixel : inside ? p.colour : background;
                ASSERT_EQ(s.pixel(x, r), expected) << "at " << x << "," << y;
            }
        }
    }
}

TEST_P(X11ScreenOnServer, CapturesManySnapshotsInOneCallAndTheWholeScreen)
{
    // Four quadrants of pure colours, so that every depth reproduces them exactly.
    const int midX = width() / 2, midY = height() / 2;
    const Colour quadrant[2][2] = {{rgb(255, 0, 0), rgb(0, 255, 0)}, {rgb(0, 0, 255), rgb(255, 255, 0)}};
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx)
            painter.fill(qx * midX, qy * midY, qx ? width() - midX : midX, qy ? height() - midY : midY, quadrant[qy][qx]);
    const auto expected = [&](int x, int y) { return quadrant[y >= midY][x >= midX]; };

    const auto rowsFrom = [](int from, int to, int step) {
        std::vector<int> rows;
        for (int y = from; y <= to; y += step)
            rows.push_back(y);
        return rows;
    };
    // The sampling grid of the three zones, then the whole screen (a far larger capture), then the
    // grid again: the capture's buffers must follow the size up and serve a small call afterwards.
    const int third = width() / 2 - width() / 6;
    Snapshot left = snapshot(5, third, rowsFrom(5, height() - 5, 50));
    Snapshot top = snapshot(5, width() - 5, rowsFrom(5, height() / 2 - height() / 6, 50));
    Snapshot right = snapshot(width() - third, width() - 5, rowsFrom(5, height() - 5, 50));
    Snapshot whole = snapshot(0, width() - 1, rowsFrom(0, height() - 1, 1));
    Snapshot* const grid[] = {&left, &top, &right};
    Snapshot* const all[] = {&whole};

    for (auto* const* call : {grid, all, grid}) {
        const std::span<Snapshot* const> snapshots(call, call == all ? 1 : 3);
        screen.capture(snapshots);
        for (const Snapshot* s : snapshots) {
            for (std::size_t r = 0; r < s->rows().size(); ++r)
                for (int x = s->xFrom(); x <= s->xTo(); ++x)
                    ASSERT_EQ(s->pixel(x, r), expected(x, s->rows()[r])) << "at " << x << "," << s->rows()[r];
        }
    }
    EXPECT_EQ(screen.usesSharedMemory(), GetParam().sharedMemory);
}

TEST_P(X11ScreenOnServer, PointsOffTheScreenStayFailed)
{
    const Colour white = rgb(255, 255, 255);
    painter.fill(0, 0, width(), height(), white);

    // Rows above, on and below the screen; each row reaches off both sides.
    Snapshot wide = snapshot(-10, width() + 10, {-5, -1, 0, height() - 1, height(), height() + 100});
    Snapshot beyondRight = snapshot(width(), width() + 50, {0, 10});
    Snapshot beyondLeft = snapshot(-60, -1, {0, 10});
    Snapshot partlyRight = snapshot(width() - 10, width() + 10, {10});
    Snapshot* const list[] = {&wide, &beyondRight, &beyondLeft, &partlyRight};
    screen.capture(list);

    for (const Snapshot* s : list) {
        for (std::size_t r = 0; r < s->rows().size(); ++r) {
            const int y = s->rows()[r];
            for (int x = s->xFrom(); x <= s->xTo(); ++x) {
                const bool onScreen = x >= 0 && y >= 0 && x < width() && y < height();
                ASSERT_EQ(s->pixel(x, r), onScreen ? white : kFailedPixel) << "at " << x << "," << y;
            }
        }
    }
}

TEST_P(X11ScreenOnServer, DrawnPointIsBlackOnTheNextCapture)
{
    const Colour white = rgb(255, 255, 255);
    painter.fill(0, 0, width(), height(), white);
    Snapshot s = snapshot(98, 102, {99, 100, 101});
    captureOne(screen, s);
    ASSERT_EQ(s.pixel(100, 1), white);

    screen.drawPoint(100, 100);
    screen.drawPoint(-1, 100); // off screen: ignored
    screen.drawPoint(width(), height());
    screen.drawPoint(99, 101);
    screen.renew(); // a renewal between drawing and capturing keeps the markers
    captureOne(screen, s);
    for (std::size_t r = 0; r < 3; ++r)
        for (int x = 98; x <= 102; ++x)
            EXPECT_EQ(s.pixel(x, r), (x == 100 && r == 1) || (x == 99 && r == 2) ? rgb(0, 0, 0) : white)
                << "at " << x << "," << s.rows()[r];
    EXPECT_EQ(screen.problem(), "");
}

INSTANTIATE_TEST_SUITE_P(Servers, X11ScreenOnServer, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

std::size_t openDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
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
    RootPainter painter(server.display());
    painter.fill(0, 0, 640, 480, rgb(0, 0, 255));
    X11Screen screen(server.display());
    ASSERT_TRUE(screen.usesSharedMemory());
    Snapshot s = snapshot(0, 639, {0, 240, 479});
    captureOne(screen, s);
    screen.renew();
    captureOne(screen, s);
    const std::size_t descriptors = openDescriptors();
    const std::size_t maps = mappings();
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
    EXPECT_EQ(screen.problem(), "");
}

TEST(X11Screen, FallsBackToPlainImagesWhenSharedMemoryCannotBeSetUp)
{
    Xvfb server(screenArgs(640, 480, 24));
    RootPainter painter(server.display());
    painter.fill(0, 0, 640, 480, rgb(0x11, 0x22, 0x33));

    x11::SystemCalls noMemfd;
    noMemfd.memfdCreate = [](const char*, unsigned int) {
        errno = EMFILE;
        return -1;
    };
    // The file keeps size 0, so the server cannot map it and refuses the attach.
    x11::SystemCalls emptyFile;
    emptyFile.truncate = [](int, off_t) { return 0; };

    for (const auto& [name, sys] : {std::pair{"no memfd", noMemfd}, std::pair{"server refuses", emptyFile}}) {
        SCOPED_TRACE(name);
        X11Screen screen(server.display(), sys);
        EXPECT_FALSE(screen.usesSharedMemory());
        Snapshot s = snapshot(0, 639, {0, 479});
        captureOne(screen, s);
        EXPECT_EQ(s.pixel(0, 0), rgb(0x11, 0x22, 0x33));
        EXPECT_EQ(s.pixel(639, 1), rgb(0x11, 0x22, 0x33));
        screen.renew();
        EXPECT_FALSE(screen.usesSharedMemory());
        EXPECT_EQ(screen.problem(), "");
    }
}

TEST(X11Screen, WithoutAServerReadsNothingAndSaysWhy)
{
    const ScopedEnv display("DISPLAY", ":59999");
    X11Screen screen;
    EXPECT_NE(screen.problem().find("cannot open X display ':59999'"), std::string::npos) << screen.problem();
    EXPECT_NE(screen.problem().find("X11 session (or XWayland)"), std::string::npos) << screen.problem();
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
    Snapshot s = snapshot(0, 20, {0, 5});
    screen.drawPoint(1, 1);
    captureOne(screen, s);
    EXPECT_TRUE(allFailed(s));
    screen.renew();
    EXPECT_NE(screen.problem(), "");
    EXPECT_FALSE(screen.usesSharedMemory());
}

TEST(X11Screen, WithoutDisplayVariableSaysSo)
{
    const ScopedEnv display("DISPLAY", std::nullopt);
    X11Screen screen;
    EXPECT_NE(screen.problem().find("DISPLAY is not set"), std::string::npos) << screen.problem();
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
}

TEST(X11Screen, ScreenThatIsNotTrueColourIsReportedNotRead)
{
    Xvfb server(screenArgs(640, 480, 8));
    X11Screen screen(server.display());
    EXPECT_NE(screen.problem().find("pixel format"), std::string::npos) << screen.problem();
    EXPECT_NE(screen.problem().find("PseudoColor"), std::string::npos) << screen.problem();
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
    Snapshot s = snapshot(0, 20, {0});
    captureOne(screen, s);
    EXPECT_TRUE(allFailed(s));
}

TEST(X11Screen, ServerGoingAwayLeavesFailedPixelsUntilItIsBack)
{
    const Colour green = rgb(0, 255, 0);
    std::optional<Xvfb> server(std::in_place, screenArgs(640, 480, 24));
    const int number = server->number();
    RootPainter(server->display()).fill(0, 0, 640, 480, green);
    X11Screen screen(server->display());
    Snapshot s = snapshot(0, 100, {0, 10});
    captureOne(screen, s);
    ASSERT_EQ(s.pixel(50, 1), green);

    server->kill();
    server.reset();
    screen.drawPoint(5, 5);
    captureOne(screen, s); // the same snapshot: what it held before must not survive
    EXPECT_TRUE(allFailed(s));
    EXPECT_NE(screen.problem().find("lost the connection to X display ':" + std::to_string(number) + "'"), std::string::npos)
        << screen.problem();
    EXPECT_EQ(screen.size(), (ScreenSize{0, 0}));
    screen.renew(); // nobody there yet
    captureOne(screen, s);
    EXPECT_TRUE(allFailed(s));
    EXPECT_NE(screen.problem(), "");

    // A new server at the same display: the next renewal connects to it.
    server.emplace(screenArgs(800, 600, 24), number);
    RootPainter(server->display()).fill(0, 0, 800, 600, rgb(0, 0, 255));
    screen.renew();
    EXPECT_EQ(screen.problem(), "");
    EXPECT_EQ(screen.size(), (ScreenSize{800, 600}));
    captureOne(screen, s);
    EXPECT_EQ(s.pixel(50, 1), rgb(0, 0, 255));
}

} // namespace
} // namespace lumora
