// The AUTO mode: correcting a zone's scan results into its lamp colour, smoothing toward it, one
// tick over the three zones, and applying the AUTO page's boxes, with proof that accepted settings
// cannot overflow a scan, a correction or a smoothing step.
#include <cstdlib>

#include "core_fakes.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/auto_colour.hpp"
#include "sampling/auto_settings.hpp"
#include "sampling/scan_limits.hpp"
#include "sampling/zones.hpp"

namespace lumora::test {
namespace {

using Rgb = std::array<i16, 3>;
Rgb autoOf(const ControllerState& s, std::size_t i) { return {s.AutoR[i], s.AutoG[i], s.AutoB[i]}; }
Rgb curOf(const ControllerState& s, std::size_t i) { return {s.CurR[i], s.CurG[i], s.CurB[i]}; }

TEST(SamplingAutoColour, CorrectionTableOfScanResultsThenSmoothingHalfTheGapEachTickRoundedHalfToEven)
{
    // scan: ScanR, ScanG, ScanB, ScanBright
    const struct { std::array<i16, 4> scan; Rgb colour; } cases[] = {
        {{255, 255, 255, 255}, {280, 178, 204}}, {{285, 0, 0, 85}, {0, 0, 0}},       {{200, 100, 50, 116}, {127, 23, 5}},
        {{128, 128, 128, 128}, {141, 89, 102}},  {{40, 30, 20, 30}, {33, 13, 9}},      {{20, 200, 20, 255}, {51, 178, -25}},
        {{50, 5, 5, 255}, {280, -51, -25}},      {{285, 128, 1, 127}, {139, 19, -25}},
        {{5, 50, 50, 255}, {51, 178, 204}},   // (10 + 10) * 2.55 is 51 only when rounded to double
        {{10, 10, 10, 255}, {280, 178, 203}}, // s = 0.1f is slightly above 0.1
        {{1, 10, 10, 255}, {50, 178, 203}},      {{255, 255, 255, 0}, {0, 0, 0}},
        {{-1, 100, 100, 255}, {22, 178, 204}}, // a red mean of failed reads
        {{-1, 5, 5, 255}, {-25, 178, 203}},    // ... which can make red negative
        {{0, 100, 100, 255}, {0, 0, 0}},         {{100, 0, 100, 255}, {0, 0, 0}}, // any zero mean: black
        {{100, 100, 0, 255}, {0, 0, 0}},         {{100, 100, -1, 255}, {280, 178, -53}}};
    for (std::size_t zone = 0; zone < kZoneCount; ++zone)
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "zone " << zone << ", scan " << testing::PrintToString(c.scan));
            ControllerState s;
            std::tie(s.ScanR, s.ScanG, s.ScanB, s.ScanBright) = std::tuple(c.scan[0], c.scan[1], c.scan[2], c.scan[3]);
            s.AutoR = s.AutoG = s.AutoB = {7, 7, 7};
            correctZone(s, static_cast<int>(zone));
            EXPECT_EQ(autoOf(s, zone), c.colour);
            EXPECT_EQ(autoOf(s, (zone + 1) % 3), (Rgb{7, 7, 7})); // other zones untouched
        }
    ControllerState s;
    EXPECT_THROW(correctZone(s, 3), std::out_of_range);
    EXPECT_THROW(smoothZone(s, -1), std::out_of_range);
    const struct { i16 from, toward; std::vector<i16> ticks; } smoothing[] = {
        {0, 255, {128, 192, 224, 240, 248, 252, 254, 254}}, {0, 280, {140, 210, 245, 262, 271, 276, 278, 279, 280, 280}},
        {0, 178, {89, 134, 156, 167, 172, 175, 176, 177, 178, 178}}, {255, 0, {128, 64, 32, 16, 8, 4, 2, 1, 0, 0}},
        {100, -50, {25, -12, -31, -40, -45, -48, -49, -50}}, {0, 1, {0}}, {2, 3, {2}}, {4, 3, {4}}, {1, 2, {2}}, {3, 2, {2}}};
    for (const auto& c : smoothing) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " toward " << c.toward);
        ControllerState z; // the same sequence on every channel of zone 1
        z.CurR[1] = z.CurG[1] = z.CurB[1] = c.from;
        z.AutoR[1] = z.AutoG[1] = z.AutoB[1] = c.toward;
        for (const i16 expected : c.ticks) {
            smoothZone(z, 1);
            EXPECT_EQ(curOf(z, 1), (Rgb{expected, expected, expected}));
        }
        EXPECT_EQ(std::pair(curOf(z, 0), curOf(z, 2)), std::pair(Rgb{0, 0, 0}, Rgb{0, 0, 0}));
    }
}

ControllerState stateAt(const std::string& w, const std::string& h)
{
    ControllerState state;
    EXPECT_EQ(applyAutoSettings(state, {"25", "50", "30", "50", "100"}), "");
    EXPECT_EQ(applyResolution(state, w, h), "");
    return state;
}

using Sent = std::tuple<std::size_t, int, Rgb>; // zone, ScanR at the send, CurR, CurG, CurB

TEST(SamplingAutoBranch, OneCaptureForAllZonesEachSentInOrderAndMarkersNotReadBackInTheSameTick)
{
    FakeScreen screen(1280, 1024, [](int x, int) { return x < 853 ? rgb(255, 255, 255) : Colour{0}; }); // the right third black
    ControllerState state = stateAt("1280", "1024");
    std::vector<Sent> sent;
    const auto send = [&](int zone) { sent.emplace_back(zone, state.ScanR, curOf(state, static_cast<std::size_t>(zone))); };
    AutoBranch().tick(state, screen, scanSettings(state, true, false), send);
    EXPECT_EQ(screen.captures, 1);
    // White zones head half-way to (280, 178, 204); the black right zone stays black. Each send
    // sees its own zone's scan results.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 255, {140, 89, 102}}, {1, 255, {140, 89, 102}}, {2, 0, {0, 0, 0}}}));
    // With steps of 1 the markers beside a point land on the points of the next row.
    ControllerState tiny = stateAt("40", "40");
    ASSERT_EQ(applyAutoSettings(tiny, {"1", "1", "30", "50", "100"}), "");
    FakeScreen plain(40, 40, rgb(200, 60, 30)), marked(40, 40, rgb(200, 60, 30));
    for (const bool processing : {true, false}) {
        ControllerState a = tiny, b = tiny;
        AutoBranch().tick(a, plain, scanSettings(a, processing, false), nullptr);
        AutoBranch().tick(b, marked, scanSettings(b, processing, true), nullptr);
        EXPECT_TRUE(plain.marks.empty());
        // The first tick scanned what was captured before any marker was drawn; the next one sees
        // the black markers (the simple style counts dark points) and draws none.
        EXPECT_EQ(marked.marks.size(), 4u * 3u * 279u);
        EXPECT_EQ(marked.marks.front(), std::make_pair(6, 6));
        EXPECT_EQ(b.ScanR == a.ScanR, processing) << b.ScanR << " " << a.ScanR;
    }
}

TEST(SamplingAutoBranch, ScansStandWhileTheScreenSaysNothingChangedUntilSettingsStepsOrMarkersAskAnew)
{
    const std::function<Colour(int, int)> white = [](int, int) { return rgb(255, 255, 255); }, black = [](int, int) { return Colour{0}; };
    FakeScreen screen(1280, 1024, white);
    ControllerState state = stateAt("1280", "1024");
    AutoBranch branch; std::vector<int> scanR; // zone 0's, tick by tick
    const auto tick = [&](const std::function<Colour(int, int)>& shown, bool unchanged, bool processing, bool markers) {
        screen.pattern = shown, screen.unchanged = unchanged; // the fake fills the snapshots all the same
        branch.tick(state, screen, scanSettings(state, processing, markers), [&](int zone) { if (zone == 0) scanR.push_back(state.ScanR); });
    };
    tick(white, false, true, false);
    tick(black, true, true, false);  // said unchanged: the white scans stand
    tick(black, true, false, false); // another style: scanned anew
    tick(white, true, false, false);
    ASSERT_EQ(applyAutoSettings(state, {"10", "20", "30", "50", "100"}), "");
    tick(white, true, false, false); // other steps
    tick(black, true, true, true);
    tick(white, true, true, true);   // markers are drawn on every tick, so every tick scans
    EXPECT_EQ(scanR, (std::vector<int>{255, 255, 0, 0, 255, 0, 255}));
}

TEST(SamplingApplySettings, AcceptsWhatReadsSafelyAndRefusesTheRestNamingTheBox)
{
    // applied: StepX, StepY, Delta, Min1, Min2 when accepted
    // refusal: the start of the message when refused
    const struct { std::array<std::string, 5> texts; std::array<int, 5> applied; std::string refusal; const char *w = "1920", *h = "1080"; } cases[] = {
        {{"25px", "2 5", "2.5", "3.5", ""}, {25, 25, 2, 4, 0}, ""}, {{"&H19", "5e1", "-127", "-32768", "-1"}, {25, 50, -127, -32768, -1}, ""},
        {{"-25", "-50", "32512", "32767", "32767"}, {-25, -50, 32512, 32767, 32767}, ""}, {{"1", "1", "30", "50", "100"}, {1, 1, 30, 50, 100}, ""},
        {{"32767", "50", "30", "50", "100"}, {}, "Шаг Х: сканирование левой зоны (x 5..640) с шагом 32767 дойдёт до x = 32772"},
        {{"0", "50", "30", "50", "100"}, {}, "Шаг Х: 0 — не шаг (сканирование никогда не закончится); введите целое число пикселей от 1 до 31487"},
        {{"25", "0.4", "30", "50", "100"}, {}, "Шаг Y: 0 — не шаг (сканирование никогда не закончится); введите целое число пикселей от 1 до 32762"},
        {{"99999", "50", "30", "50", "100"}, {}, "Шаг Х: «99999» читается как 99999, а нужно целое число от -32768 до 32767"},
        {{"25", "32767.5", "30", "50", "100"}, {}, "Шаг Y: «32767.5» читается как"},
        {{"25", "50", "1e400", "50", "100"}, {}, "Дельта: «1e400» читается как бесконечность"},
        {{"25", "50", "30", "-99999.01", "100"}, {}, "Min-1: «-99999.01» читается как -99999.01, а нужно"}, // 15 digits: no binary noise
        {{"25", "50", "30", "50", "&H8000"}, {}, "Min-2: «&H8000» читается как 32768"},
        // The lowest safe boost is -127 while failed reads are lit (Min-1 below 0), -(128 + Min-1)
        // while only a channel above Min-1 is boosted, and any at all once none can be.
        {{"25", "50", "-128", "-1", "100"}, {}, "Дельта: -128 при Min-1 = -1 выведет коррекцию цвета за её пределы; введите целое число от -127 до 32512"},
        {{"25", "50", "-128", "0", "100"}, {25, 50, -128, 0, 100}, ""}, {{"25", "50", "-178", "50", "100"}, {25, 50, -178, 50, 100}, ""},
        {{"25", "50", "-179", "50", "100"}, {}, "Дельта: -179 при Min-1 = 50 выведет коррекцию цвета за её пределы; введите целое число от -178 до 32512"},
        {{"25", "50", "-382", "254", "100"}, {25, 50, -382, 254, 100}, ""}, {{"25", "50", "-383", "254", "100"}, {}, "Дельта: -383 при Min-1 = 254"},
        {{"25", "50", "-32768", "255", "100"}, {25, 50, -32768, 255, 100}, ""}, {{"25", "50", "32767", "255", "100"}, {25, 50, 32767, 255, 100}, ""},
        {{"25", "50", "32513", "50", "100"}, {}, "Дельта: 32513 поднимет канал цвета выше 32767; введите целое число от -178 до 32512"},
        // 636 x 1071 samples in the left zone: fine with a boost of 30, not with 32512.
        {{"1", "1", "32512", "50", "100"}, {}, "Дельта: усиление 32512 на 681156 точках в левой зоне может переполнить суммы цветов; введите не больше 2897"},
        // Both steps 0: the advice for one takes the other as 1; 64 x 1071 samples are too many for the boost.
        {{"0", "0", "32512", "50", "100"}, {}, "Шаг Х: 0 — не шаг (сканирование никогда не закончится); введите целое число пикселей от 11 до 31487"},
        // Steps that walk off the coordinates at large resolutions, or take too many samples.
        {{"100", "50", "30", "50", "100"}, {100, 50, 30, 50, 100}, "", "32700"},
        // The advice is the first run of steps that fit: 86 would reach 32771, though 87 fits again.
        {{"1000", "50", "30", "50", "100"}, {}, "Шаг Х: сканирование верхней зоны (x 5..32695) с шагом 1000 дойдёт до x = 33005, за пределы 16 бит; введите целое число пикселей от 1 до 85", "32700"},
        {{"25", "1000", "30", "50", "100"}, {}, "Шаг Y: сканирование левой зоны (y 5..32695) с шагом 1000 дойдёт до y = 33005, за пределы 16 бит; введите целое число пикселей от 1 до 85", "1920", "32700"},
        {{"1", "1", "30", "50", "100"}, {}, "Шаг Х, Шаг Y: шаги 1 и 1 дают 341120033 точек в левой зоне", "32000", "32000"},
        {{"0", "50", "30", "50", "100"}, {}, "Шаг Х: 0 — не шаг (сканирование никогда не закончится); введите целое число пикселей от 1 до 32767", "", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts[0] + " | " + c.texts[1] + " | " + c.texts[2] + " | " + c.texts[3] + " | " + c.texts[4] + " at " + c.w + " x " + c.h);
        ControllerState state = stateAt(c.w, c.h);
        const std::string message = applyAutoSettings(state, c.texts);
        EXPECT_TRUE(message.starts_with(c.refusal) && message.empty() == c.refusal.empty()) << message;
        EXPECT_EQ((std::array<int, 5>{state.StepX, state.StepY, state.Delta, state.Min1, state.Min2}),
                  (c.refusal.empty() ? c.applied : std::array<int, 5>{25, 50, 30, 50, 100}));
    }
    const std::tuple<const char*, const char*, std::string> refused[] = {
        {"40000", "1080", "Ширина: «40000» читается как 40000, и край зоны выходит за координаты от -32768 до 32767; введите не больше 32772"},
        {"1920", "-1e400", "Высота: «-1e400» читается как минус бесконечность, и край зоны выходит за координаты от -32768 до 32767; введите не меньше -32763"},
        {"1920", "32772", "Высота: при 1920 x 32772 сканирование левой зоны (y 5..32767) с шагом 50 дойдёт до y = 32805"},
        {"32772", "1080", "Ширина: при 32772 x 1080 сканирование верхней зоны (x 5..32767) с шагом 25 дойдёт до x = 32780"}};
    for (const auto& [w, h, why] : refused) {
        ControllerState s = stateAt("1920", "1080");
        EXPECT_TRUE(applyResolution(s, w, h).starts_with(why)) << applyResolution(s, w, h);
        EXPECT_EQ(std::tuple(s.ZoneX2, s.ZoneY2), std::tuple(ZoneArray{640, 1915, 1915}, ZoneArray{1075, 360, 1075}));
    }
    ControllerState s = stateAt("1920", "1080");
    ASSERT_EQ(applyAutoSettings(s, {"1", "1", "30", "50", "100"}), "");
    EXPECT_TRUE(applyResolution(s, "32000", "32000").starts_with("Ширина, Высота: при 32000 x 32000 заданные шаги дают"));
    EXPECT_EQ(applyResolution(s, "", "abc"), ""); // empty rectangles: scans visit nothing
    EXPECT_EQ(s.ZoneX2, (ZoneArray{0, -5, -5}));
}

// Runs a tick over worst-case screens (saturated, failed, black, pure channels and mixtures) in
// both styles with markers on; true if any overflowed.
bool anyTickOverflows(const ControllerState& settings)
{
    const std::function<Colour(int, int)> patterns[] = {
        [](int, int) { return rgb(255, 255, 255); }, [](int, int) { return kFailedPixel; },
        [](int, int) { return rgb(0, 255, 0); },     [](int, int) { return rgb(11, 0, 0); },
        [](int x, int y) { return (x + y) % 2 ? rgb(255, 255, 255) : kFailedPixel; },
        [](int x, int y) { return (x + y) % 2 ? rgb(255, 255, 255) : rgb(1, 51, 1); }, // just above Min-1 50
        [](int x, int y) { return (static_cast<Colour>(x) * 7919u + static_cast<Colour>(y) * 104729u) & 0xFFFFFFu; }};
    for (const auto& pattern : patterns)
        for (bool processing : {true, false}) {
            FakeScreen screen(0, 0, pattern);
            ControllerState s = settings;
            s.CurR = s.CurG = s.CurB = ZoneArray{255, 0, 255};
            screen.bounded = false;
            try {
                AutoBranch().tick(s, screen, scanSettings(s, processing, true), nullptr);
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
        const AxisWalk columns = walkAxis(g.x1, g.x2, g.xStep);
        total += walkAxis(g.y1, g.y2, g.yStep).count * (std::abs(columns.last - columns.first) + 1);
    }
    return total;
}

TEST(SamplingSettingsProperty, AcceptedSettingsNeverOverflowAndGridRefusalsAreReal)
{
    const std::pair<const char*, const char*> resolutions[] = {
        {"1280", "1024"}, {"32700", "40"}, {"40", "32700"}, {"32772", "32772"}, {"-32763", "-32763"}, {"300", "200"}};
    int accepted = 0, refused = 0;
    for (const auto& [w, h] : resolutions)
        for (const char* sx : {"1", "25", "1000", "32767", "-1", "-32768"})
            for (const char* sy : {"1", "50", "3000", "-50"})
                // The lowest boost each Min-1 allows: failed reads lit (-2), only channels above 50 boosted.
                for (const auto& [min1, delta] : {std::pair{"-2", "-127"}, {"-2", "30"}, {"-2", "32512"}, {"50", "-178"}, {"50", "32512"}}) {
                    SCOPED_TRACE(std::string(w) + " x " + h + ", steps " + sx + " " + sy + ", delta " + delta + ", Min-1 " + min1);
                    ControllerState state;
                    state.StepX = state.StepY = 1; // the zone check below uses these first
                    storeZones(state, computeZones(readNumber(w), readNumber(h)));
                    const std::string message = applyAutoSettings(state, {sx, sy, delta, min1, "-1"});
                    // Force the values to see what a refused setting would have done.
                    ControllerState forced = state;
                    std::tie(forced.StepX, forced.StepY, forced.Delta, forced.Min1, forced.Min2) =
                        std::tuple(round16(readNumber(sx)), round16(readNumber(sy)), round16(readNumber(delta)), round16(readNumber(min1)), -1);
                    if (pointsPerTick(forced) > 40000) // more than a unit test should capture
                        continue;
                    (message.empty() ? accepted : refused)++;
                    EXPECT_EQ(anyTickOverflows(message.empty() ? state : forced), !message.empty()) << message;
                }
    EXPECT_GT(accepted, 30);
    EXPECT_GT(refused, 15);
}

} // namespace
} // namespace lumora::test
