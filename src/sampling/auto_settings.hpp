// Applying what the user typed on the AUTO page: the five scan parameters and the resolution.
// Typed text is read as the program always reads numbers; values that would overflow or hang a
// later scan or correction for some screen content are refused with a message, and the values in
// force stay in force.
#pragma once

#include <array>
#include <string>

#include "sampling/auto_state.hpp"

namespace lumora {

// Reads the texts of txtStepX, txtStepY, txtDelta, txtMin1, txtMin2 (in that order) with
// readNumber and round16. If every value is acceptable together with the zones in force, stores
// StepX, StepY, Delta, Min1, Min2 and returns "". Otherwise changes nothing and returns one line,
// in the window's language, naming the box, the reason and what to enter.
std::string applyAutoSettings(AutoState& state, const std::array<std::string, 5>& texts);

// Reads W and H from the resolution boxes and computes the zones. If all twelve values fit and the
// scans they make with the steps and boost in force cannot overflow, stores them and returns "";
// otherwise changes nothing and returns a message naming the box.
std::string applyResolution(AutoState& state, const std::string& textX, const std::string& textY);

} // namespace lumora
