// The real driver on a headless Wayland desktop: colours read through the desktop portal reach the
// board; the desktop shares the screen only while AUTO is chosen and restores it from the kept
// permission when AUTO returns; a screen-sharing service that was away is asked through by itself;
// and the compositor going away leaves the zones dark.
#include "driver_run.hpp"
#include "support/portal_stack.hpp"
#include "zone_rest.hpp"

namespace lumora::test {
namespace {

// Failed reads: no point is lit or taken, every mean is 0, so the correction gives black, which
// the halving reaches exactly from above.
constexpr Zones kDark = same(0, 0, 0);

// The driver in portal capture on its own desktop, its window out of the zones' way.
class PortalCapture : public testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = PortalStack::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        stack.emplace();
        d.emplace(QStringList{"--capture", "portal"}, std::string(), stack->clientEnvironment());
        d->xvfb.x("xdotool", {"windowmove", "--sync", d->window(), "650", "700"}); // out of the X screen's way
    }

    // Paints the desktop until the zones rest on `rest`. The compositor sends a frame only when the
    // screen changes, and may miss a change, so the colour is set again every few seconds.
    bool shows(const char* colour, const Rest& rest)
    {
        return QTest::qWaitFor([&] { return stack->setBackground(colour), d->readUntil([&] { return rest.holds(d->lastTick()); }, 3000); }, 40000);
    }
    // Waits until the backend has logged `line`.
    bool backendLogs(const char* line)
    {
        return QTest::qWaitFor([&] { return stack->backendLog().find(line) != std::string::npos; }, 30000);
    }

    std::optional<PortalStack> stack;
    std::optional<DriverRun> d; // ends before the desktop it runs on
};

TEST_F(PortalCapture, ZonesFollowTheScreenThroughAnOutageOfTheScreenSharingService)
{
    d->click(kAutoButton);
    ASSERT_TRUE(backendLogs("stream state changed to \"streaming\"")) << d->program.err() << stack->logs();
    ASSERT_TRUE(shows("#30a0f0", kBlue)) << d->lastTickText() << stack->logs();
    EXPECT_TRUE(shows("#c86432", kOrange)) << d->lastTickText();

    // The backend goes away with its stream: AUTO reads failed points, the program runs on.
    stack->stopBackend();
    EXPECT_TRUE(d->settlesOn({kDark})) << d->lastTickText();
    // The capture asks again by itself while the backend is still away, and the portal ends that
    // request without an answer.
    EXPECT_TRUE(QTest::qWaitFor([&] { return stack->portalLog().find("A backend call failed") != std::string::npos; }, 30000))
        << stack->portalLog() << d->program.err();
    EXPECT_TRUE(d->program.running());

    // That was no refusal: once the backend is back, a later request gets the screen, offering the
    // permission kept from the first start, and nobody clicks.
    stack->startBackend();
    EXPECT_TRUE(shows("#30a0f0", kBlue)) << d->lastTickText() << d->program.err();
    EXPECT_TRUE(backendLogs("restore data available")) << stack->backendLog();
}

TEST_F(PortalCapture, OnlyAutoSharesTheScreenWhichTheKeptPermissionRestoresWithoutTheChooser)
{
    // Before AUTO the desktop is not asked: nothing is shared.
    ASSERT_TRUE(d->readUntil([&] { return d->count() >= 50; })) << d->program.err();
    EXPECT_EQ(stack->screenCasts(), 0);
    EXPECT_EQ(stack->backendLog().find("session_handle"), std::string::npos) << stack->backendLog();

    d->click(kAutoButton);
    ASSERT_TRUE(shows("#30a0f0", kBlue)) << d->lastTickText() << d->program.err() << stack->logs();
    EXPECT_EQ(stack->screenCasts(), 1);

    // Leaving AUTO ends the stream and the portal session: the desktop stops sharing the screen.
    d->click(kOffButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stack->screenCasts() == 0; }, kBound));
    EXPECT_TRUE(backendLogs("session closed")) << stack->backendLog();

    // Back in AUTO the kept permission restores the capture: the backend takes the restore data
    // instead of choosing a monitor.
    d->click(kAutoButton);
    EXPECT_TRUE(backendLogs("restore data available")) << stack->backendLog();
    EXPECT_TRUE(shows("#c86432", kOrange)) << d->lastTickText() << d->program.err();
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
