// Applying the AUTO page's boxes: what is accepted as the program reads it, what is refused, and
// proof that accepted settings cannot overflow a scan, a correction or a smoothing step.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sampling/auto_branch.hpp"
#include "sampling/auto_colour.hpp"
#include "sampling/auto_settings.hpp"
#include "sampling/scan_limits.hpp"
#include "sampling/zones.hpp"
#include "sampling_fake_screen.hpp"

namespace lumora {
namespace {

using Texts = std::array<std::string, 5>;
const Texts kDefaults{"25", "50", "30", "50", "100"};

ControllerState stateAt(const std::string& w, const std::string& h)
{
    ControllerState state;
    EXPECT_EQ(applyAutoSettings(state, kDefaults), "");
    EXPECT_EQ(applyResolution(state, w, h), "");
    return state;
}

struct SettingsCase {
    Texts texts;
    std::array<int, 5> applied; // StepX, StepY, Delta, Min1, Min2 when accepted
    std::string refusal;        // the start of the message when refused
};

TEST(SamplingApplyAutoSettings, AcceptsWhatReadsSafelyAndRefusesTheRest)
{
    const SettingsCase cases[] = {
        {{"25", "50", "30", "50", "100"}, {25, 50, 30, 50, 100}, ""},
        {{"25px", "2 5", "2.5", "3.5", ""}, {25, 25, 2, 4, 0}, ""},
        {{"&H19", "5e1", "-127", "-32768", "-1"}, {25, 50, -127, -32768, -1}, ""},
        {{"-25", "-50", "32512", "32767", "32767"}, {-25, -50, 32512, 32767, 32767}, ""},
        {{"1", "1", "30", "50", "100"}, {1, 1, 30, 50, 100}, ""},
        {{"30000", "30000", "30", "50", "100"}, {30000, 30000, 30, 50, 100}, ""},
        {{"32767", "50", "30", "50", "100"}, {}, "Шаг Х: the scan of the left zone (x 5..640) with a step of 32767"},
        {{"0", "50", "30", "50", "100"}, {}, "Шаг Х: 0 is not a step"},
        {{"abc", "50", "30", "50", "100"}, {}, "Шаг Х: 0 is not a step"},
        {{"25", "", "30", "50", "100"}, {}, "Шаг Y: 0 is not a step"},
        {{"0.4", "50", "30", "50", "100"}, {}, "Шаг Х: 0 is not a step"},
        {{"99999", "50", "30", "50", "100"}, {}, "Шаг Х: \"99999\" reads as 99999"},
        {{"25", "32767.5", "30", "50", "100"}, {}, "Шаг Y: \"32767.5\" reads as"},
        {{"25", "50", "1e400", "50", "100"}, {}, "Дельта: \"1e400\" reads as infinity"},
        {{"25", "50", "30", "-40000", "100"}, {}, "Min-1:"},
        {{"25", "50", "30", "50", "&H8000"}, {}, "Min-2: \"&H8000\" reads as 32768"},
        {{"25", "50", "-128", "50", "100"}, {}, "Дельта: -128"},
        {{"25", "50", "32513", "50", "100"}, {}, "Дельта: 32513"},
        // 636 x 1071 samples in the left zone: fine with a boost of 30, not with 32512.
        {{"1", "1", "32512", "50", "100"}, {}, "Дельта: a boost of 32512 over 681156 samples"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts[0] + " | " + c.texts[1] + " | " + c.texts[2] + " | " + c.texts[3] + " | " + c.texts[4]);
        ControllerState state = stateAt("1920", "1080");
        const ControllerState before = state;
        const std::string message = applyAutoSettings(state, c.texts);
        if (c.refusal.empty()) {
            EXPECT_EQ(message, "");
            EXPECT_EQ((std::array<int, 5>{state.StepX, state.StepY, state.Delta, state.Min1, state.Min2}), c.applied);
        } else {
            EXPECT_EQ(message.rfind(c.refusal, 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos);
            EXPECT_EQ((std::array<int, 5>{state.StepX, state.StepY, state.Delta, state.Min1, state.Min2}),
                      (std::array<int, 5>{before.StepX, before.StepY, before.Delta, before.Min1, before.Min2}));
        }
    }
}

TEST(SamplingApplyAutoSettings, AdviceNamesAWorkingRange)
{
    ControllerState state = stateAt("1920", "1080");
    EXPECT_EQ(applyAutoSettings(state, {"0", "50", "30", "50", "100"}),
              "Шаг Х: 0 is not a step (a scan would never end); enter a whole number of pixels from 1 to 31487");
}

TEST(SamplingApplyAutoSettings, StepsThatWouldWalkOffTheCoordinatesAreRefused)
{
    ControllerState state = stateAt("32700", "1080"); // top zone x 5..32695
    EXPECT_EQ(applyAutoSettings(state, {"100", "50", "30", "50", "100"}), "");
    const std::string message = applyAutoSettings(state, {"1000", "50", "30", "50", "100"});
    EXPECT_EQ(message.rfind("Шаг Х: the scan of the top zone (x 5..32695) with a step of 1000 would step to x = 33005", 0),
              0u)
        << message;
    EXPECT_EQ(state.StepX, 100);

    ControllerState tall = stateAt("1920", "32700"); // side zones y 5..32695
    EXPECT_EQ(applyAutoSettings(tall, {"25", "1000", "30", "50", "100"}).rfind("Шаг Y: the scan of the left zone", 0), 0u);

    ControllerState huge = stateAt("32000", "32000");
    EXPECT_EQ(applyAutoSettings(huge, {"1", "1", "30", "50", "100"}).rfind("Шаг Х, Шаг Y: steps of 1 and 1 take", 0), 0u);
}

TEST(SamplingApplyResolution, StoresZonesThatFitWithTheStepsInForce)
{
    ControllerState state = stateAt("1280", "1024");
    EXPECT_EQ(applyResolution(state, "1920", "1080"), "");
    EXPECT_EQ(state.ZoneX2, (ZoneArray{640, 1915, 1915}));
    EXPECT_EQ(applyResolution(state, "", "abc"), ""); // empty rectangles: scans visit nothing
    EXPECT_EQ(state.ZoneX2, (ZoneArray{0, -5, -5}));

    const std::pair<std::string, std::string> refused[] = {
        {"40000", "1080"},
        {"1920", "-1e400"},
        {"32772", "1080"}, // top zone up to x 32767: 32755 + 25 leaves 16 bits
        {"1920", "32772"},
        {"32772.5", "1080"},
    };
    for (const auto& [w, h] : refused) {
        SCOPED_TRACE(w + " x " + h);
        ControllerState s = stateAt("1920", "1080");
        const std::string message = applyResolution(s, w, h);
        EXPECT_NE(message, "");
        EXPECT_EQ(s.ZoneX2, (ZoneArray{640, 1915, 1915}));
        EXPECT_EQ(s.ZoneY2, (ZoneArray{1075, 360, 1075}));
    }
    ControllerState s = stateAt("1920", "1080");
    EXPECT_EQ(applyResolution(s, "40000", "1080").rfind("Width: \"40000\" reads as 40000", 0), 0u);
    EXPECT_EQ(applyResolution(s, "1920", "32772").rfind("Height: at 1920 x 32772 the scan of the left zone", 0), 0u);
}

TEST(SamplingScanLimits, TheSumBoundIsExact)
{
    // With the largest boost every boosted channel is 32767: 65538 samples fit 32 bits, 65539 do not.
    ASSERT_EQ(maxSamples(kMaxDelta), 65538);
    test::PatternScreen white([](int, int) { return rgb(255, 255, 255); });
    const ScanSettings boostAll{kMaxDelta, 50, -1, true, false};
    const ScanGrid fits{-16384, 16384, 0, 1, 1, 1}; // 32769 x 2
    const ScanGrid over{-16384, 16384, 0, 2, 1, 1};
    EXPECT_EQ(checkScan(fits, kMaxDelta).fault, ScanFault::None);
    EXPECT_EQ(checkScan(over, kMaxDelta).fault, ScanFault::Sums);
    for (const auto& [grid, throws] : {std::pair{fits, false}, std::pair{over, true}}) {
        Snapshot snapshot;
        layoutSnapshot(grid, snapshot);
        Snapshot* requests[] = {&snapshot};
        white.capture(requests);
        if (throws)
            EXPECT_THROW(ScanArea(grid, snapshot, boostAll, nullptr), OverflowError);
        else
            EXPECT_EQ(ScanArea(grid, snapshot, boostAll, nullptr).ScanG, 32767);
    }
}

TEST(SamplingScanLimits, NegativeBoostBoundKeepsCorrectionAndSmoothingInRange)
{
    // Every mean a scan can give with a boost of -127..0 lies in -127..255; with 0..32512, in
    // -1..32767. Any three of them, any brightness, any current colour: no overflow.
    const std::vector<i16> negative{-127, -126, -64, -2, -1, 1, 2, 9, 10, 11, 99, 100, 101, 254, 255};
    const std::vector<i16> positive{-1, 1, 2, 3, 10, 100, 255, 256, 285, 1000, 32766, 32767};
    for (const auto* means : {&negative, &positive})
        for (i16 r : *means)
            for (i16 g : *means)
                for (i16 b : *means)
                    for (i16 bright : {0, 1, 128, 255})
                        for (i16 cur : {0, 1, 254, 255}) {
                            ControllerState s;
                            s.ScanR = r;
                            s.ScanG = g;
                            s.ScanB = b;
                            s.ScanBright = bright;
                            s.CurR = s.CurG = s.CurB = ZoneArray{cur, cur, cur};
                            ASSERT_NO_THROW(correctZone(s, 0)) << r << "," << g << "," << b;
                            ASSERT_NO_THROW(smoothZone(s, 0)) << r << "," << g << "," << b;
                        }
    // One step lower and a current colour of 255 can be too far from the green target.
    ControllerState s;
    s.ScanR = 1;
    s.ScanG = -128;
    s.ScanB = 1;
    s.ScanBright = 255;
    s.CurG = ZoneArray{255, 255, 255};
    correctZone(s, 0);
    EXPECT_EQ(s.AutoG[0], -32716);
    EXPECT_THROW(smoothZone(s, 0), OverflowError);
}

// Worst-case screens: saturated, failed, black, pure channels and mixtures of them.
std::vector<test::PatternScreen> worstCaseScreens()
{
    std::vector<test::PatternScreen> screens;
    for (Colour c : {rgb(255, 255, 255), kFailedPixel, Colour{0}, rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(11, 0, 0)})
        screens.emplace_back([c](int, int) { return c; });
    screens.emplace_back([](int x, int y) { return (x + y) % 2 ? rgb(255, 255, 255) : kFailedPixel; });
    screens.emplace_back([](int x, int y) { return (x * 3 + y) % 3 == 0 ? rgb(255, 0, 0) : (x % 2 ? rgb(0, 0, 1) : Colour{0}); });
    screens.emplace_back([](int x, int y) {
        return (static_cast<Colour>(x) * 7919u + static_cast<Colour>(y) * 104729u) & 0xFFFFFFu;
    });
    return screens;
}

// Points captured per tick: every sampled row across the span its columns cover.
long long pointsPerTick(const ControllerState& s)
{
    long long total = 0;
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const ScanGrid g = zoneGrid(s, zone);
        if (g.xStep == 0 || g.yStep == 0)
            continue;
        const AxisWalk columns = walkAxis(g.x1, g.x2, g.xStep);
        total += walkAxis(g.y1, g.y2, g.yStep).count * (std::abs(columns.last - columns.first) + 1);
    }
    return total;
}

// Runs ticks over every worst-case screen in both styles with markers on; true if any overflowed.
bool anyTickOverflows(const ControllerState& settings)
{
    for (auto& screen : worstCaseScreens())
        for (bool processing : {true, false}) {
            ControllerState s = settings;
            s.CurR = s.CurG = s.CurB = ZoneArray{255, 0, 255};
            AutoBranch branch;
            try {
                branch.tick(s, screen, scanSettings(s, processing, true), [&s](int zone) {
                        const auto i = static_cast<std::size_t>(zone);
                        for (auto* channel : {&s.CurR, &s.CurG, &s.CurB})
                            (*channel)[i] = std::clamp<i16>((*channel)[i], 0, 255);
                    });
            } catch (const OverflowError&) {
                return true;
            }
        }
    return false;
}

TEST(SamplingSettingsProperty, AcceptedSettingsNeverOverflowAndGridRefusalsAreReal)
{
    const std::pair<const char*, const char*> resolutions[] = {
        {"1280", "1024"}, {"32700", "40"}, {"40", "32700"}, {"32772", "32772"}, {"-32763", "-32763"}, {"0", "0"},
        {"300", "200"},
    };
    const char* stepsX[] = {"1", "7", "25", "1000", "32767", "-1", "-25", "-32768"};
    const char* stepsY[] = {"1", "50", "3000", "-1", "-50"};
    const char* deltas[] = {"-127", "30", "32512"};
    const long long workBound = 40000; // points per tick worth capturing in a unit test

    int accepted = 0, refused = 0, ran = 0;
    for (const auto& [w, h] : resolutions)
        for (const char* sx : stepsX)
            for (const char* sy : stepsY)
                for (const char* delta : deltas) {
                    SCOPED_TRACE(std::string(w) + " x " + h + ", steps " + sx + " " + sy + ", delta " + delta);
                    ControllerState state;
                    state.StepX = state.StepY = 1; // the zone check below uses these first
                    ControllerState zones;
                    storeZones(zones, computeZones(readNumber(w), readNumber(h)));
                    state.ZoneX1 = zones.ZoneX1;
                    state.ZoneX2 = zones.ZoneX2;
                    state.ZoneY1 = zones.ZoneY1;
                    state.ZoneY2 = zones.ZoneY2;
                    const std::string message = applyAutoSettings(state, {sx, sy, delta, "-2", "-1"});
                    // Force the values to see what a refused setting would have done.
                    ControllerState forced = state;
                    forced.StepX = round16(readNumber(sx));
                    forced.StepY = round16(readNumber(sy));
                    forced.Delta = round16(readNumber(delta));
                    forced.Min1 = -2;
                    forced.Min2 = -1;
                    if (pointsPerTick(forced) > workBound)
                        continue;
                    ++ran;
                    if (message.empty()) {
                        ++accepted;
                        EXPECT_FALSE(anyTickOverflows(state)) << "accepted but overflowed";
                    } else {
                        ++refused;
                        EXPECT_TRUE(anyTickOverflows(forced)) << "refused without cause: " << message;
                    }
                }
    EXPECT_GT(accepted, 50);
    EXPECT_GT(refused, 20);
    EXPECT_GT(ran, 100);
}

} // namespace
} // namespace lumora
