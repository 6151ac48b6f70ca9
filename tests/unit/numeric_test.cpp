// The program's number rules: reading typed text, rounding half to even, checked arithmetic.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "core/numeric.hpp"

namespace lumora {
namespace {

struct ReadCase {
    std::string text;
    double value;
};

TEST(NumericReadNumber, ReadsAsFarAsTheTextFormsANumber)
{
    const ReadCase cases[] = {
        {"25px", 25},     {"abc", 0},      {"2.5", 2.5},      {"3.5", 3.5},     {"2 5", 25},
        {"", 0},          {"   ", 0},      {"&H1F", 31},      {"&h1f", 31},     {"&O17", 15},
        {"&H", 0},        {"&O19", 1},     {"&X12", 0},       {"1e3", 1000},    {"2.5E-1", 0.25},
        {"1e", 1},        {"1e+", 1},      {"1E+2x", 100},    {"+5", 5},        {"-5", -5},
        {" - 5", -5},     {"\t1\n2", 12},  {"1\r2", 1},       {"\r12", 0},      {".5", 0.5},
        {"5.", 5},        {"-", 0},        {"+", 0},          {".", 0},         {"1.2.3", 1.2},
        {"1,5", 1},       {"1e-400", 0},   {"007", 7},        {"12 34 px 5", 1234},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(readNumber(c.text), c.value);
    }
}

TEST(NumericReadNumber, HugeNumbersKeepTheirSignSoARangeCheckRefusesThem)
{
    EXPECT_TRUE(std::isinf(readNumber("1e400")));
    EXPECT_GT(readNumber("1e400"), 0);
    EXPECT_LT(readNumber("-1e400"), 0);
    EXPECT_THROW(round16(readNumber("1e400")), OverflowError);
}

struct RoundCase {
    double value;
    int rounded;
};

TEST(NumericRound16, RoundsHalfToEven)
{
    const RoundCase cases[] = {
        {2.5, 2},         {3.5, 4},         {-2.5, -2},      {-3.5, -4},      {0.5, 0},
        {1.5, 2},         {-0.5, 0},        {2.4999, 2},     {2.5001, 3},     {-75.6, -76},
        {32767, 32767},   {32767.49, 32767}, {-32768, -32768}, {-32768.5, -32768}, {32766.5, 32766},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(round16(c.value), c.rounded);
    }
}

TEST(NumericRound16, ValuesOutsideSixteenBitsAfterRoundingOverflow)
{
    for (double v : {32767.5, 32768.0, -32768.6, -32769.5, 1e9, std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(v);
        EXPECT_THROW(round16(v), OverflowError);
    }
}

TEST(NumericReadAndRound, SettingsTextsApplyAsTheirRoundedNumbers)
{
    const std::pair<std::string, int> cases[] = {
        {"25px", 25}, {"abc", 0}, {"2.5", 2}, {"3.5", 4}, {"2 5", 25}, {"", 0}, {"&H1F", 31}, {"-5", -5},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(round16(readNumber(text)), value);
    }
    EXPECT_THROW(round16(readNumber("32767.5")), OverflowError);
    EXPECT_EQ(round16(readNumber("-32768.5")), -32768);
}

TEST(NumericTruncate, CutsTowardZero)
{
    EXPECT_EQ(truncate(-75.6), -75);
    EXPECT_EQ(truncate(75.6), 75);
    EXPECT_EQ(truncate(-0.4), 0);
}

TEST(NumericChecked, SixteenBitSumsAndDifferencesOverflowAtTheEdges)
{
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_EQ(add16(-32767, -1), -32768);
    EXPECT_EQ(sub16(-32767, 1), -32768);
    EXPECT_EQ(sub16(32767, 65535), -32768);
    EXPECT_THROW(add16(32767, 1), OverflowError);
    EXPECT_THROW(add16(-32768, -1), OverflowError);
    EXPECT_THROW(sub16(-32768, 1), OverflowError);
    EXPECT_THROW(sub16(0, -32768), OverflowError);
    EXPECT_EQ(checked16(-32768), -32768);
    EXPECT_THROW(checked16(32768), OverflowError);
}

TEST(NumericChecked, ThirtyTwoBitSumsOverflowAtTheEdges)
{
    EXPECT_EQ(add32(2147483646, 1), 2147483647);
    EXPECT_EQ(add32(-2147483647, -1), -2147483647 - 1);
    EXPECT_THROW(add32(2147483647, 1), OverflowError);
    EXPECT_THROW(add32(-2147483647 - 1, -1), OverflowError);
}

} // namespace
} // namespace lumora
