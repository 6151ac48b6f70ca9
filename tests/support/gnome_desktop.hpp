// A headless GNOME desktop of the test's own with the desktop portal's screen cast (see
// PortalDesktop): mutter with one virtual monitor and software rendering, and
// xdg-desktop-portal-gnome. mutter alone shows no background: the screen shows the painter's window.
#pragma once

#include "support/portal_desktop.hpp"

namespace lumora::test {

class GnomeDesktop : public PortalDesktop {
public:
    // Why the desktop cannot run here (for GTEST_SKIP), or an empty text when it can.
    static std::string unavailable() { return desktopUnavailable("gnome/status", "GNOME"); }

    // Starts everything, its one monitor `size` ("WxH") pixels, and returns once the portal
    // answers; throws std::runtime_error otherwise.
    explicit GnomeDesktop(const QString& size = "1280x720");

    void keepMonitorChoice() const override;
};

} // namespace lumora::test
