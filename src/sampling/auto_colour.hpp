// Turning a zone's scan results into its lamp colour: the correction toward the lamps' white
// balance, dimmed by the scene's brightness, and the half-way smoothing from tick to tick.
#pragma once

#include "sampling/auto_state.hpp"

namespace lumora {

// ScanR, ScanG, ScanB, ScanBright -> AutoR/G/B(zone). A zero mean on any channel gives black.
// Otherwise s = maxof3 / 100 held in single precision, and every later operation is rounded to
// double. Throws OverflowError when a result leaves 16 bits, which the accepted settings rule out.
void correctZone(AutoState& state, int zone);

// Moves CurR, CurG, CurB(zone) half-way toward AutoR, AutoG, AutoB(zone), halves rounded half to
// even. Leaves the clamp to 0..255 to the zone send step that follows.
void smoothZone(AutoState& state, int zone);

} // namespace lumora
