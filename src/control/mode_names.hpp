// The modes by name, as the command line, the session bus and the tray say them.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "control/controller_state.hpp"

namespace lumora {

inline constexpr std::array<std::string_view, 4> kModeNames{"off", "fixed", "rnd", "auto"}; // by ModeValue

inline std::optional<int> modeNamed(std::string_view name)
{
    for (int mode = kModeOff; mode <= kModeAuto; ++mode)
        if (kModeNames[static_cast<std::size_t>(mode)] == name)
            return mode;
    return std::nullopt;
}

inline std::string_view modeName(int mode)
{
    return mode >= kModeOff && mode <= kModeAuto ? kModeNames[static_cast<std::size_t>(mode)] : std::string_view();
}

} // namespace lumora
