// The real driver on headless GNOME and KDE desktops, each through its own portal backend, with
// the choice of the monitor kept as the desktop's dialog keeps it: the zones follow the screen's
// colours, hold the last frame while the screen stands still, and a second start is let through
// by the permission kept from the first, with nobody to answer a chooser.
#include <signal.h>

#include "driver_run.hpp"
#include "support/gnome_desktop.hpp"
#include "support/kde_desktop.hpp"
#include "zone_rest.hpp"

namespace lumora::test {
namespace {

template <typename Desktop>
class DesktopCapture : public testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = Desktop::unavailable(); !why.empty())
            GTEST_SKIP() << why;
        desktop.emplace();
        desktop->keepMonitorChoice();
    }

    // The driver with AUTO chosen, reading the screen through the portal; its window lives on a
    // private X server.
    std::unique_ptr<DriverRun> startAuto()
    {
        auto d = std::make_unique<DriverRun>(QStringList{"--capture", "portal"}, std::string(), desktop->clientEnvironment());
        d->click(kAutoButton);
        return d;
    }

    // Paints the screen until the zones rest on `rest`. The compositor sends a frame only when the
    // screen changes, and the first may come before the stream is linked, so the colour is
    // painted again every few seconds.
    bool shows(DriverRun& d, const char* colour, const Rest& rest)
    {
        return QTest::qWaitFor([&] { return desktop->setBackground(colour), d.readUntil([&] { return rest.holds(d.lastTick()); }, 3000); }, 40000);
    }

    void zonesFollowTheScreen()
    {
        const auto d = startAuto();
        ASSERT_TRUE(shows(*d, "#30a0f0", kBlue)) << d->lastTickText() << d->program.err() << desktop->logs();
        EXPECT_TRUE(shows(*d, "#c86432", kOrange)) << d->lastTickText();
    }

    // The compositor sends no frame while nothing changes on the screen: the capture lends the
    // last one to every tick, so the zones stay on the colour instead of going dark.
    void zonesHoldTheLastFrameWhileTheScreenStandsStill()
    {
        const auto d = startAuto();
        ASSERT_TRUE(shows(*d, "#c86432", kOrange)) << d->lastTickText() << d->program.err() << desktop->logs();
        const std::size_t still = d->count();
        ASSERT_TRUE(d->readUntil([&] { return d->count() >= still + 4 * 400; })) << d->program.err(); // 400 ticks, 4 s
        const std::vector<Bytes> sent = d->sent();
        for (std::size_t i = still; i < sent.size(); ++i)
            if (sent[i][0] < 3) { // a zone's packet
                ASSERT_TRUE(kOrange.holds(same(sent[i][1], sent[i][2], sent[i][3])))
                    << "packet " << i - still << " of the still screen: " << testing::PrintToString(sent[i]);
            }
    }

    // Nobody answers a chooser here: the second start reaches the screen only if the portal
    // restores the choice from the token that the first start left in the driver's token file.
    void aSecondStartUsesTheStoredTokenWithoutTheChooser()
    {
        {
            const auto first = startAuto();
            ASSERT_TRUE(shows(*first, "#30a0f0", kBlue)) << first->lastTickText() << first->program.err() << desktop->logs();
            first->program.signal(SIGTERM);
            ASSERT_EQ(first->program.wait(), 0) << first->program.err();
        }
        const auto second = startAuto();
        EXPECT_TRUE(shows(*second, "#c86432", kOrange)) << second->lastTickText() << second->program.err() << desktop->logs();
    }

    std::optional<Desktop> desktop;
};


using GnomeCapture = DesktopCapture<GnomeDesktop>;
using KdeCapture = DesktopCapture<KdeDesktop>;

TEST_F(GnomeCapture, ZonesFollowTheScreen) { zonesFollowTheScreen(); }
TEST_F(GnomeCapture, ZonesHoldTheLastFrameWhileTheScreenStandsStill) { zonesHoldTheLastFrameWhileTheScreenStandsStill(); }
TEST_F(GnomeCapture, ASecondStartUsesTheStoredTokenWithoutTheChooser) { aSecondStartUsesTheStoredTokenWithoutTheChooser(); }

TEST_F(KdeCapture, ZonesFollowTheScreen) { zonesFollowTheScreen(); }
TEST_F(KdeCapture, ZonesHoldTheLastFrameWhileTheScreenStandsStill) { zonesHoldTheLastFrameWhileTheScreenStandsStill(); }
TEST_F(KdeCapture, ASecondStartUsesTheStoredTokenWithoutTheChooser) { aSecondStartUsesTheStoredTokenWithoutTheChooser(); }

} // namespace
} // namespace lumora::test
