// The command line: which port the board is on, how and which screen is read, and the usual --help
// and --version. Parsed with QCommandLineParser, before any window exists (so --help needs no
// display), but nothing of Qt shows here.
#pragma once

#include "platform/cli/command_line.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumora {

// How AUTO mode reads the screen: X11 (also XWayland), or the desktop portal of a Wayland desktop.
enum class Capture { Auto, X11, Portal };

struct Options {
    std::optional<std::string> port; // none: the one USB serial adapter (--port auto, the default)
    Capture capture = Capture::Auto;
    std::string monitor; // the RandR monitor X11 capture reads; empty: the primary one
    bool keepLitWhenLocked = false; // a locked screen leaves the lamps as they are
    std::optional<int> mode;        // --mode: the mode to start in, or to switch a running driver to
    bool hidden = false;            // --hidden: start in the tray, where there is one
    std::optional<bool> autostart;  // --autostart on|off: write or remove the login entry, then exit
};

using cli::ShowHelp;
using cli::ShowVersion;
using cli::UsageError;
using ParseResult = cli::ParseResult<Options>;

// `args` excludes the program name. A mistake anywhere wins over --help, and --help over --version.
ParseResult parseOptions(const std::vector<std::string>& args);

// Resolves Capture::Auto from the session ($XDG_SESSION_TYPE, $WAYLAND_DISPLAY, $DISPLAY): the
// portal in a Wayland session (a Wayland display is named and the session does not say x11, or
// the session says wayland and names no X display), X11 otherwise.
Capture chooseCapture(Capture requested, std::string_view sessionType, std::string_view waylandDisplay,
                      std::string_view x11Display);

std::string usageText();
std::string versionText(); // the program's name and version, one line

} // namespace lumora
