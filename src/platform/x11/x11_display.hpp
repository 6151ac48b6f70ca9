// A connection to an X display and what a capture needs to know of it: the root window, how its
// pixels are laid out, which extensions the server offers, and the monitors it reports.
#pragma once

#include "base/user_text.hpp"
#include "platform/x11/x11_handles.hpp"
#include "platform/x11/x11_monitors.hpp"
#include "platform/x11/x11_pixel_format.hpp"

#include <xcb/randr.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora::x11 {

struct DisplaySetup {
    Connection connection; // empty when the display could not be opened
    std::string name;      // as asked for, or $DISPLAY; for messages
    xcb_window_t root = 0;
    std::uint8_t depth = 0;
    std::size_t scanlinePadBits = 32;
    std::optional<PixelFormat> format; // empty: the screen's pixels cannot be read
    bool randrOffered = false;         // RandR 1.5, which lists monitors
    // The first event number of Damage 1.1, which tells when the screen is drawn on; 0 when the
    // server does not offer it.
    std::uint8_t damageEvents = 0;
    // Why the server's shared memory cannot carry images (shared memory by descriptor needs
    // MIT-SHM 1.2); empty when it can.
    std::string sharedMemoryProblem;
    UserText problem; // why the screen cannot be read; empty when it can
};

// Connects to the display `name`, or to $DISPLAY when it is empty. Never throws: a display that
// cannot be opened or read leaves `problem` set (and the connection empty when it did not open).
DisplaySetup openDisplay(const std::string& name);

// The monitors of a RandR 1.5 get-monitors request, with their names; none when it failed.
std::vector<Monitor> readMonitors(xcb_connection_t* c, xcb_randr_get_monitors_cookie_t cookie);

} // namespace lumora::x11
