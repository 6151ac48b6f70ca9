// The real driver on headless sway and GNOME desktops, each through its own portal backend,
// with the choice of the monitor kept as the desktop's dialog keeps it (sway's backend picks its
// one output itself). Nobody answers a chooser here: what needs no click passes only through the
// kept permission. The driver is also a client of each desktop. `ctest -R Gnome` runs one
// desktop's tests alone.
#include <signal.h>

#include "driver_run.hpp"
#include "support/gnome_desktop.hpp"
#include "support/portal_stack.hpp"

#include <cstdlib>

namespace lumora::test {
namespace {

// Where AUTO's zones come to rest on a screen of one colour, worked out by hand from the rules in
// src/sampling (AUTO page defaults). Halving the gap each tick, a channel stops next to its aim:
// one below it coming from darker colours, one above coming from brighter ones (the desktop's own
// background while a painter's window changes), or on it. So each channel rests within one of it.
struct Rest {
    std::array<int, 3> aim;
    bool holds(const std::optional<Zones>& zones) const
    {
        const auto near = [&](const std::array<int, 3>& z) { return std::ranges::equal(z, aim, [](int a, int b) { return std::abs(a - b) <= 1; }); };
        return zones && std::ranges::all_of(*zones, near);
    }
};
// #30a0f0 = (48, 160, 240): mean 149, |48 - 149| > 100, blue boosted to 270; m = 270, s = 2.7f:
// R trunc((17.78 + 10) * 2.55) = 70, G trunc((59.26 - 30) * 2.55) = 74, B trunc((99.99999 - 20) * 2.55)
// = 203, times 149 / 255: (41, 43, 119).
constexpr Rest kBlue{{41, 43, 119}};
// #c86432 gives (127, 23, 5) (see driver_test.cpp).
constexpr Rest kOrange{{127, 23, 5}};
// Failed reads: no point is lit or taken, every mean is 0, so the correction gives black, which
// the halving reaches exactly from above.
constexpr Zones kDark = same(0, 0, 0);

// A kind of desktop: why it cannot run here (empty when it can), and how to start one.
struct Kind {
    const char* name;
    std::string (*unavailable)();
    std::unique_ptr<PortalDesktop> (*start)();
};
void PrintTo(const Kind& kind, std::ostream* os) { *os << kind.name; }
template <class Desktop>
Kind kind(const char* name)
{
    return {name, &Desktop::unavailable, [] () -> std::unique_ptr<PortalDesktop> { return std::make_unique<Desktop>(); }};
}

class DesktopCapture : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override
    {
        if (const std::string why = GetParam().unavailable(); !why.empty())
            GTEST_SKIP() << why;
        desktop = GetParam().start();
        desktop->keepMonitorChoice();
    }

    // The driver reading the screen through the portal, AUTO chosen unless told; its window lives
    // on a private X server.
    std::unique_ptr<DriverRun> start(bool chooseAuto = true)
    {
        auto d = std::make_unique<DriverRun>(QStringList{"--capture", "portal"}, std::string(), desktop->clientEnvironment());
        if (chooseAuto)
            d->click(kAutoButton);
        return d;
    }

    // Paints the screen until the zones rest on `rest`. The compositor sends a frame only when the
    // screen changes, and the first may come before the stream is linked, so the colour is
    // painted again every few seconds.
    bool shows(DriverRun& d, const char* colour, const Rest& rest)
    {
        const bool shown = QTest::qWaitFor([&] { return desktop->setBackground(colour), d.readUntil([&] { return rest.holds(d.lastTick()); }, 3000); }, 40000);
        EXPECT_TRUE(shown) << colour << ", " << d.lastTickText() << d.program.err() << desktop->logs();
        return shown;
    }

    std::unique_ptr<PortalDesktop> desktop; // outlives the drivers that run on it
};

TEST_P(DesktopCapture, ZonesFollowTheScreen)
{
    const auto d = start();
    ASSERT_TRUE(shows(*d, "#30a0f0", kBlue));
    shows(*d, "#c86432", kOrange);
}

// The compositor sends no frame while nothing changes on the screen: the capture lends the last
// one to every tick, so the zones stay on the colour instead of going dark.
TEST_P(DesktopCapture, ZonesHoldTheLastFrameWhileTheScreenStandsStill)
{
    const auto d = start();
    ASSERT_TRUE(shows(*d, "#c86432", kOrange));
    const std::size_t still = d->count();
    ASSERT_TRUE(d->readUntil([&] { return d->count() >= still + 4 * 400; })) << d->program.err(); // 400 ticks, 4 s
    const std::vector<Bytes> sent = d->sent();
    for (auto p = sent.begin() + static_cast<long>(still); p != sent.end(); ++p) // a zone's packet starts with 0, 1 or 2
        ASSERT_TRUE((*p)[0] >= 3 || kOrange.holds(same((*p)[1], (*p)[2], (*p)[3]))) << testing::PrintToString(*p);
}

// The second start reaches the screen only if the portal restores the choice from the token that
// the first start left in the driver's token file.
TEST_P(DesktopCapture, ASecondStartUsesTheStoredTokenWithoutTheChooser)
{
    {
        const auto first = start();
        ASSERT_TRUE(shows(*first, "#30a0f0", kBlue));
        first->program.signal(SIGTERM);
        ASSERT_EQ(first->program.wait(), 0) << first->program.err();
    }
    shows(*start(), "#c86432", kOrange);
}

// Before AUTO the desktop is not asked; leaving AUTO ends the stream and the portal session, so the
// desktop stops sharing the screen; back in AUTO the kept permission restores the capture.
TEST_P(DesktopCapture, SharesTheScreenOnlyWhileAutoIsChosen)
{
    const auto d = start(false);
    ASSERT_TRUE(d->readUntil([&] { return d->count() >= 200; })) << d->program.err();
    EXPECT_EQ(desktop->screenCasts(), 0);
    d->click(kAutoButton);
    ASSERT_TRUE(shows(*d, "#30a0f0", kBlue));
    EXPECT_EQ(desktop->screenCasts(), 1);
    d->click(kOffButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return desktop->screenCasts() == 0; }, kBound));
    d->click(kAutoButton);
    shows(*d, "#c86432", kOrange);
}

// The backend goes away with its stream for longer than the capture's first pause: AUTO reads
// failed points, and the capture's own request fails meanwhile. That was no refusal: once the
// backend is back, a later request gets the screen, and nobody clicks.
TEST_P(DesktopCapture, ColoursReturnWithoutAClickAfterTheBackendWasAway)
{
    const auto d = start();
    ASSERT_TRUE(shows(*d, "#30a0f0", kBlue));
    desktop->stopBackend();
    EXPECT_TRUE(d->settlesOn({kDark})) << d->lastTickText();
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop->portalLog().find("A backend call failed") != std::string::npos; }, 30000))
        << desktop->portalLog() << d->program.err();
    desktop->startBackend();
    shows(*d, "#c86432", kOrange);
}

// The driver as a client of the desktop: when the compositor ends, as at logout, Qt ends the
// program at once, and the zones go dark first.
TEST_P(DesktopCapture, TheCompositorGoingAwayLeavesTheZonesDark)
{
    QProcessEnvironment env = desktop->clientEnvironment();
    env.insert("QT_QPA_PLATFORM", "wayland");
    env.insert("WAYLAND_DISPLAY", desktop->waylandDisplay());
    DriverRun d({"--capture", "x11"}, {}, env);
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 20; })) << d.program.err();
    desktop->stopCompositor();
    EXPECT_NE(d.program.wait(), -1) << d.program.err();
    d.pty->read(d.stream, 300);
    expectEndsDark(d.stream);
}

INSTANTIATE_TEST_SUITE_P(Portal, DesktopCapture, testing::Values(kind<PortalStack>("Sway"), kind<GnomeDesktop>("Gnome")),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumora::test
