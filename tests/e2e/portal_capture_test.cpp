// The real driver reading a Wayland desktop through the desktop portal: colours set on a headless
// compositor reach the board, a stream that stops or a request that is refused is reported and
// asked for again on AUTO, and a missing portal leaves the program running.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "driver_run.hpp"
#include "pipeline.hpp"
#include "portal_stack.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

ZoneColours settleOn(Colour c, ZoneColours from) { return test::settleOn(c, from, {PortalStack::kWidth, PortalStack::kHeight}); }

std::string hex(Colour c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

class PortalCapture : public testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = portalStackUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        stack.emplace();
    }
    void TearDown() override
    {
        if (HasFailure() && stack)
            std::cerr << stack->logs() << '\n' << (d ? d->process.errorOutput() : "") << '\n';
    }

    // The driver's window and clicks on its own X server, its screen read through the portal.
    void startDriver()
    {
        d.emplace(std::vector<std::string>{"--capture", "portal"}, "", stack->clientEnvironment());
        d->input.move(d->window(), 650, 700); // out of the zones' way
    }

    // Chooses AUTO and waits until the backend streams the screen.
    void startStream()
    {
        d->click(kAutoButton);
        ASSERT_TRUE(waitFor([&] { return stack->backendStreaming(); }, 30s)) << d->process.errorOutput();
    }

    // Paints the desktop `colour` until the zones rest on one of `zones` (bounded). A new stream's
    // size may become known only after the colour was set, so it is set again every few seconds.
    bool shows(Colour colour, std::initializer_list<ZoneColours> zones)
    {
        return waitFor(
            [&] {
                stack->setBackground(hex(colour));
                return d->readUntil([&] { return d->lastTickShows(zones); }, 3s);
            },
            40s);
    }

    std::optional<PortalStack> stack;
    std::optional<DriverRun> d;
};

TEST_F(PortalCapture, ZonesFollowTheScreenAndAStoppedStreamIsAskedForAgainOnAuto)
{
    startDriver();
    startStream();
    const Colour first = rgb(0x30, 0xa0, 0xf0);
    const Colour second = rgb(200, 100, 50);
    const ZoneColours atFirst = settleOn(first, {});
    const ZoneColours atSecond = settleOn(second, atFirst);
    // With red and blue swapped the lamps would show other colours, so the checks below see it.
    ASSERT_NE(settleOn(rgb(0xf0, 0xa0, 0x30), {}), atFirst);
    ASSERT_NE(settleOn(rgb(50, 100, 200), atFirst), atSecond);
    ASSERT_NE(atFirst, atSecond);
    ASSERT_TRUE(shows(first, {atFirst})) << d->describeLastTick();

    // One change, timed from the compositor taking it (printed for the benchmarks, not asserted).
    const auto start = std::chrono::steady_clock::now();
    const auto since = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(); };
    long firstPacket = -1;
    stack->setBackground(hex(second));
    EXPECT_TRUE(d->readUntil(
        [&] {
            if (firstPacket < 0 && d->lastTick() && *d->lastTick() != atFirst)
                firstPacket = since();
            return d->lastTickShows({atSecond});
        },
        30s))
        << d->describeLastTick();
    std::cout << "screen change to first zone packet: " << firstPacket << " ms; to settled zones: " << since() << " ms\n";

    // The stream goes away: standard error says so, AUTO reads failed points, the program runs on.
    stack->stopBackend();
    EXPECT_TRUE(waitFor([&] { return d->process.errorOutput().find("choose AUTO to ask again") != std::string::npos; }, 20s))
        << d->process.errorOutput();
    const ZoneColours dark = settleOn(kFailedPixel, atSecond);
    ASSERT_NE(dark, atSecond);
    EXPECT_TRUE(d->settlesOn({dark})) << d->describeLastTick();
    EXPECT_TRUE(d->process.running());

    // Choosing AUTO again asks anew, offering the permission kept from the first start.
    stack->startBackend();
    startStream();
    EXPECT_NE(stack->backendLog().find("restore data available"), std::string::npos) << stack->backendLog();
    // The new stream may first show the old colour again, so the zones may start from either.
    EXPECT_TRUE(shows(first, {settleOn(first, dark), settleOn(first, settleOn(second, dark))})) << d->describeLastTick();
}

TEST_F(PortalCapture, RefusedRequestIsReportedAndAskedAgainOnlyOnAuto)
{
    stack->stopBackend();
    stack->startBackend(true);
    startDriver();
    d->click(kAutoButton);
    EXPECT_TRUE(waitFor([&] { return d->process.errorOutput().find("cancelled") != std::string::npos; }, 20s))
        << d->process.errorOutput();
    // Over 1500 ticks (several screen ticks) nobody is asked again, and AUTO reads failed points.
    // (The first answer may come before the click, which then asks once more.)
    const std::size_t from = d->packetCount();
    const std::size_t asked = occurrences(stack->backendLog(), "select sources method invoked");
    EXPECT_GE(asked, 1u);
    EXPECT_TRUE(d->readUntil([&] { return d->packetCount() >= from + 4 * 1500; }, 60s));
    EXPECT_EQ(occurrences(stack->backendLog(), "select sources method invoked"), asked) << stack->backendLog();
    EXPECT_EQ(d->process.errorOutput().find("desktop ended"), std::string::npos) << d->process.errorOutput();
    const ZoneColours dark = settleOn(kFailedPixel, {});
    EXPECT_TRUE(d->lastTickShows({dark})) << d->describeLastTick();

    // Choosing AUTO asks again; this time the user agrees.
    stack->stopBackend();
    stack->startBackend();
    startStream();
    const Colour colour = rgb(200, 100, 50);
    EXPECT_TRUE(shows(colour, {settleOn(colour, dark)})) << d->describeLastTick();
}

TEST(PortalChoice, CaptureFollowsTheSessionUnlessChosenAndAMissingPortalIsExplained)
{
    if (const std::string why = portalStackUnavailable(true); !why.empty())
        GTEST_SKIP() << why;
    const std::string folder = tempDir();
    SessionBus bus(folder); // no portal on it
    const char* const kMissing = "desktop portal is missing";
    const char* const kNoX = "DISPLAY is not set";
    const struct {
        const char* what;
        std::vector<std::string> args;
        Environment env;
        const char* says;
    } cases[] = {
        {"Wayland session", {}, {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"}}, kMissing},
        {"Wayland display alone", {}, {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", std::nullopt}}, kMissing},
        {"X11 session", {}, {{"WAYLAND_DISPLAY", std::nullopt}, {"XDG_SESSION_TYPE", "x11"}}, kNoX},
        {"X11 despite Wayland", {"--capture", "x11"}, {{"WAYLAND_DISPLAY", "wayland-0"}}, kNoX},
        {"portal despite X11", {"--capture=portal"}, {{"WAYLAND_DISPLAY", std::nullopt}, {"XDG_SESSION_TYPE", "x11"}}, kMissing},
    };
    // All at once: each answer comes with the first screen tick, 5 s after the start.
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<Process> runs;
    for (const auto& c : cases) {
        ptys.push_back(std::make_unique<Pty>());
        std::vector<std::string> argv{LUMORA_DRIVER_PATH, "--port", ptys.back()->slavePath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Environment env = c.env;
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
        env["DISPLAY"] = std::nullopt;
        env["QT_QPA_PLATFORM"] = "offscreen";
        env["XDG_STATE_HOME"] = folder + "/state";
        runs.push_back(Process::start(argv, env));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_TRUE(waitFor([&] { return runs[i].errorOutput().find(cases[i].says) != std::string::npos; }, 20s))
            << runs[i].errorOutput();
        // The lamps go on being driven: keyboard packets keep coming.
        EXPECT_TRUE(runs[i].running());
        EXPECT_FALSE(ptys[i]->read(1s).empty());
    }
}

} // namespace
} // namespace lumora::test
