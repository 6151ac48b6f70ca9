// The program's random source: a standard 64-bit generator, seeded once from the clock.
#pragma once

#include <random>

#include "random/random_source.hpp"

namespace lumora {

class ClockRandomSource final : public RandomSource {
public:
    // Seeds the generator from the clock; it is never seeded again.
    ClockRandomSource();

    // The top 53 bits of the next 64-bit output, scaled by 2^-53: every value is a multiple of
    // 2^-53 in [0, 1 - 2^-53], so 1 itself never comes out (unlike std::generate_canonical,
    // whose rounding can return 1.0).
    double next() override;

private:
    std::mt19937_64 engine_;
};

} // namespace lumora
