// What AUTO mode keeps between ticks: the settings applied from the AUTO page, the zone
// rectangles, the last scan's means, each zone's corrected colour, and the current colours it
// smooths (shared with RND mode).
#pragma once

#include "base/colour.hpp"

namespace lumora {

struct AutoState : CurrentColours {
    // AUTO settings, applied from their text boxes.
    i16 StepX = 0;
    i16 StepY = 0;
    i16 Delta = 0;
    i16 Min1 = 0;
    i16 Min2 = 0;

    // Results of the last area scan.
    i16 ScanR = 0;
    i16 ScanG = 0;
    i16 ScanB = 0;
    i16 ScanBright = 0;

    // Zone rectangles in screen pixels, both ends inclusive.
    ZoneArray ZoneX1{};
    ZoneArray ZoneX2{};
    ZoneArray ZoneY1{};
    ZoneArray ZoneY2{};

    // The corrected colour each zone steers toward.
    ZoneArray AutoR{};
    ZoneArray AutoG{};
    ZoneArray AutoB{};
};

} // namespace lumora
