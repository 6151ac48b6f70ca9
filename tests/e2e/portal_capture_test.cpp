// The real driver on a headless Wayland desktop: colours read through the desktop portal reach the
// board, a stream that stops is reported and asked for again by itself while the permission is
// kept, and the compositor going away leaves the zones dark.
#include "driver_run.hpp"
#include "support/portal_stack.hpp"
#include "zone_rest.hpp"

namespace lumora::test {
namespace {

// Failed reads: no point is lit or taken, every mean is 0, so the correction gives black, which
// the halving reaches exactly from above.
constexpr Zones kDark = same(0, 0, 0);

TEST(PortalCapture, ZonesFollowTheScreenAndAStoppedStreamIsAskedForAgainByItself)
{
    if (const std::string why = PortalStack::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    PortalStack stack;
    DriverRun d({"--capture", "portal"}, {}, stack.clientEnvironment());
    d.xvfb.x("xdotool", {"windowmove", "--sync", d.window(), "650", "700"}); // out of the X screen's way
    // Paints the desktop until the zones rest on `rest`. The compositor sends a frame only when the
    // screen changes, and may miss a change, so the colour is set again every few seconds.
    const auto shows = [&](const char* colour, const Rest& rest) {
        return QTest::qWaitFor([&] { return stack.setBackground(colour), d.readUntil([&] { return rest.holds(d.lastTick()); }, 3000); }, 40000);
    };
    d.click(kAutoButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stack.backendLog().find("stream state changed to \"streaming\"") != std::string::npos; }, 30000))
        << d.program.err() << stack.logs();
    ASSERT_TRUE(shows("#30a0f0", kBlue)) << d.lastTickText() << stack.logs();
    EXPECT_TRUE(shows("#c86432", kOrange)) << d.lastTickText();

    // The stream goes away: standard error says so, AUTO reads failed points, the program runs on.
    stack.stopBackend();
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.program.err().find("choose AUTO to ask again") != std::string::npos; }, kBound))
        << d.program.err();
    EXPECT_TRUE(d.settlesOn({kDark})) << d.lastTickText();
    EXPECT_TRUE(d.program.running());

    // Once the desktop's screen cast is back, the capture asks again by itself at a screen tick,
    // offering the permission kept from the first start: nobody clicks.
    stack.startBackend();
    EXPECT_TRUE(shows("#30a0f0", kBlue)) << d.lastTickText() << d.program.err();
    EXPECT_NE(stack.backendLog().find("restore data available"), std::string::npos) << stack.backendLog();
}

// The driver as a client of the Wayland desktop: when the compositor ends, as at logout, Qt ends the
// program at once, and the zones go dark first.
TEST(WaylandDesktop, TheCompositorGoingAwayLeavesTheZonesDark)
{
    if (const std::string why = PortalStack::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    PortalStack stack;
    QProcessEnvironment env = stack.clientEnvironment();
    env.insert("QT_QPA_PLATFORM", "wayland");
    env.insert("WAYLAND_DISPLAY", stack.waylandDisplay());
    DriverRun d({"--capture", "x11"}, {}, env);
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 20; })) << d.program.err();
    stack.stopCompositor();
    EXPECT_NE(d.program.wait(), -1) << d.program.err();
    d.pty->read(d.stream, 300);
    expectEndsDark(d.stream);
}

} // namespace
} // namespace lumora::test
