// The driver that already runs in this session, as a second start sees it on the session bus,
// and the login entry that the command line switches.
#pragma once

#include <QDBusConnection>
#include <QStringList>

#include <optional>

#include "options.hpp"

namespace lumora {

// When a driver holds the name on `bus`, hands it this start's --mode, brings its window to the
// front (unless --hidden) and returns the exit status for this start: 0, or 1 when the running
// driver does not answer. Without a running driver: nothing.
std::optional<int> handToRunningDriver(const QDBusConnection& bus, const Options& options);

// What the login entry starts: this program, hidden, in `mode`, with the port it was given.
QStringList autostartArguments(int mode, const Options& options);

// --autostart on|off: writes or removes the login entry (the mode from --mode, else the running
// driver's, else off), says so, and returns the exit status.
int switchAutostart(const QDBusConnection& bus, const Options& options);

} // namespace lumora
