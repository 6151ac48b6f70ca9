// Where AUTO's zones come to rest on a screen of one colour, worked out by hand from the rules in
// src/sampling (AUTO page defaults), for the end-to-end tests on Wayland desktops.
#pragma once

#include "driver_run.hpp"

#include <cstdlib>

namespace lumora::test {

// Halving the gap each tick, a channel stops next to its aim: one below it coming from darker
// colours, one above coming from brighter ones (the compositor may show its own grey background
// while a painter restarts), or on it. So each channel rests within one of its aim.
struct Rest {
    std::array<int, 3> aim;
    bool holds(const std::optional<Zones>& zones) const
    {
        for (std::size_t z = 0; zones && z < 3; ++z)
            for (std::size_t c = 0; c < 3; ++c)
                if (std::abs((*zones)[z][c] - aim[c]) > 1)
                    return false;
        return zones.has_value();
    }
};
// #30a0f0 = (48, 160, 240): mean 149, |48 - 149| > 100, blue boosted to 270; m = 270, s = 2.7f:
// R trunc((17.78 + 10) * 2.55) = 70, G trunc((59.26 - 30) * 2.55) = 74, B trunc((99.99999 - 20) * 2.55)
// = 203, times 149 / 255: (41, 43, 119).
constexpr Rest kBlue{{41, 43, 119}};
// #c86432 gives (127, 23, 5) (see driver_test.cpp).
constexpr Rest kOrange{{127, 23, 5}};

} // namespace lumora::test
