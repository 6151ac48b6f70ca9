#include "base/numeric.hpp"

#include <charconv>
#include <cmath>
#include <string>

namespace lumora {

i16 checked16(long long value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        throw OverflowError("16-bit overflow: " + std::to_string(value));
    return static_cast<i16>(value);
}

i16 add16(long long a, long long b) { return checked16(a + b); }

i16 sub16(long long a, long long b) { return checked16(a - b); }

i32 add32(long long a, long long b)
{
    const long long sum = a + b;
    if (sum < INT32_MIN || sum > INT32_MAX)
        throw OverflowError("32-bit overflow: " + std::to_string(sum));
    return static_cast<i32>(sum);
}

double roundHalfEven(double value)
{
    // std::nearbyint follows the current rounding mode, which is never changed from
    // round-to-nearest-even in this program; do it explicitly to depend on nothing.
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

i16 round16(double value)
{
    if (std::isnan(value))
        throw OverflowError("16-bit overflow: not a number");
    const double rounded = roundHalfEven(value);
    if (rounded < INT16_MIN || rounded > INT16_MAX)
        throw OverflowError("16-bit overflow: " + std::to_string(value));
    return static_cast<i16>(rounded);
}

double truncate(double value) { return std::trunc(value); }

namespace {

bool isIgnored(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

double readRadix(const std::string& s, std::size_t pos, int base)
{
    double value = 0.0;
    for (; pos < s.size(); ++pos) {
        const int d = digitValue(s[pos], base);
        if (d < 0)
            break;
        value = value * base + d;
    }
    return value;
}

} // namespace

double readNumber(std::string_view text)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!isIgnored(c))
            s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadix(s, 2, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadix(s, 2, 8);
        return 0.0;
    }

    // Longest prefix of the form [sign] digits [. digits] [(e|E) [sign] digits].
    std::size_t pos = 0;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        ++pos;
    std::size_t mantissaDigits = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        ++pos;
        ++mantissaDigits;
    }
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        while (pos < s.size() && isDigit(s[pos])) {
            ++pos;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return 0.0;
    std::size_t end = pos;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        std::size_t exp = pos + 1;
        if (exp < s.size() && (s[exp] == '+' || s[exp] == '-'))
            ++exp;
        if (exp < s.size() && isDigit(s[exp])) {
            while (exp < s.size() && isDigit(s[exp]))
                ++exp;
            end = exp;
        }
    }
    // from_chars rounds correctly and, unlike strtod, ignores the locale's decimal point.
    // It takes no '+' sign, so that one is skipped here.
    const std::size_t begin = s[0] == '+' ? 1 : 0;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(s.data() + begin, s.data() + end, value);
    if (ec == std::errc::result_out_of_range) {
        // Too small reads as 0; too large keeps its sign, so that a range check refuses it.
        const std::string_view literal(s.data() + begin, end - begin);
        if (literal.find("e-") != std::string_view::npos || literal.find("E-") != std::string_view::npos)
            return 0.0;
        return literal[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    (void)ptr;
    return value;
}

} // namespace lumora
