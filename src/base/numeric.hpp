// The program's arithmetic: 16-bit signed values whose every addition, subtraction and conversion
// is checked, rounding half to even, truncation, and the reading of typed text as a number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lumora {

using i16 = std::int16_t;
using i32 = std::int32_t;

// A result that does not fit its integer type. Never wraps around silently.
class OverflowError : public std::runtime_error {
public:
    explicit OverflowError(const std::string& what) : std::runtime_error(what) {}
};

// Checked 16-bit arithmetic on values held in wider types.
i16 checked16(long long value);
i16 add16(long long a, long long b);
i16 sub16(long long a, long long b);

// Checked 32-bit addition, for the scan's accumulators.
i32 add32(long long a, long long b);

// Rounds to the nearest integer, ties to the even integer (2.5 -> 2, 3.5 -> 4), into 16 bits.
// NaN and values outside -32768..32767 after rounding are an OverflowError.
i16 round16(double value);

// Rounds half to even without a range check (the result stays a double).
double roundHalfEven(double value);

// Cuts toward zero: -75.6 -> -75.
double truncate(double value);

// Reads typed text as a number: blanks, tabs and line feeds anywhere are ignored; the rest is read
// as far as it forms a decimal number ("." as the point, optional exponent, optional sign) or a
// hexadecimal / octal integer after &H / &O. Text that does not begin with a number reads as 0.
double readNumber(std::string_view text);

} // namespace lumora
