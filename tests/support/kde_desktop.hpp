// A headless KDE Plasma desktop of the test's own with the desktop portal's screen cast (see
// PortalDesktop): kwin_wayland with one virtual output, xdg-desktop-portal-kde (a Qt 5 program on
// Wayland), and a painter's window over the whole output. kwin runs from the copy that
// scripts/install-wayland-stack.sh makes: the packaged binary carries a file capability, and
// where the system refuses those (containers) it does not start at all.
#pragma once

#include "support/portal_desktop.hpp"

namespace lumora::test {

class KdeDesktop : public PortalDesktop {
public:
    // Why the desktop cannot run here (for GTEST_SKIP), or an empty text when it can.
    static std::string unavailable() { return desktopUnavailable("kde/status", "KDE"); }

    // Starts everything, its one output `size` ("WxH") pixels, and returns once the portal
    // answers; throws std::runtime_error otherwise.
    explicit KdeDesktop(const QString& size = "1280x720");

    void keepMonitorChoice() const override;
};

} // namespace lumora::test
