// Colours as the screen gives them and the zones the lamps light: the types every layer shares.
#pragma once

#include <array>
#include <cstdint>

#include "base/numeric.hpp"

namespace lumora {

// A colour value: red in the lowest byte, then green, then blue; top byte 0.
using Colour = std::uint32_t;

// What a point that cannot be read gives: all bits set (-1 as a signed number).
constexpr Colour kFailedPixel = 0xFFFFFFFFu;

constexpr Colour rgb(int r, int g, int b)
{
    return static_cast<Colour>(r) | static_cast<Colour>(g) << 8 | static_cast<Colour>(b) << 16;
}

constexpr int kZoneCount = 3; // 0 left, 1 top, 2 right

using ZoneArray = std::array<i16, kZoneCount>;

// The colour most recently computed for the lamps in RND and AUTO mode; both modes continue from it.
struct CurrentColours {
    ZoneArray CurR{};
    ZoneArray CurG{};
    ZoneArray CurB{};
};

} // namespace lumora
