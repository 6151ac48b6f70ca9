// RND mode's work in one output tick: fade every zone toward its target, send it, and draw new
// targets once the whole fade has arrived.
#pragma once

#include <functional>

#include "random/gen_target.hpp"
#include "random/random_source.hpp"

namespace lumora {

// One tick of RND work. For zone 0, 1, 2 in turn: each channel of CurR/CurG/CurB steps toward
// its target by `step` (up by `step` if below, then down by `step` if now above, so a channel
// short of its target by less than a step keeps its value); a channel still `step` or more away
// after its step keeps the fade from arriving (tested on the unclamped value); then
// `zoneSendStep(zone)` runs, which clamps the zone's current colour to 0..255, stores it and sends
// its packet. After zone 2, if all nine channels arrived, `settings()` is read and GenTargetColor
// draws the next targets, first used on the next tick.
//
// Returns true when it drew. `step` must be at least 1 (std::invalid_argument otherwise).
bool rndTick(RndTargets& targets, CurrentColours& current, int step, RandomSource& random,
             const std::function<RndSettings()>& settings,
             const std::function<void(int zone)>& zoneSendStep);

} // namespace lumora
