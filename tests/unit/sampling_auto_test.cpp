// The AUTO mode: correcting a zone's scan results into its lamp colour, smoothing toward it, one
// tick over the three zones, and applying the AUTO page's boxes, with proof that accepted settings
// cannot overflow a scan, a correction or a smoothing step.
#include <algorithm>
#include <cstdlib>

#include "core_fakes.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/auto_colour.hpp"
#include "sampling/auto_settings.hpp"
#include "sampling/scan_limits.hpp"
#include "sampling/zones.hpp"

namespace lumora::test {
namespace {

// The controller's zone send step: clamp negatives to 0, then values above 255.
void clamp(ControllerState& state, int zone)
{
    for (auto* channel : {&state.CurR, &state.CurG, &state.CurB})
        (*channel)[static_cast<std::size_t>(zone)] = std::clamp<i16>((*channel)[static_cast<std::size_t>(zone)], 0, 255);
}

TEST(SamplingCorrectZone, TableOfScanResults)
{
    const struct {
        std::array<i16, 4> scan; // ScanR, ScanG, ScanB, ScanBright
        std::array<i16, 3> colour;
    } cases[] = {
        {{255, 255, 255, 255}, {280, 178, 204}}, {{285, 0, 0, 85}, {0, 0, 0}},
        {{200, 100, 50, 116}, {127, 23, 5}},     {{128, 128, 128, 128}, {141, 89, 102}},
        {{40, 30, 20, 30}, {33, 13, 9}},         {{20, 200, 20, 255}, {51, 178, -25}},
        {{50, 5, 5, 255}, {280, -51, -25}},      {{285, 128, 1, 127}, {139, 19, -25}},
        {{5, 50, 50, 255}, {51, 178, 204}},   // (10 + 10) * 2.55 is 51 only when rounded to double
        {{10, 10, 10, 255}, {280, 178, 203}}, // s = 0.1f is slightly above 0.1
        {{1, 10, 10, 255}, {50, 178, 203}},      {{255, 255, 255, 0}, {0, 0, 0}},
        {{-1, 100, 100, 255}, {22, 178, 204}}, // a red mean of failed reads
        {{-1, 5, 5, 255}, {-25, 178, 203}},    // ... which can make red negative
    };
    for (int zone = 0; zone < kZoneCount; ++zone)
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "zone " << zone << ", scan " << c.scan[0] << "," << c.scan[1] << ","
                                            << c.scan[2] << "," << c.scan[3]);
            ControllerState state;
            state.ScanR = c.scan[0];
            state.ScanG = c.scan[1];
            state.ScanB = c.scan[2];
            state.ScanBright = c.scan[3];
            state.AutoR = {7, 7, 7};
            correctZone(state, zone);
            const auto i = static_cast<std::size_t>(zone);
            EXPECT_EQ((std::array<i16, 3>{state.AutoR[i], state.AutoG[i], state.AutoB[i]}), c.colour);
            EXPECT_EQ(state.AutoR[(i + 1) % 3], 7); // other zones untouched
        }
}

TEST(SamplingSmoothZone, HalfWayEachTickWithTheSendStepClamp)
{
    const struct {
        i16 from, toward;
        std::vector<i16> ticks;
    } cases[] = {
        {0, 255, {128, 192, 224, 240, 248, 252, 254, 254, 254}},
        {0, 280, {140, 210, 245, 255, 255}},
        {0, 178, {89, 134, 156, 167, 172, 175, 176, 177, 178, 178}},
        {255, 0, {128, 64, 32, 16, 8, 4, 2, 1, 0, 0}},
        {100, -50, {25, 0, 0}},
        {0, 1, {0, 0}},
        {2, 3, {2, 2}},
        {4, 3, {4, 4}},
        {1, 2, {2, 2}},
        {3, 2, {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " toward " << c.toward);
        // The same sequence on every channel of zone 1.
        ControllerState state;
        state.CurR[1] = state.CurG[1] = state.CurB[1] = c.from;
        state.AutoR[1] = state.AutoG[1] = state.AutoB[1] = c.toward;
        for (const i16 expected : c.ticks) {
            smoothZone(state, 1);
            clamp(state, 1);
            EXPECT_EQ((std::array<i16, 3>{state.CurR[1], state.CurG[1], state.CurB[1]}), (std::array<i16, 3>{expected, expected, expected}));
        }
        EXPECT_EQ(state.CurR[0], 0);
        EXPECT_EQ(state.CurR[2], 0);
    }
}

ControllerState stateAt(const std::string& w, const std::string& h)
{
    ControllerState state;
    EXPECT_EQ(applyAutoSettings(state, {"25", "50", "30", "50", "100"}), "");
    EXPECT_EQ(applyResolution(state, w, h), "");
    return state;
}

using Sent = std::tuple<int, int, int, int, int>; // zone, ScanR at the send, CurR, CurG, CurB

std::function<void(int)> sendStep(ControllerState& state, std::vector<Sent>& sent)
{
    return [&state, &sent](int zone) {
        clamp(state, zone);
        const auto i = static_cast<std::size_t>(zone);
        sent.emplace_back(zone, state.ScanR, state.CurR[i], state.CurG[i], state.CurB[i]);
    };
}

TEST(SamplingAutoBranch, OneCaptureForAllZonesThenEachZoneSentInOrder)
{
    PatternScreen screen([](int x, int) { return x < 853 ? rgb(255, 255, 255) : Colour{0}; }); // the right third black
    ControllerState state = stateAt("1280", "1024");
    std::vector<Sent> sent;
    AutoBranch branch;
    branch.tick(state, screen, scanSettings(state, true, false), sendStep(state, sent));
    EXPECT_EQ(screen.captures, 1);
    EXPECT_EQ(screen.capturedSnapshots, 3u);
    // White zones head half-way to (280, 178, 204); the black right zone stays black. Each send
    // sees its own zone's scan results.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 255, 140, 89, 102}, {1, 255, 140, 89, 102}, {2, 0, 0, 0, 0}}));
    sent.clear();
    branch.tick(state, screen, scanSettings(state, true, false), sendStep(state, sent));
    EXPECT_EQ(screen.captures, 2);
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 255, 210, 134, 153}, {1, 255, 210, 134, 153}, {2, 0, 0, 0, 0}}));
}

TEST(SamplingAutoBranch, MarkersGoToTheScreenAndAreNotReadBackInTheSameTick)
{
    // With steps of 1 the markers beside a point land on the points of the next row.
    ControllerState state = stateAt("40", "40");
    ASSERT_EQ(applyAutoSettings(state, {"1", "1", "30", "50", "100"}), "");
    ControllerState plainState = state;
    std::vector<Sent> plain, marked;
    FakeScreen plainScreen(40, 40, rgb(200, 60, 30)), screen(40, 40, rgb(200, 60, 30));
    AutoBranch plainBranch, branch;
    plainBranch.tick(plainState, plainScreen, scanSettings(plainState, true, false), sendStep(plainState, plain));
    branch.tick(state, screen, scanSettings(state, true, true), sendStep(state, marked));
    EXPECT_TRUE(plainScreen.marks.empty());
    EXPECT_EQ(screen.marks.size(), 4u * 3u * 279u);
    EXPECT_EQ(screen.marks.front(), std::make_pair(6, 6));
    // This tick scanned what was captured before any marker was drawn ...
    EXPECT_EQ(marked, plain);
    // ... and a later one sees the black markers (the simple style counts dark points) and draws none.
    marked.clear();
    plain.clear();
    branch.tick(state, screen, scanSettings(state, false, true), sendStep(state, marked));
    plainBranch.tick(plainState, plainScreen, scanSettings(plainState, false, false), sendStep(plainState, plain));
    ASSERT_EQ(marked.size(), 3u);
    EXPECT_LT(std::get<1>(marked[0]), std::get<1>(plain[0]));
    EXPECT_EQ(screen.marks.size(), 4u * 3u * 279u);
}

TEST(SamplingApplyAutoSettings, AcceptsWhatReadsSafelyAndRefusesTheRest)
{
    const struct {
        std::array<std::string, 5> texts;
        std::array<int, 5> applied; // StepX, StepY, Delta, Min1, Min2 when accepted
        std::string refusal;        // the start of the message when refused
    } cases[] = {
        {{"25px", "2 5", "2.5", "3.5", ""}, {25, 25, 2, 4, 0}, ""},
        {{"&H19", "5e1", "-127", "-32768", "-1"}, {25, 50, -127, -32768, -1}, ""},
        {{"-25", "-50", "32512", "32767", "32767"}, {-25, -50, 32512, 32767, 32767}, ""},
        {{"1", "1", "30", "50", "100"}, {1, 1, 30, 50, 100}, ""},
        {{"32767", "50", "30", "50", "100"}, {}, "Шаг Х: сканирование левой зоны (x 5..640) с шагом 32767 дойдёт до x = "},
        {{"0", "50", "30", "50", "100"}, {},
         "Шаг Х: 0 — не шаг (сканирование никогда не закончится); введите целое число пикселей от 1 до 31487"},
        {{"abc", "50", "30", "50", "100"}, {}, "Шаг Х: 0 — не шаг"},
        {{"25", "0.4", "30", "50", "100"}, {}, "Шаг Y: 0 — не шаг"},
        {{"99999", "50", "30", "50", "100"}, {}, "Шаг Х: «99999» читается как 99999, а нужно целое число"},
        {{"25", "32767.5", "30", "50", "100"}, {}, "Шаг Y: «32767.5» читается как"},
        {{"25", "50", "1e400", "50", "100"}, {}, "Дельта: «1e400» читается как бесконечность"},
        {{"25", "50", "30", "-40000", "100"}, {}, "Min-1:"},
        {{"25", "50", "30", "50", "&H8000"}, {}, "Min-2: «&H8000» читается как 32768"},
        // The lowest safe boost is -127 while failed reads are lit (Min-1 below 0), -(128 + Min-1)
        // while only a channel above Min-1 is boosted, and any at all once none can be.
        {{"25", "50", "-128", "-1", "100"}, {}, "Дельта: -128 при Min-1 = -1 выведет коррекцию"},
        {{"25", "50", "-128", "0", "100"}, {25, 50, -128, 0, 100}, ""},
        {{"25", "50", "-178", "50", "100"}, {25, 50, -178, 50, 100}, ""},
        {{"25", "50", "-179", "50", "100"}, {}, "Дельта: -179 при Min-1 = 50 выведет коррекцию цвета за её пределы; введите целое число от -178 до 32512"},
        {{"25", "50", "-382", "254", "100"}, {25, 50, -382, 254, 100}, ""},
        {{"25", "50", "-383", "254", "100"}, {}, "Дельта: -383"},
        {{"25", "50", "-32768", "255", "100"}, {25, 50, -32768, 255, 100}, ""},
        {{"25", "50", "32767", "255", "100"}, {25, 50, 32767, 255, 100}, ""},
        {{"25", "50", "32513", "254", "100"}, {}, "Дельта: 32513 поднимет канал цвета выше 32767"},
        // 636 x 1071 samples in the left zone: fine with a boost of 30, not with 32512.
        {{"1", "1", "32512", "50", "100"}, {}, "Дельта: усиление 32512 на 681156 точках в левой зоне"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts[0] + " | " + c.texts[1] + " | " + c.texts[2] + " | " + c.texts[3] + " | " + c.texts[4]);
        ControllerState state = stateAt("1920", "1080");
        const std::string message = applyAutoSettings(state, c.texts);
        const std::array<int, 5> applied{state.StepX, state.StepY, state.Delta, state.Min1, state.Min2};
        if (c.refusal.empty()) {
            EXPECT_EQ(message, "");
            EXPECT_EQ(applied, c.applied);
        } else {
            EXPECT_EQ(message.rfind(c.refusal, 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos);
            EXPECT_EQ(applied, (std::array<int, 5>{25, 50, 30, 50, 100}));
        }
    }
    // Steps that would walk off the coordinates at large resolutions.
    ControllerState wide = stateAt("32700", "1080"); // top zone x 5..32695
    EXPECT_EQ(applyAutoSettings(wide, {"100", "50", "30", "50", "100"}), "");
    EXPECT_EQ(applyAutoSettings(wide, {"1000", "50", "30", "50", "100"})
                  .rfind("Шаг Х: сканирование верхней зоны (x 5..32695) с шагом 1000 дойдёт до x = 33005", 0),
              0u);
    ControllerState tall = stateAt("1920", "32700"); // side zones y 5..32695
    EXPECT_EQ(applyAutoSettings(tall, {"25", "1000", "30", "50", "100"}).rfind("Шаг Y: сканирование левой зоны", 0), 0u);
    ControllerState huge = stateAt("32000", "32000");
    EXPECT_EQ(applyAutoSettings(huge, {"1", "1", "30", "50", "100"}).rfind("Шаг Х, Шаг Y: шаги 1 и 1 дают", 0), 0u);
}

TEST(SamplingApplyResolution, StoresOnlyZonesThatFitWithTheStepsInForce)
{
    const std::pair<std::string, std::string> refused[] = {
        {"40000", "1080"}, {"1920", "-1e400"}, {"1920", "32772"}, {"32772.5", "1080"},
        {"32772", "1080"}, // the top zone up to x 32767: 32755 + 25 leaves 16 bits
    };
    for (const auto& [w, h] : refused) {
        ControllerState s = stateAt("1920", "1080");
        EXPECT_NE(applyResolution(s, w, h), "") << w << " x " << h;
        EXPECT_EQ(s.ZoneX2, (ZoneArray{640, 1915, 1915})) << w << " x " << h;
        EXPECT_EQ(s.ZoneY2, (ZoneArray{1075, 360, 1075})) << w << " x " << h;
    }
    ControllerState state = stateAt("1280", "1024");
    EXPECT_EQ(applyResolution(state, "1920", "32772").rfind("Высота: при 1920 x 32772 сканирование левой зоны", 0), 0u);
    EXPECT_EQ(applyResolution(state, "", "abc"), ""); // empty rectangles: scans visit nothing
    EXPECT_EQ(state.ZoneX2, (ZoneArray{0, -5, -5}));
}

TEST(SamplingScanLimits, TheSumBoundIsExact)
{
    // With the largest boost every boosted channel is 32767: 65538 samples fit 32 bits, 65539 do not.
    ASSERT_EQ(maxSamples(kMaxDelta, 50), 65538);
    PatternScreen white([](int, int) { return rgb(255, 255, 255); });
    const ScanSettings boostAll{kMaxDelta, 50, -1, true, false};
    const ScanGrid fits{-16384, 16384, 0, 1, 1, 1}; // 32769 x 2
    const ScanGrid over{-16384, 16384, 0, 2, 1, 1};
    EXPECT_EQ(checkScan(fits, kMaxDelta, 50).fault, ScanFault::None);
    EXPECT_EQ(checkScan(over, kMaxDelta, 50).fault, ScanFault::Sums);
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

TEST(SamplingScanLimits, BoostBoundsKeepCorrectionAndSmoothingInRange)
{
    // Every mean a scan can give with a boost of -127..0 lies in -127..255; with 0..32512, in
    // -1..32767. Any three of them, any brightness, any current colour: no overflow.
    const std::vector<i16> negative{-127, -126, -2, -1, 1, 9, 10, 11, 100, 254, 255};
    const std::vector<i16> positive{-1, 1, 2, 10, 255, 256, 285, 1000, 32767};
    for (const auto* means : {&negative, &positive})
        for (i16 r : *means)
            for (i16 g : *means)
                for (i16 b : *means)
                    for (i16 bright : {0, 1, 255})
                        for (i16 cur : {0, 255}) {
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
    s.ScanR = s.ScanB = 1;
    s.ScanG = -128;
    s.ScanBright = 255;
    s.CurG = ZoneArray{255, 255, 255};
    correctZone(s, 0);
    EXPECT_EQ(s.AutoG[0], -32716);
    EXPECT_THROW(smoothZone(s, 0), OverflowError);
}

// Runs a tick over worst-case screens (saturated, failed, black, pure channels and mixtures) in
// both styles with markers on; true if any overflowed.
bool anyTickOverflows(const ControllerState& settings)
{
    const std::function<Colour(int, int)> patterns[] = {
        [](int, int) { return rgb(255, 255, 255); },
        [](int, int) { return kFailedPixel; },
        [](int, int) { return rgb(0, 255, 0); },
        [](int, int) { return rgb(11, 0, 0); },
        [](int x, int y) { return (x + y) % 2 ? rgb(255, 255, 255) : kFailedPixel; },
        [](int x, int y) { return (x + y) % 2 ? rgb(255, 255, 255) : rgb(1, 51, 1); }, // just above Min-1 50
        [](int x, int y) { return (static_cast<Colour>(x) * 7919u + static_cast<Colour>(y) * 104729u) & 0xFFFFFFu; },
    };
    for (const auto& pattern : patterns)
        for (bool processing : {true, false}) {
            PatternScreen screen(pattern);
            ControllerState s = settings;
            s.CurR = s.CurG = s.CurB = ZoneArray{255, 0, 255};
            try {
                AutoBranch().tick(s, screen, scanSettings(s, processing, true), [&s](int zone) { clamp(s, zone); });
            } catch (const OverflowError&) {
                return true;
            }
        }
    return false;
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

TEST(SamplingSettingsProperty, AcceptedSettingsNeverOverflowAndGridRefusalsAreReal)
{
    const std::pair<const char*, const char*> resolutions[] = {
        {"1280", "1024"}, {"32700", "40"}, {"40", "32700"}, {"32772", "32772"}, {"-32763", "-32763"}, {"300", "200"},
    };
    const char* stepsX[] = {"1", "25", "1000", "32767", "-1", "-32768"};
    const char* stepsY[] = {"1", "50", "3000", "-50"};
    // The lowest boost each Min-1 allows: failed reads lit (-2), only channels above 50 boosted.
    const std::pair<const char*, std::vector<const char*>> boosts[] = {{"-2", {"-127", "30", "32512"}},
                                                                        {"50", {"-178", "30", "32512"}}};
    int accepted = 0, refused = 0;
    for (const auto& [w, h] : resolutions)
        for (const char* sx : stepsX)
            for (const char* sy : stepsY)
                for (const auto& [min1, deltas] : boosts)
                for (const char* delta : deltas) {
                    SCOPED_TRACE(std::string(w) + " x " + h + ", steps " + sx + " " + sy + ", delta " + delta + ", Min-1 " + min1);
                    ControllerState state;
                    state.StepX = state.StepY = 1; // the zone check below uses these first
                    storeZones(state, computeZones(readNumber(w), readNumber(h)));
                    const std::string message = applyAutoSettings(state, {sx, sy, delta, min1, "-1"});
                    // Force the values to see what a refused setting would have done.
                    ControllerState forced = state;
                    forced.StepX = round16(readNumber(sx));
                    forced.StepY = round16(readNumber(sy));
                    forced.Delta = round16(readNumber(delta));
                    forced.Min1 = round16(readNumber(min1));
                    forced.Min2 = -1;
                    if (pointsPerTick(forced) > 40000) // more than a unit test should capture
                        continue;
                    if (message.empty()) {
                        ++accepted;
                        EXPECT_FALSE(anyTickOverflows(state)) << "accepted but overflowed";
                    } else {
                        ++refused;
                        EXPECT_TRUE(anyTickOverflows(forced)) << "refused without cause: " << message;
                    }
                }
    EXPECT_GT(accepted, 30);
    EXPECT_GT(refused, 15);
}

} // namespace
} // namespace lumora::test
