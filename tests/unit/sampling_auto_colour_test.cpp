// Correction of a zone's scan results into its lamp colour, and the smoothing toward it.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sampling/auto_colour.hpp"

namespace lumora {
namespace {

struct CorrectionCase {
    std::array<i16, 4> scan; // ScanR, ScanG, ScanB, ScanBright
    std::array<i16, 3> colour;
};

TEST(SamplingCorrectZone, TableOfScanResults)
{
    const CorrectionCase cases[] = {
        {{255, 255, 255, 255}, {280, 178, 204}},
        {{285, 0, 0, 85}, {0, 0, 0}},
        {{200, 100, 50, 116}, {127, 23, 5}},
        {{128, 128, 128, 128}, {141, 89, 102}},
        {{40, 30, 20, 30}, {33, 13, 9}},
        {{20, 200, 20, 255}, {51, 178, -25}},
        {{50, 5, 5, 255}, {280, -51, -25}},
        {{285, 128, 1, 127}, {139, 19, -25}},
        {{5, 50, 50, 255}, {51, 178, 204}},   // (10 + 10) * 2.55 is 51 only when rounded to double
        {{10, 10, 10, 255}, {280, 178, 203}}, // s = 0.1f is slightly above 0.1
        {{1, 10, 10, 255}, {50, 178, 203}},
        {{255, 255, 255, 0}, {0, 0, 0}},
        {{-1, 100, 100, 255}, {22, 178, 204}}, // a red mean of failed reads
        {{-1, 5, 5, 255}, {-25, 178, 203}},    // ... which can make red negative
    };
    for (int zone = 0; zone < kZoneCount; ++zone) {
        for (const auto& c : cases) {
            SCOPED_TRACE("zone " + std::to_string(zone) + ", scan " + std::to_string(c.scan[0]) + ","
                         + std::to_string(c.scan[1]) + "," + std::to_string(c.scan[2]) + ","
                         + std::to_string(c.scan[3]));
            ControllerState state;
            state.ScanR = c.scan[0];
            state.ScanG = c.scan[1];
            state.ScanB = c.scan[2];
            state.ScanBright = c.scan[3];
            state.AutoR = {7, 7, 7};
            correctZone(state, zone);
            const auto i = static_cast<std::size_t>(zone);
            EXPECT_EQ(state.AutoR[i], c.colour[0]);
            EXPECT_EQ(state.AutoG[i], c.colour[1]);
            EXPECT_EQ(state.AutoB[i], c.colour[2]);
            EXPECT_EQ(state.AutoR[(i + 1) % 3], 7); // other zones untouched
        }
    }
}

TEST(SamplingCorrectZone, ZoneOutsideZeroToTwoIsRefused)
{
    ControllerState state;
    EXPECT_THROW(correctZone(state, 3), std::out_of_range);
    EXPECT_THROW(smoothZone(state, -1), std::out_of_range);
}

// The zone send step's clamp: negatives first (red, green, blue), then values above 255.
void clamp(ControllerState& state, std::size_t i)
{
    for (auto* channel : {&state.CurR, &state.CurG, &state.CurB})
        if ((*channel)[i] < 0)
            (*channel)[i] = 0;
    for (auto* channel : {&state.CurR, &state.CurG, &state.CurB})
        if ((*channel)[i] > 255)
            (*channel)[i] = 255;
}

struct SmoothingCase {
    i16 from, toward;
    std::vector<int> ticks;
};

TEST(SamplingSmoothZone, HalfWayEachTickWithTheSendStepClamp)
{
    const SmoothingCase cases[] = {
        {0, 255, {128, 192, 224, 240, 248, 252, 254, 254, 254, 254}},
        {0, 280, {140, 210, 245, 255, 255, 255}},
        {0, 178, {89, 134, 156, 167, 172, 175, 176, 177, 178, 178}},
        {0, 204, {102, 153, 178, 191, 198, 201, 202, 203, 204, 204}},
        {255, 0, {128, 64, 32, 16, 8, 4, 2, 1, 0, 0}},
        {100, -50, {25, 0, 0}},
        {0, 1, {0, 0}},
        {2, 3, {2, 2}},
        {4, 3, {4, 4}},
        {1, 2, {2, 2}},
        {3, 2, {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("from " + std::to_string(c.from) + " toward " + std::to_string(c.toward));
        // The same sequence on every channel of zone 1.
        ControllerState state;
        state.CurR[1] = state.CurG[1] = state.CurB[1] = c.from;
        state.AutoR[1] = state.AutoG[1] = state.AutoB[1] = c.toward;
        for (std::size_t tick = 0; tick < c.ticks.size(); ++tick) {
            SCOPED_TRACE("tick " + std::to_string(tick + 1));
            smoothZone(state, 1);
            clamp(state, 1);
            EXPECT_EQ(state.CurR[1], c.ticks[tick]);
            EXPECT_EQ(state.CurG[1], c.ticks[tick]);
            EXPECT_EQ(state.CurB[1], c.ticks[tick]);
        }
        EXPECT_EQ(state.CurR[0], 0);
        EXPECT_EQ(state.CurR[2], 0);
    }
}

TEST(SamplingSmoothZone, BeforeTheClampAStepMayLeaveTheLampRange)
{
    ControllerState state;
    state.CurR[0] = 245;
    state.AutoR[0] = 280;
    state.CurG[0] = 25;
    state.AutoG[0] = -50;
    smoothZone(state, 0);
    EXPECT_EQ(state.CurR[0], 262);
    EXPECT_EQ(state.CurG[0], -12);
}

TEST(SamplingAutoColour, WhiteScreenFromBlackSettlesWithinNineTicks)
{
    ControllerState state;
    std::array<i16, 3> settled{};
    for (int tick = 0; tick < 9; ++tick) {
        state.ScanR = state.ScanG = state.ScanB = state.ScanBright = 255;
        correctZone(state, 2);
        smoothZone(state, 2);
        clamp(state, 2);
        settled = {state.CurR[2], state.CurG[2], state.CurB[2]};
    }
    EXPECT_EQ(settled, (std::array<i16, 3>{255, 178, 204}));
}

TEST(SamplingSmoothZone, DistanceWithoutASixteenBitMagnitudeOverflows)
{
    ControllerState state;
    state.CurR[0] = 0;
    state.AutoR[0] = -32768; // |0 - (-32768)| does not fit
    EXPECT_THROW(smoothZone(state, 0), OverflowError);
    state.CurR[0] = 255;
    state.AutoR[0] = -32512; // 32767 apart: still fits
    EXPECT_NO_THROW(smoothZone(state, 0));
}

} // namespace
} // namespace lumora
