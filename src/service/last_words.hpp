// Switches the lamps off however the program ends from inside: Qt ends it with exit() when the X
// server goes away and with _exit() when the Wayland compositor does (both from inside the event
// loop, past the window's close), and a fatal error or an uncaught exception aborts it.
#pragma once

namespace lumora {

class DriverService;

class LastWords {
public:
    // While it lives, each of those endings shuts `service` down first (once, bounded). One at a time.
    explicit LastWords(DriverService& service);
    ~LastWords();
    LastWords(const LastWords&) = delete;
    LastWords& operator=(const LastWords&) = delete;
};

} // namespace lumora
