// Everything the controller remembers for the life of the window. Zeroed at creation, never saved.
#pragma once

#include "random/gen_target.hpp"
#include "sampling/auto_state.hpp"

namespace lumora {

enum ModeValue : i16 { kModeOff = 0, kModeFixed = 1, kModeRnd = 2, kModeAuto = 3 };

// AUTO's fields (with the current colours, shared by RND and AUTO) and RND's targets, under the
// names every handler uses, and the mode machine's own two.
struct ControllerState : AutoState, RndTargets {
    i16 Mode = kModeOff;
    i16 FrameCount = 0; // output ticks since the last status tick
};

} // namespace lumora
