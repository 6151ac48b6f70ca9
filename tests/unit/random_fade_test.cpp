#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "random/fade.hpp"
#include "random_scripted_source.hpp"

namespace lumora::test {
namespace {

struct SentPacket {
    int zone;
    Rgb colour;
    bool operator==(const SentPacket&) const = default;
};

// Drives rndTick as the controller does: the zone send step clamps negatives to 0 first, then
// values above 255, stores them and records the packet it would send.
class Fade : public testing::Test {
protected:
    ControllerState s;
    ScriptedRandom random;
    RndSettings settings{true, false};
    int settingsReads = 0;
    std::vector<SentPacket> sent;
    std::function<void(int)> onSend; // extra check run inside the send step

    bool tick(int step)
    {
        return rndTick(
            s, step, random,
            [this] {
                ++settingsReads;
                random.add(std::vector<double>(settings.oneColour ? 3 : 12, 0.5));
                return settings;
            },
            [this](int zone) {
                if (onSend)
                    onSend(zone);
                const auto z = static_cast<std::size_t>(zone);
                for (i16* c : {&s.CurR[z], &s.CurG[z], &s.CurB[z]})
                    *c = std::max<i16>(*c, 0);
                for (i16* c : {&s.CurR[z], &s.CurG[z], &s.CurB[z]})
                    *c = std::min<i16>(*c, 255);
                sent.push_back({zone, currentOf(s, zone)});
            });
    }

    // Channel 0..8: zone * 3 + colour (red, green, blue).
    static i16& cur(ControllerState& st, int channel) { return channelOf(st.CurR, st.CurG, st.CurB, channel); }
    static i16& target(ControllerState& st, int channel)
    {
        return channelOf(st.TargetR, st.TargetG, st.TargetB, channel);
    }
    static i16& channelOf(ZoneArray& r, ZoneArray& g, ZoneArray& b, int channel)
    {
        ZoneArray* arrays[] = {&r, &g, &b};
        return (*arrays[channel % 3])[static_cast<std::size_t>(channel / 3)];
    }
    void setAll(i16 current, i16 goal)
    {
        for (int ch = 0; ch < 9; ++ch) {
            cur(s, ch) = current;
            target(s, ch) = goal;
        }
    }
};

struct StepCase {
    i16 current;
    i16 goal;
    bool arrivedAfterFirst;
    std::array<i16, 3> storedAfterTicks; // while another channel keeps the fade going
};

TEST_F(Fade, StepOfFiveTable)
{
    const StepCase cases[] = {
        {98, 100, true, {98, 98, 98}},
        {95, 100, true, {100, 100, 100}},
        {90, 100, false, {95, 100, 100}},
        {103, 100, true, {98, 98, 98}},
        {108, 100, true, {103, 98, 98}},
        {3, 0, true, {0, 0, 0}}, // -2 after the step, arrived, clamped by the send step
        {100, 100, true, {100, 100, 100}},
        {0, 255, false, {5, 10, 15}},
        {255, 0, false, {250, 245, 240}},
    };
    for (const auto& c : cases) {
        for (int channel = 0; channel < 9; ++channel) {
            SCOPED_TRACE(testing::Message() << c.current << " toward " << c.goal << " on channel " << channel);
            // Alone: every other channel on its target, so the draw follows this channel's arrival.
            s = {};
            setAll(100, 100);
            cur(s, channel) = c.current;
            target(s, channel) = c.goal;
            random = ScriptedRandom();
            sent.clear();
            EXPECT_EQ(tick(5), c.arrivedAfterFirst);
            EXPECT_EQ(random.taken(), c.arrivedAfterFirst ? 12u : 0u);
            ASSERT_EQ(sent.size(), 3u);
            const Rgb packet = sent[static_cast<std::size_t>(channel / 3)].colour;
            EXPECT_EQ((std::array<i16, 3>{packet.r, packet.g, packet.b})[channel % 3], c.storedAfterTicks[0]);

            // With a far channel holding the fade open, the value evolves over three ticks.
            s = {};
            setAll(100, 100);
            const int blocker = (channel + 4) % 9;
            cur(s, blocker) = 0;
            target(s, blocker) = 255;
            cur(s, channel) = c.current;
            target(s, channel) = c.goal;
            for (std::size_t t = 0; t < 3; ++t) {
                EXPECT_FALSE(tick(5)) << "tick " << t + 1;
                EXPECT_EQ(cur(s, channel), c.storedAfterTicks[t]) << "tick " << t + 1;
            }
        }
    }
}

// A channel at distance D arrives at the end of tick max(1, floor(D / s)); the fade draws at the
// end of the tick in which its slowest channel arrives.
TEST_F(Fade, DrawsWhenTheSlowestChannelArrives)
{
    for (int step = 1; step <= 5; ++step) {
        for (int distance = 0; distance <= 40; ++distance) {
            for (int direction : {1, -1}) {
                SCOPED_TRACE(testing::Message() << "step " << step << ", distance " << distance * direction);
                s = {};
                setAll(120, 120);
                // Other channels close to their targets, so this one decides.
                cur(s, 2) = static_cast<i16>(120 - (step - 1));
                cur(s, 7) = static_cast<i16>(120 + (step - 1) / 2);
                cur(s, 4) = static_cast<i16>(120 + direction * distance);
                random = ScriptedRandom();
                int ticks = 0;
                bool drew = false;
                while (!drew && ticks < 100) {
                    drew = tick(step);
                    ++ticks;
                }
                EXPECT_EQ(ticks, std::max(1, distance / step));
                EXPECT_EQ(settingsReads, 1);
                settingsReads = 0;
            }
        }
    }
}

TEST_F(Fade, StepOfOneEndsExactlyOnTarget)
{
    const std::vector<std::array<i16, 9>> starts = {
        {0, 0, 0, 0, 0, 0, 0, 0, 0},
        {255, 0, 17, 3, 200, 99, 0, 255, 128},
        {64, 96, 144, 192, 8, 32, 224, 16, 16},
    };
    const std::array<i16, 9> goals = {64, 96, 144, 192, 8, 32, 224, 16, 16};
    for (const auto& start : starts) {
        s = {};
        int largest = 0;
        for (int ch = 0; ch < 9; ++ch) {
            cur(s, ch) = start[static_cast<std::size_t>(ch)];
            target(s, ch) = goals[static_cast<std::size_t>(ch)];
            largest = std::max(largest, std::abs(goals[static_cast<std::size_t>(ch)] - start[static_cast<std::size_t>(ch)]));
        }
        random = ScriptedRandom();
        ControllerState atDraw;
        int ticks = 0;
        bool drew = false;
        while (!drew && ticks < 300) {
            atDraw = s;
            drew = tick(1);
            ++ticks;
        }
        EXPECT_EQ(ticks, std::max(1, largest));
        for (int zone = 0; zone < kZoneCount; ++zone)
            EXPECT_EQ(currentOf(s, zone), targetOf(atDraw, zone)) << "zone " << zone;
    }
}

TEST_F(Fade, OneChannelAwayHoldsTheDrawButEveryZoneIsSent)
{
    setAll(50, 54);
    cur(s, 5) = 44; // still five away after its step of 5
    EXPECT_FALSE(tick(5));
    EXPECT_EQ(settingsReads, 0);
    EXPECT_EQ(random.taken(), 0u);
    EXPECT_EQ(sent, (std::vector<SentPacket>{{0, {50, 50, 50}}, {1, {50, 50, 49}}, {2, {50, 50, 50}}}));
}

TEST_F(Fade, FirstTickAfterStartUpSendsBlackAndDraws)
{
    settings = {true, false};
    EXPECT_TRUE(tick(1));
    EXPECT_EQ(sent, (std::vector<SentPacket>{{0, {0, 0, 0}}, {1, {0, 0, 0}}, {2, {0, 0, 0}}}));
    EXPECT_EQ(settingsReads, 1);
    EXPECT_EQ(random.taken(), 12u);
    // Draws of 0.5 from zero targets: red 128, green trunc(0.5 * 127) + 1, blue trunc(0.5 * 127) + 1.
    for (int zone = 0; zone < kZoneCount; ++zone)
        EXPECT_EQ(targetOf(s, zone), (Rgb{128, 64, 64}));
    // The new targets take effect only from the next tick.
    for (int zone = 0; zone < kZoneCount; ++zone)
        EXPECT_EQ(currentOf(s, zone), (Rgb{0, 0, 0}));
}

TEST_F(Fade, ReadsTheSettingsAtTheDraw)
{
    settings = {false, true};
    EXPECT_TRUE(tick(3));
    EXPECT_EQ(random.taken(), 3u);
    EXPECT_EQ(targetOf(s, 0), (Rgb{127, 127, 127}));
}

TEST_F(Fade, EachZoneIsSentBeforeTheNextIsStepped)
{
    setAll(0, 200);
    onSend = [this](int zone) {
        for (int later = zone + 1; later < kZoneCount; ++later)
            EXPECT_EQ(currentOf(s, later), (Rgb{0, 0, 0})) << "zone " << later << " stepped before zone " << zone << " was sent";
        for (int earlier = 0; earlier <= zone; ++earlier)
            EXPECT_EQ(currentOf(s, earlier), (Rgb{4, 4, 4}));
    };
    EXPECT_FALSE(tick(4));
    EXPECT_EQ(sent.size(), 3u);
}

TEST_F(Fade, RejectsAStepBelowOne)
{
    EXPECT_THROW(tick(0), std::invalid_argument);
    EXPECT_THROW(tick(-2), std::invalid_argument);
    EXPECT_TRUE(sent.empty());
}

} // namespace
} // namespace lumora::test
