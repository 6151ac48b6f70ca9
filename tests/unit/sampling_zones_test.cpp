// The zone rectangles computed from a resolution.
#include <string>

#include <gtest/gtest.h>

#include "core/numeric.hpp"
#include "sampling/zones.hpp"

namespace lumora {
namespace {

struct ZoneCase {
    std::string width, height;
    // x1, x2, y1, y2 of zones 0, 1, 2
    int zone[3][4];
};

TEST(SamplingZones, ComputedFromTheResolutionTexts)
{
    const ZoneCase cases[] = {
        {"1280", "1024", {{5, 427, 5, 1019}, {5, 1275, 5, 341}, {853, 1275, 5, 1019}}},
        {"1920", "1080", {{5, 640, 5, 1075}, {5, 1915, 5, 360}, {1280, 1915, 5, 1075}}},
        {"1366", "768", {{5, 455, 5, 763}, {5, 1361, 5, 256}, {911, 1361, 5, 763}}},
        {"1280.6", "1024", {{5, 427, 5, 1019}, {5, 1276, 5, 341}, {854, 1276, 5, 1019}}},
        // A box without a leading number reads as 0 and leaves empty rectangles.
        {"", "abc", {{5, 0, 5, -5}, {5, -5, 5, 0}, {0, -5, 5, -5}}},
        {"3840", "2160", {{5, 1280, 5, 2155}, {5, 3835, 5, 720}, {2560, 3835, 5, 2155}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width + " x " + c.height);
        const ZoneRects z = computeZones(readNumber(c.width), readNumber(c.height));
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE("zone " + std::to_string(i));
            EXPECT_EQ(z.x1[i], c.zone[i][0]);
            EXPECT_EQ(z.x2[i], c.zone[i][1]);
            EXPECT_EQ(z.y1[i], c.zone[i][2]);
            EXPECT_EQ(z.y2[i], c.zone[i][3]);
        }
    }
}

TEST(SamplingZones, HalfAndSixthAreTakenSeparately)
{
    // For this width W / 2 - W / 6 is exactly 2.5 (rounds to 2), while W / 3 is 2.5000000000000004.
    EXPECT_EQ(computeZones(readNumber("7.500000000000001"), 0).x2[0], 2);
    // And here the difference is exactly 9.5 (rounds to 10), while W / 3 is 9.499999999999998.
    EXPECT_EQ(computeZones(readNumber("28.499999999999996"), 0).x2[0], 10);
    // Ties of the sum round to even: W / 2 + W / 6 = 854.5 for W = 1281.75.
    EXPECT_EQ(computeZones(1281.75, 0).x1[2], 854);
}

TEST(SamplingZones, ResultsOutsideSixteenBitsOverflow)
{
    EXPECT_NO_THROW(computeZones(32772, 32772));
    EXPECT_THROW(computeZones(32772.5, 1024), OverflowError); // W - 5 = 32767.5 rounds to 32768
    EXPECT_THROW(computeZones(1280, 32773), OverflowError);
    EXPECT_THROW(computeZones(-32764, 1024), OverflowError);
    EXPECT_NO_THROW(computeZones(-32763, -32763));
    EXPECT_THROW(computeZones(readNumber("1e400"), 1024), OverflowError);
}

TEST(SamplingZones, StoredIntoTheControllerState)
{
    ControllerState state;
    storeZones(state, computeZones(1920, 1080));
    EXPECT_EQ(state.ZoneX1, (ZoneArray{5, 5, 1280}));
    EXPECT_EQ(state.ZoneX2, (ZoneArray{640, 1915, 1915}));
    EXPECT_EQ(state.ZoneY1, (ZoneArray{5, 5, 5}));
    EXPECT_EQ(state.ZoneY2, (ZoneArray{1075, 360, 1075}));
}

TEST(SamplingZones, ResolutionTextIsPlainDigits)
{
    EXPECT_EQ(resolutionText(1920), "1920");
    EXPECT_EQ(resolutionText(0), "0");
}

} // namespace
} // namespace lumora
