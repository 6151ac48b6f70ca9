#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "random/gen_target.hpp"
#include "random_scripted_source.hpp"

namespace lumora::test {
namespace {

constexpr RndSettings kBrightEach{true, false};
constexpr RndSettings kBrightOne{true, true};
constexpr RndSettings kAnyEach{false, false};
constexpr RndSettings kAnyOne{false, true};

constexpr double kLargestDraw = 1.0 - 0x1.0p-53;

void setTargets(ControllerState& s, int zone, Rgb c)
{
    const auto z = static_cast<std::size_t>(zone);
    s.TargetR[z] = c.r;
    s.TargetG[z] = c.g;
    s.TargetB[z] = c.b;
}

TEST(GenTargetColor, WorkedExampleThenOneColour)
{
    ControllerState s;
    ScriptedRandom random({0.5, 0.5, 0.5, 0.25, 0.5, 0.75, 0.75, 0.125, 0.5, 0.875, 0.5, 0.5});
    GenTargetColor(s, random, kBrightEach);
    EXPECT_EQ(targetOf(s, 0), (Rgb{64, 96, 144}));
    EXPECT_EQ(targetOf(s, 1), (Rgb{192, 8, 32}));
    EXPECT_EQ(targetOf(s, 2), (Rgb{224, 16, 16}));

    // Zone 0's blue budget is 255 - (128 + 144) = -17: trunc(-8.5) + 1 = -7, stored as 0.
    random.add(std::vector<double>(12, 0.5));
    GenTargetColor(s, random, kBrightEach);
    EXPECT_EQ(targetOf(s, 0), (Rgb{128, 64, 0}));
    EXPECT_EQ(targetOf(s, 1), (Rgb{128, 64, 48}));
    EXPECT_EQ(targetOf(s, 2), (Rgb{128, 64, 56}));

    // The shared budgets come from zone 0's previous red 128 and blue 0.
    random.add({0.5, 0.5, 0.5});
    GenTargetColor(s, random, kBrightOne);
    for (int zone = 0; zone < kZoneCount; ++zone)
        EXPECT_EQ(targetOf(s, zone), (Rgb{127, 63, 63})) << "zone " << zone;
    EXPECT_EQ(random.remaining(), 0u);
}

struct NegativeBudgetCase {
    i16 previousBlue;
    double redDraw;
    double blueDraw;
    i16 expectedRed;
    i16 expectedBlue;
};

TEST(GenTargetColor, NegativeBlueBudgetOfEachZone)
{
    const double red200 = 199.5 / 255; // trunc(u * 255) = 199, + 1
    const NegativeBudgetCase cases[] = {
        // Budget 255 - (1 + 255) = -1: trunc(u * -1) is 0 for every draw.
        {255, 0.0, 0.0, 1, 1},
        {255, 0.0, 0.5, 1, 1},
        {255, 0.0, kLargestDraw, 1, 1},
        // Budget 255 - (200 + 200) = -145: 1 only while u * 145 < 1.
        {200, red200, 0.0, 200, 1},
        {200, red200, 0.5 / 145, 200, 1},
        // This double lies just below 1/145; its product rounded to double is exactly 1.0,
        // but the exact product is below 1.
        {200, red200, 1.0 / 145, 200, 1},
        {200, red200, std::nextafter(1.0 / 145, 1.0), 200, 0},
        {200, red200, 2.0 / 145, 200, 0},
        {200, red200, kLargestDraw, 200, 0},
    };
    ASSERT_EQ(1.0 / 145 * 145, 1.0) << "the case below no longer exercises a product rounded up";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "previous blue " << c.previousBlue << ", blue draw " << c.blueDraw);
        ControllerState s;
        for (int zone = 0; zone < kZoneCount; ++zone)
            setTargets(s, zone, {0, 0, c.previousBlue});
        ScriptedRandom random({0.5, 0.5, 0.5});
        for (int zone = 0; zone < kZoneCount; ++zone)
            random.add({c.redDraw, 0.5, c.blueDraw});
        GenTargetColor(s, random, kBrightEach);
        for (int zone = 0; zone < kZoneCount; ++zone) {
            EXPECT_EQ(targetOf(s, zone).r, c.expectedRed) << "zone " << zone;
            EXPECT_EQ(targetOf(s, zone).b, c.expectedBlue) << "zone " << zone;
        }
    }
}

TEST(GenTargetColor, DrawsThreeWhenOneColourAndTwelveOtherwise)
{
    const struct {
        RndSettings settings;
        std::size_t draws;
    } cases[] = {{kBrightEach, 12}, {kBrightOne, 3}, {kAnyEach, 12}, {kAnyOne, 3}};
    const std::vector<Rgb> previous = {{0, 0, 0}, {255, 255, 255}, {128, 0, 200}, {1, 254, 254}};
    for (const auto& c : cases) {
        for (const Rgb& p : previous) {
            for (double u : {0.0, 0.5, kLargestDraw}) {
                SCOPED_TRACE(testing::Message() << "bright " << c.settings.bright << ", one colour "
                                                << c.settings.oneColour << ", u " << u);
                ControllerState s;
                for (int zone = 0; zone < kZoneCount; ++zone)
                    setTargets(s, zone, p);
                ScriptedRandom random(std::vector<double>(20, u));
                GenTargetColor(s, random, c.settings);
                EXPECT_EQ(random.taken(), c.draws);
            }
        }
    }
}

// trunc(u * 255) must be the integer part of the exact product. Doubles just below k / 255 give
// a product that rounds up to exactly k; the oracle multiplies in a type wide enough to be exact.
TEST(GenTargetColor, AllColoursTruncatesTheExactProduct)
{
    if (std::numeric_limits<long double>::digits < 61)
        GTEST_SKIP() << "long double cannot hold a 53 x 8 bit product exactly here";
    int roundedUpCases = 0;
    for (int k = 0; k <= 255; ++k) {
        const double centre = k == 255 ? kLargestDraw : k / 255.0;
        for (double u : {std::nextafter(centre, 0.0), centre, std::nextafter(centre, 1.0)}) {
            if (u < 0.0 || u >= 1.0)
                continue;
            const auto expected = static_cast<i16>(std::trunc(static_cast<long double>(u) * 255));
            if (std::trunc(u * 255) != expected)
                ++roundedUpCases;
            SCOPED_TRACE(testing::Message() << "u = " << u << " (k = " << k << ")");
            ControllerState s;
            ScriptedRandom random({u, u, u});
            GenTargetColor(s, random, kAnyOne);
            for (int zone = 0; zone < kZoneCount; ++zone)
                ASSERT_EQ(targetOf(s, zone), (Rgb{expected, expected, expected}));
        }
    }
    EXPECT_GT(roundedUpCases, 0) << "the table no longer contains a draw whose rounded product is off";
}

TEST(GenTargetColor, LargestDrawNeverReachesTheBound)
{
    ControllerState s;
    ScriptedRandom random(std::vector<double>(12, kLargestDraw));
    GenTargetColor(s, random, kAnyEach);
    for (int zone = 0; zone < kZoneCount; ++zone)
        EXPECT_EQ(targetOf(s, zone), (Rgb{254, 254, 254}));

    // Bright: red 254 + 1; green's budget is 0, so 1; blue's budget 255 - (255 + 254) is negative.
    random.add(std::vector<double>(12, kLargestDraw));
    GenTargetColor(s, random, kBrightEach);
    for (int zone = 0; zone < kZoneCount; ++zone)
        EXPECT_EQ(targetOf(s, zone), (Rgb{255, 1, 0}));
}

TEST(GenTargetColor, RejectsDrawsOutsideUnitInterval)
{
    for (double u : {1.0, -0.25, std::nan("")}) {
        ControllerState s;
        ScriptedRandom random(std::vector<double>(12, u));
        EXPECT_THROW(GenTargetColor(s, random, kAnyOne), std::domain_error) << u;
    }
}

// Many calls from varied previous targets, checking what each style promises.
class GenTargetColorRanges : public testing::Test {
protected:
    std::mt19937_64 engine{20240611};
    std::uniform_real_distribution<double> unit{0.0, 1.0};

    ScriptedRandom drawsFor(std::size_t n)
    {
        std::vector<double> draws;
        for (std::size_t i = 0; i < n; ++i)
            draws.push_back(i % 7 == 0 ? kLargestDraw : unit(engine));
        return ScriptedRandom(draws);
    }
    Rgb anyColour() { return {pick(), pick(), pick()}; }
    i16 pick() { return static_cast<i16>(std::uniform_int_distribution<int>(0, 255)(engine)); }
};

TEST_F(GenTargetColorRanges, BrightOneColourIsSharedAndBudgetedByZoneZero)
{
    for (int call = 0; call < 2000; ++call) {
        ControllerState s;
        for (int zone = 0; zone < kZoneCount; ++zone)
            setTargets(s, zone, anyColour());
        const int previousRed = s.TargetR[0];
        const int previousBlue = s.TargetB[0];
        ScriptedRandom random = drawsFor(3);
        GenTargetColor(s, random, kBrightOne);
        const Rgb c = targetOf(s, 0);
        SCOPED_TRACE(testing::Message() << "previous zone 0 red " << previousRed << ", blue " << previousBlue);
        EXPECT_EQ(targetOf(s, 1), c);
        EXPECT_EQ(targetOf(s, 2), c);
        EXPECT_LE(c.r, 254);
        EXPECT_GE(c.r, 0);
        EXPECT_LE(c.g, std::max(0, 254 - previousRed));
        EXPECT_GE(c.g, 0);
        if (previousRed + previousBlue >= 255)
            EXPECT_EQ(c.b, 0);
        else
            EXPECT_LE(c.b, 254 - previousRed - previousBlue);
        EXPECT_GE(c.b, 0);
    }
}

TEST_F(GenTargetColorRanges, BrightEachZoneStaysWithinItsBudgets)
{
    ControllerState s;
    for (int call = 0; call < 2000; ++call) {
        const ControllerState before = s;
        ScriptedRandom random = drawsFor(12);
        GenTargetColor(s, random, kBrightEach);
        for (int zone = 0; zone < kZoneCount; ++zone) {
            const Rgb c = targetOf(s, zone);
            const int previousBlue = targetOf(before, zone).b;
            SCOPED_TRACE(testing::Message() << "call " << call << ", zone " << zone);
            EXPECT_GE(c.r, 1);
            EXPECT_LE(c.r, 255);
            EXPECT_GE(c.g, 1);
            EXPECT_LE(c.g, std::max(1, 255 - c.r));
            EXPECT_GE(c.b, 0);
            EXPECT_LE(c.b, std::max(1, 255 - c.r - previousBlue));
        }
    }
}

} // namespace
} // namespace lumora::test
