// Fuzzes the reading of typed text as a number, and its rounding into a 16-bit setting: any text
// must read without a crash or undefined behaviour, blanks anywhere must not change the value, and
// rounding either gives an integer in range or refuses with an OverflowError.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/numeric.hpp"

namespace {

bool sameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = lumora::readNumber(text);

    // Blanks, tabs and line feeds are ignored wherever they stand.
    for (const char* blank : {" ", "\t", "\n"}) {
        std::string spaced = text;
        spaced.insert(size == 0 ? 0 : static_cast<std::size_t>(data[0]) % (size + 1), blank);
        if (!sameValue(lumora::readNumber(spaced), value))
            std::abort();
    }

    try {
        const lumora::i16 rounded = lumora::round16(value);
        // The nearest integer, so never more than half away from what was read.
        if (!(std::fabs(static_cast<double>(rounded) - value) <= 0.5))
            std::abort();
    } catch (const lumora::OverflowError&) {
        if (std::fabs(value) < 32767.0)
            std::abort(); // refused a value that fits
    }
    return 0;
}
