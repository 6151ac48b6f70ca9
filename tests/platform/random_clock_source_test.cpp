#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "platform/clock_random_source.hpp"
#include "random/gen_target.hpp"

namespace lumora {
namespace {

TEST(ClockRandomSource, DrawsAreMultiplesOfTwoToTheMinus53InUnitInterval)
{
    ClockRandomSource random;
    std::set<double> seen;
    for (int i = 0; i < 200000; ++i) {
        const double u = random.next();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
        const double scaled = u * 0x1.0p53; // exact: u has at most 53 significant bits
        ASSERT_EQ(scaled, std::floor(scaled)) << u;
        seen.insert(u);
    }
    EXPECT_GT(seen.size(), 199000u) << "draws repeat far more than a 53-bit generator should";
}

TEST(ClockRandomSource, TwoSourcesAreSeededDifferently)
{
    ClockRandomSource a;
    ClockRandomSource b;
    bool differ = false;
    for (int i = 0; i < 4 && !differ; ++i)
        differ = a.next() != b.next();
    EXPECT_TRUE(differ);
}

TEST(ClockRandomSource, AllColoursNeverReach255)
{
    ClockRandomSource random;
    ControllerState s;
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
