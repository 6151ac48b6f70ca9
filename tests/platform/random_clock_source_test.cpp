// The clock-seeded random source: its draws, and the all-colours style fed by it.
#include "platform/clock_random_source.hpp"
#include "random/gen_target.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace lumora {
namespace {

TEST(ClockRandomSource, DrawsAreDistinctMultiplesOfTwoToTheMinus53InUnitIntervalAndSeededApart)
{
    ClockRandomSource random, other;
    EXPECT_NE(random.next() + random.next(), other.next() + other.next()) << "two sources seeded alike";
    std::set<double> seen;
    for (int i = 0; i < 200000; ++i) {
        const double u = random.next();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        ASSERT_EQ(u * 0x1.0p53, std::floor(u * 0x1.0p53)) << u; // exact: u has at most 53 significant bits
        seen.insert(u);
    }
    EXPECT_GT(seen.size(), 199000u) << "draws repeat far more than a 53-bit generator should";
}

TEST(ClockRandomSource, AllColoursNeverReach255)
{
    ClockRandomSource random;
    RndTargets s;
    int largest = 0;
    for (int call = 0; call < 20000; ++call) {
        GenTargetColor(s, random, RndSettings{false, call % 2 == 0});
        for (std::size_t zone = 0; zone < kZoneCount; ++zone) {
            for (i16 c : {s.TargetR[zone], s.TargetG[zone], s.TargetB[zone]}) {
                ASSERT_GE(c, 0);
                ASSERT_LE(c, 254);
                largest = std::max<int>(largest, c);
            }
        }
    }
    EXPECT_EQ(largest, 254) << "the full range 0..254 should appear over this many draws";
}

} // namespace
} // namespace lumora
