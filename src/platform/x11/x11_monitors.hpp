// Which of the monitors an X server reports is the screen whose edges carry the lamps. Kept apart
// from X, so that the choice is tested without a server.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sampling/screen.hpp"

namespace lumora::x11 {

// A monitor as RandR reports it: a rectangle of the root window.
struct Monitor {
    std::string name;
    bool primary = false;
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Monitor&, const Monitor&) = default;
};

struct MonitorChoice {
    std::optional<Monitor> monitor; // none: the whole root window
    // Set when the monitor asked for is not among them: which one is read instead.
    UserText note;
};

// The monitor named `requested` when it is there; otherwise (or when nothing is requested) the
// primary one, else the first at the origin, else none (the whole root window, as without RandR).
MonitorChoice chooseMonitor(const std::vector<Monitor>& monitors, const std::string& requested);

// "DP-1 (primary, 1920x1080+0+0), HDMI-1 (1920x1080+1920+0)", or "none".
std::string describeMonitors(const std::vector<Monitor>& monitors);

} // namespace lumora::x11
