// The RND mode: drawing new target colours, and fading the current colours toward them.
#include <cmath>
#include <limits>

#include "core_fakes.hpp"
#include "random/fade.hpp"
#include "random/gen_target.hpp"

namespace lumora::test {
namespace {

constexpr RndSettings kBrightEach{true, false};
constexpr double kLargestDraw = 1.0 - 0x1.0p-53;

using Rgb = std::array<i16, 3>;

// Channel 0..8 is zone * 3 + colour (red, green, blue).
i16& cur(ControllerState& s, int ch) { return (ch % 3 == 0 ? s.CurR : ch % 3 == 1 ? s.CurG : s.CurB)[static_cast<std::size_t>(ch / 3)]; }
i16& target(ControllerState& s, int ch) { return (ch % 3 == 0 ? s.TargetR : ch % 3 == 1 ? s.TargetG : s.TargetB)[static_cast<std::size_t>(ch / 3)]; }
Rgb targetOf(ControllerState s, int zone) { return {target(s, zone * 3), target(s, zone * 3 + 1), target(s, zone * 3 + 2)}; }
Rgb currentOf(ControllerState s, int zone) { return {cur(s, zone * 3), cur(s, zone * 3 + 1), cur(s, zone * 3 + 2)}; }
std::array<Rgb, 3> targets(const ControllerState& s) { return {targetOf(s, 0), targetOf(s, 1), targetOf(s, 2)}; }

TEST(GenTargetColor, WorkedExampleThenOneColourAndTheNegativeBlueBudgetOfEachZone)
{
    ControllerState s;
    ScriptedRandom random({0.5, 0.5, 0.5, 0.25, 0.5, 0.75, 0.75, 0.125, 0.5, 0.875, 0.5, 0.5});
    GenTargetColor(s, random, kBrightEach);
    EXPECT_EQ(targets(s), (std::array{Rgb{64, 96, 144}, Rgb{192, 8, 32}, Rgb{224, 16, 16}}));
    // One colour for all zones: its budgets come from zone 0's previous red 64 and blue 144.
    random.add({0.5, 0.5, 0.5});
    GenTargetColor(s, random, {true, true});
    EXPECT_EQ(targets(s), (std::array{Rgb{127, 95, 23}, Rgb{127, 95, 23}, Rgb{127, 95, 23}}));
    random.add(std::vector<double>(12, 0.5));
    GenTargetColor(s, random, kBrightEach);
    EXPECT_EQ(targets(s), (std::array{Rgb{128, 64, 53}, Rgb{128, 64, 53}, Rgb{128, 64, 53}}));
    // The all-colours style: trunc(u * 255) for each channel, or once for all zones.
    random.add({0.5, 0.25, 0.75, 0.0, kLargestDraw, 0.1, 0.2, 0.3, 0.4, 0.6, 0.7, 0.8, 0.9, 0.125, 0.375});
    GenTargetColor(s, random, {false, false});
    EXPECT_EQ(targets(s), (std::array{Rgb{0, 254, 25}, Rgb{51, 76, 102}, Rgb{152, 178, 204}})); // 0.6 lies below 3/5: 152.99...
    GenTargetColor(s, random, {false, true});
    EXPECT_EQ(targets(s), (std::array{Rgb{229, 31, 95}, Rgb{229, 31, 95}, Rgb{229, 31, 95}}));
    EXPECT_EQ(random.taken(), 42u);
    ScriptedRandom outside({1.0});
    EXPECT_THROW(GenTargetColor(s, outside, kBrightEach), std::domain_error);
    const double red200 = 199.5 / 255; // trunc(u * 255) = 199, + 1
    const struct { i16 previousBlue; double redDraw, blueDraw; i16 red, blue; } cases[] = {
        // Budget 255 - (1 + 255) = -1: trunc(u * -1) is 0 for every draw.
        {255, 0.0, 0.0, 1, 1}, {255, 0.0, kLargestDraw, 1, 1},
        // Budget 255 - (255 + 255) = -255, the lowest there is.
        {255, kLargestDraw, 0.0, 255, 1}, {255, kLargestDraw, 0.5, 255, 0},
        // Budget 255 - (200 + 200) = -145: 1 only while u * 145 < 1. The double 1.0 / 145 lies just
        // below 1/145: its product rounded to double is exactly 1.0, but the exact product is below 1.
        {200, red200, 1.0 / 145, 200, 1}, {200, red200, std::nextafter(1.0 / 145, 1.0), 200, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "previous blue " << c.previousBlue << ", blue draw " << c.blueDraw);
        ControllerState z;
        z.TargetB.fill(c.previousBlue);
        ScriptedRandom draws({0.5, 0.5, 0.5});
        for (int zone = 0; zone < kZoneCount; ++zone)
            draws.add({c.redDraw, 0.5, c.blueDraw});
        GenTargetColor(z, draws, kBrightEach);
        for (int zone = 0; zone < kZoneCount; ++zone)
            EXPECT_EQ(std::pair(targetOf(z, zone)[0], targetOf(z, zone)[2]), std::pair(c.red, c.blue)) << "zone " << zone;
    }
}

// trunc(u * 255) must be the integer part of the exact product. Doubles just below k / 255 give
// a product that rounds up to exactly k; the oracle multiplies in a type wide enough to be exact.
TEST(GenTargetColor, AllColoursTruncatesTheExactProduct)
{
    if (std::numeric_limits<long double>::digits < 61)
        GTEST_SKIP() << "long double cannot hold a 53 x 8 bit product exactly here";
    std::vector<double> draws = {0x1.0p-12, 0x1.fp-12, 0x1.0p-11, 0x1.0p-70}; // tiny ones, down to where a shift drops every bit
    for (int k = 0; k <= 255; ++k) {
        const double centre = k == 255 ? kLargestDraw : k / 255.0;
        draws.insert(draws.end(), {std::nextafter(centre, 0.0), centre, std::nextafter(centre, 1.0)});
    }
    for (const double u : draws) {
        if (u < 0.0 || u >= 1.0)
            continue;
        const auto expected = static_cast<i16>(std::trunc(static_cast<long double>(u) * 255));
        ControllerState s;
        ScriptedRandom random({u, u, u});
        GenTargetColor(s, random, {false, true});
        const Rgb grey{expected, expected, expected};
        ASSERT_EQ(targets(s), (std::array{grey, grey, grey})) << "u = " << u;
    }
}

// Drives rndTick as the controller does, recording what each zone send step sees.
struct Fade : testing::Test {
    bool tick(int step)
    {
        return rndTick(s, s, step, random, [this] { return ++settingsReads, random.add(std::vector<double>(12, 0.5)), kBrightEach; },
                       [this](int zone) { sent.emplace_back(zone, currentOf(s, zone)); });
    }
    // Ticks until the fade draws; the number of ticks taken.
    int ticksToDraw(int step)
    {
        int ticks = 1;
        for (; !tick(step) && ticks < 300; ++ticks) {}
        return ticks;
    }
    // A fresh fade with every channel at `level` on its target, but channel `ch` at `current` toward `goal`.
    void start(i16 level, int ch = 0, i16 current = 0, i16 goal = 0)
    {
        s = {};
        for (int c = 0; c < 9; ++c)
            cur(s, c) = target(s, c) = level;
        cur(s, ch) = current, target(s, ch) = goal;
        random = ScriptedRandom();
        sent.clear(), settingsReads = 0;
    }

    ControllerState s;
    ScriptedRandom random;
    int settingsReads = 0;
    std::vector<std::pair<int, Rgb>> sent;
};

TEST_F(Fade, StepOfFiveTableAndTheDrawWhenTheSlowestChannelArrives)
{
    // afterTicks: while another channel keeps the fade going
    const struct { i16 current, goal; bool arrivedAfterFirst; std::array<i16, 3> afterTicks; } cases[] = {
        {98, 100, true, {98, 98, 98}},  {95, 100, true, {100, 100, 100}}, {90, 100, false, {95, 100, 100}}, {103, 100, true, {98, 98, 98}},
        {108, 100, true, {103, 98, 98}}, {100, 100, true, {100, 100, 100}}, {3, 0, true, {-2, -2, -2}},       {0, 255, false, {5, 10, 15}},
        {255, 0, false, {250, 245, 240}}, {96, 100, true, {96, 96, 96}}, // up to 101, then down again as it is above
    };
    for (const auto& c : cases)
        for (int ch = 0; ch < 9; ++ch) {
            SCOPED_TRACE(testing::Message() << c.current << " toward " << c.goal << " on channel " << ch);
            // Alone: every other channel on its target, so the draw follows this channel's arrival.
            start(100, ch, c.current, c.goal);
            EXPECT_EQ(tick(5), c.arrivedAfterFirst);
            ASSERT_EQ(sent.size(), 3u);
            EXPECT_EQ(sent[static_cast<std::size_t>(ch / 3)].second[static_cast<std::size_t>(ch % 3)], c.afterTicks[0]);
            // With a far channel holding the fade open, the value evolves over three ticks.
            start(100, (ch + 4) % 9, 0, 255);
            cur(s, ch) = c.current;
            target(s, ch) = c.goal;
            for (std::size_t t = 0; t < 3; ++t) {
                EXPECT_FALSE(tick(5)) << "tick " << t + 1;
                EXPECT_EQ(cur(s, ch), c.afterTicks[t]) << "tick " << t + 1;
            }
        }
    EXPECT_THROW(tick(0), std::invalid_argument);
    // A channel at distance D arrives at the end of tick max(1, floor(D / s)); the fade draws at the
    // end of the tick in which its slowest channel arrives, and reads the settings once for it.
    for (int step = 1; step <= 5; ++step)
        for (int distance = -40; distance <= 40; ++distance) {
            SCOPED_TRACE(testing::Message() << "step " << step << ", distance " << distance);
            start(120, 4, static_cast<i16>(120 + distance), 120);
            // Other channels close to their targets, so this one decides.
            cur(s, 2) = static_cast<i16>(120 - (step - 1));
            cur(s, 7) = static_cast<i16>(120 + (step - 1) / 2);
            EXPECT_EQ(ticksToDraw(step), std::max(1, std::abs(distance) / step));
            EXPECT_EQ(settingsReads, 1);
        }
}

} // namespace
} // namespace lumora::test
