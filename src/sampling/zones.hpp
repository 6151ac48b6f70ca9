// The three screen rectangles that AUTO mode samples, derived from a resolution typed as text.
#pragma once

#include <string>

#include "sampling/auto_state.hpp"

namespace lumora {

struct ZoneRects {
    ZoneArray x1{}, x2{}, y1{}, y2{};
};

// The rectangles of a W x H screen, each expression in double precision and rounded half to even
// into 16 bits, in the order the zone fields are assigned. A result outside 16 bits throws
// OverflowError (NaN and infinities included).
ZoneRects computeZones(double W, double H);

// A whole number of pixels as the resolution boxes show it: plain digits, as in "1920".
std::string resolutionText(int pixels);

// Writes the twelve zone fields.
void storeZones(AutoState& state, const ZoneRects& zones);

} // namespace lumora
