// The board's packets: channel, red, green, blue, then 13. The board frames packets by their fixed
// length alone, so a level of 13 is sent as is: there is no escaping.
#pragma once

#include <array>
#include <cstdint>

namespace lumora {

using Packet = std::array<std::uint8_t, 5>;

constexpr std::uint8_t kEndMark = 13;
constexpr int kKeyboardChannel = 3;

// Levels must already be 0..255: the sliders' ranges and the zone send step guarantee it.
constexpr Packet zonePacket(int zone, int red, int green, int blue)
{
    return {static_cast<std::uint8_t>(zone), static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
            static_cast<std::uint8_t>(blue), kEndMark};
}

constexpr Packet offPacket(int channel) { return zonePacket(channel, 0, 0, 0); }

// The keyboard backlight's single level travels in the green byte.
constexpr Packet keyboardPacket(int level) { return zonePacket(kKeyboardChannel, 0, level, 0); }

} // namespace lumora
