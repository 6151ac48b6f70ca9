#include "random/gen_target.hpp"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumora {

namespace {

// The integer part of the exact product u * n, for 0 <= u < 1 and |n| <= 255.
//
// The product rounded to double is not enough: u = 1.0 / 255 lies just below 1/255, yet u * 255
// rounds to exactly 1.0, which would truncate to 1 instead of 0. So u is split into an integer
// mantissa and a power of two, and the product is formed in integers, where it is exact
// (53 bits times 8 bits fits in 64).
i16 truncProduct(double u, int n)
{
    if (!(u >= 0.0 && u < 1.0))
        throw std::domain_error("random draw outside [0, 1): " + std::to_string(u));
    if (n < -255 || n > 255)
        throw std::domain_error("random draw range out of bounds: " + std::to_string(n));
    if (u == 0.0 || n == 0)
        return 0;

    int exponent = 0;
    const double fraction = std::frexp(u, &exponent); // u = fraction * 2^exponent, 0.5 <= fraction < 1
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53)); // exact, < 2^53
    // u = mantissa * 2^-(53 - exponent), and exponent <= 0 because u < 1.
    const int shift = 53 - exponent;
    const std::uint64_t magnitude = static_cast<std::uint64_t>(n < 0 ? -n : n);
    const std::uint64_t whole = shift >= 64 ? 0 : (mantissa * magnitude) >> shift;
    const long long value = static_cast<long long>(whole);
    return checked16(n < 0 ? -value : value);
}

i16 draw(RandomSource& random, int n) { return truncProduct(random.next(), n); }

i16 notBelowZero(i16 value) { return value < 0 ? i16{0} : value; }

void drawBright(RndTargets& s, RandomSource& random, bool oneColour)
{
    // The shared colour is drawn on every call, also when each zone then draws its own; its
    // budgets come from zone 0's targets as this call found them, not from the red just drawn.
    i16 r = draw(random, 255);
    i16 g = draw(random, sub16(255, s.TargetR[0]));
    i16 b = draw(random, sub16(255, add16(s.TargetR[0], s.TargetB[0])));

    for (int i = 0; i < kZoneCount; ++i) {
        const auto zone = static_cast<std::size_t>(i);
        if (!oneColour)
            r = add16(draw(random, 255), 1);
        s.TargetR[zone] = r;
        if (!oneColour)
            g = add16(draw(random, sub16(255, s.TargetR[zone])), 1);
        s.TargetG[zone] = g;
        // The zone's blue budget deliberately uses its previous blue target, not the green just
        // drawn; with a large previous blue the budget is negative and the draw can go below 0.
        if (!oneColour)
            b = add16(draw(random, sub16(255, add16(s.TargetR[zone], s.TargetB[zone]))), 1);
        s.TargetB[zone] = b;

        s.TargetR[zone] = notBelowZero(s.TargetR[zone]);
        s.TargetG[zone] = notBelowZero(s.TargetG[zone]);
        s.TargetB[zone] = notBelowZero(s.TargetB[zone]);
    }
}

void drawAny(RndTargets& s, RandomSource& random, bool oneColour)
{
    i16 r = draw(random, 255);
    i16 g = draw(random, 255);
    i16 b = draw(random, 255);

    for (int i = 0; i < kZoneCount; ++i) {
        const auto zone = static_cast<std::size_t>(i);
        if (!oneColour)
            r = draw(random, 255);
        s.TargetR[zone] = r;
        if (!oneColour)
            g = draw(random, 255);
        s.TargetG[zone] = g;
        if (!oneColour)
            b = draw(random, 255);
        s.TargetB[zone] = b;
    }
}

} // namespace

void GenTargetColor(RndTargets& state, RandomSource& random, const RndSettings& settings)
{
    if (settings.bright)
        drawBright(state, random, settings.oneColour);
    else
        drawAny(state, random, settings.oneColour);
}

} // namespace lumora
