// The program's number rules: reading typed text, rounding half to even, checked arithmetic.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "base/numeric.hpp"

namespace lumora {
namespace {

TEST(NumericReadNumber, ReadsAsFarAsTheTextFormsANumber)
{
    const std::pair<std::string, double> cases[] = {
        {"25px", 25},   {"abc", 0},     {"2.5", 2.5},     {"2 5", 25},    {"", 0},        {"   ", 0},
        {"&H1F", 31},   {"&h1f", 31},   {"&O17", 15},     {"&O19", 1},    {"&H", 0},      {"&X12", 0},
        {"1e3", 1000},  {"2.5E-1", 0.25}, {"1e", 1},      {"1E+2x", 100}, {"1e-400", 0},  {"+5", 5},
        {"-5", -5},     {" - 5", -5},   {"\t1\n2", 12},   {"1\r2", 1},    {".5", 0.5},    {"-", 0},
        {"1.2.3", 1.2}, {"1,5", 1},     {"12 34 px 5", 1234},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(readNumber(text), value) << "text \"" << text << "\"";
    EXPECT_EQ(readNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(readNumber("-1e400"), -std::numeric_limits<double>::infinity());
}

TEST(NumericRound16, RoundsHalfToEvenWithinSixteenBitsAndOverflowsOutside)
{
    const std::pair<double, int> cases[] = {
        {2.5, 2},       {3.5, 4},          {-2.5, -2},       {-3.5, -4},         {0.5, 0},         {-0.5, 0},
        {2.4999, 2},    {2.5001, 3},       {-75.6, -76},     {32767, 32767},     {32767.49, 32767},
        {-32768, -32768}, {-32768.5, -32768}, {32766.5, 32766},
    };
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(round16(value), rounded) << value;
    for (double v : {32767.5, 32768.0, -32768.6, -32769.5, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(round16(v), OverflowError) << v;
    EXPECT_EQ(truncate(-75.6), -75);
    EXPECT_EQ(truncate(75.6), 75);
}

TEST(NumericChecked, SumsAndDifferencesOverflowAtTheEdges)
{
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_EQ(add16(-32767, -1), -32768);
    EXPECT_EQ(sub16(32767, 65535), -32768);
    EXPECT_THROW(add16(32767, 1), OverflowError);
    EXPECT_THROW(add16(-32768, -1), OverflowError);
    EXPECT_THROW(sub16(-32768, 1), OverflowError);
    EXPECT_THROW(sub16(0, -32768), OverflowError);
    EXPECT_THROW(checked16(32768), OverflowError);
    EXPECT_EQ(add32(2147483646, 1), 2147483647);
    EXPECT_THROW(add32(2147483647, 1), OverflowError);
    EXPECT_THROW(add32(-2147483647 - 1, -1), OverflowError);
}

} // namespace
} // namespace lumora
