// Drawing RND mode's random target colours for the three zones.
#pragma once

#include "base/colour.hpp"
#include "random/random_source.hpp"

namespace lumora {

// RND mode's random target colours, per zone.
struct RndTargets {
    ZoneArray TargetR{};
    ZoneArray TargetG{};
    ZoneArray TargetB{};
};

// The RND page's settings, read from the controls at every draw and never kept.
struct RndSettings {
    bool bright = true;     // optRNDbright selected; false means optRNDany
    bool oneColour = false; // chkRndOnecolor checked: one colour for all three zones
};

// Overwrites TargetR, TargetG, TargetB of zones 0..2 with new random colours, each left in 0..255.
//
// Takes exactly 3 draws when `oneColour` is set and 12 otherwise, in a fixed order, so a given
// generator state and sequence of settings always gives the same targets. The bright style takes
// its green and blue budgets from targets of the previous call: the shared colour from zone 0's
// previous red and blue, each zone's own blue from the red just drawn and the zone's previous blue.
// A budget can be negative; a target that would go below 0 is stored as 0.
//
// Throws std::domain_error if the source yields a draw outside 0 <= u < 1.
void GenTargetColor(RndTargets& state, RandomSource& random, const RndSettings& settings);

} // namespace lumora
