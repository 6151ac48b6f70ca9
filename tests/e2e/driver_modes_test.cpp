// The real driver in AUTO and RND mode: what reaches the board for a known screen, and how the
// random fade moves.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "driver_run.hpp"
#include "pipeline.hpp"

namespace lumora::test {
namespace {

ZoneColours settleOn(Colour c, ZoneColours from) { return test::settleOn(c, from, {1920, 1080}); }

TEST(DriverAuto, SendsWhatThePipelineGivesForTheScreensColour)
{
    DriverRun d;
    // Out of the zones' way: the middle of the bottom two thirds is sampled by no zone.
    d.input.move(d.window(), 650, 700);
    RootPainter painter(d.xvfb.display());
    const Colour first = rgb(200, 100, 50);
    const Colour second = rgb(30, 160, 240);
    painter.fill(0, 0, 1920, 1080, first);
    d.click(kAutoButton);
    const ZoneColours atFirst = settleOn(first, {});
    EXPECT_TRUE(d.settlesOn({atFirst})) << d.describeLastTick();

    painter.fill(0, 0, 1920, 1080, second);
    const ZoneColours atSecond = settleOn(second, atFirst);
    EXPECT_NE(atSecond, atFirst);
    EXPECT_TRUE(d.settlesOn({atSecond})) << d.describeLastTick();
    // The same screen with red and blue swapped gives other lamp colours: the test would see it.
    EXPECT_NE(settleOn(rgb(240, 160, 30), atFirst), atSecond);
}

TEST(DriverRnd, StartsFromBlackAndMovesEachChannelByAtMostTheStep)
{
    DriverRun d;
    d.window();
    d.readUntil([&] { return d.packetCount() >= 20; });
    d.click(kRndButton);
    // The zone packets of a few hundred ticks.
    d.readUntil([&] {
        const auto all = d.sent();
        return std::ranges::count_if(all, [](const Bytes& p) { return p[0] != 3; }) >= 3 * 300;
    });
    d.process.signal(SIGTERM);
    EXPECT_EQ(d.process.wait(), 0);
    d.readRest();
    std::smatch m;
    const std::string err = d.process.errorOutput();
    const int skipped = std::regex_search(err, m, std::regex("skipped (\\d+) ticks")) ? std::stoi(m[1]) : 0;

    const auto sent = d.sent();
    std::array<std::optional<Bytes>, 3> last;
    int jumps = 0;
    for (std::size_t i = 0; i + 3 < sent.size(); ++i) { // the last three are the off packets
        const auto& p = sent[i];
        if (p[0] == 3)
            continue;
        auto& before = last[p[0]];
        if (!before) {
            EXPECT_EQ(p, (Bytes{p[0], 0, 0, 0, 13})) << "the first RND packets are black";
        }
        for (std::size_t c = 1; before && c <= 3; ++c) {
            const int diff = std::abs(p[c] - (*before)[c]);
            // Slider1 is 1: one step per tick; a tick the busy line skipped makes a double step.
            EXPECT_LE(diff, 2);
            jumps += diff == 2;
        }
        before = p;
    }
    EXPECT_LE(jumps, 9 * skipped);
    EXPECT_TRUE(last[0] && last[1] && last[2]);
}

} // namespace
} // namespace lumora::test
