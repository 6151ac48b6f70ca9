// A headless GNOME desktop of the test's own with the desktop portal's screen cast (see
// PortalDesktop): mutter with one virtual monitor and software rendering, xdg-desktop-portal-gnome,
// and a painter's window over the whole monitor, since mutter alone shows no background.
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

    void startBackend() override;

    // Keeps the choice of the monitor as GNOME's dialog would, with a restore token that the
    // driver's token file holds too; returns the token.
    QString keepMonitorChoice() const;

private:
    QString monitor_; // how GNOME's portal recognises the monitor: "vendor:product:serial"
};

} // namespace lumora::test
