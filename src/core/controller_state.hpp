// Everything the controller remembers for the life of the window. Zeroed at creation, never saved.
#pragma once

#include <array>

#include "core/numeric.hpp"

namespace lumora {

constexpr int kZoneCount = 3; // 0 left, 1 top, 2 right

using ZoneArray = std::array<i16, kZoneCount>;

enum ModeValue : i16 { kModeOff = 0, kModeFixed = 1, kModeRnd = 2, kModeAuto = 3 };

struct ControllerState {
    i16 Mode = kModeOff;
    i16 FrameCount = 0;

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

    ZoneArray AutoR{};
    ZoneArray AutoG{};
    ZoneArray AutoB{};

    ZoneArray TargetR{};
    ZoneArray TargetG{};
    ZoneArray TargetB{};

    // The colour most recently computed for the lamps in RND and AUTO mode; shared by both.
    ZoneArray CurR{};
    ZoneArray CurG{};
    ZoneArray CurB{};
};

} // namespace lumora
