// A headless sway desktop of the test's own with the desktop portal's screen cast (see
// PortalDesktop): sway (headless, software rendering, as an unprivileged user when the test runs as
// root) and the portal's wlroots backend (built by scripts/install-wayland-stack.sh).
#pragma once

#include "support/portal_desktop.hpp"

namespace lumora::test {

class PortalStack : public PortalDesktop {
public:
    // Why the stack cannot run here (for GTEST_SKIP), or an empty text when it can.
    static std::string unavailable() { return desktopUnavailable("status", "Wayland (sway)"); }

    // Starts everything, its one monitor `size` ("WxH") pixels, and returns once the portal
    // answers; throws std::runtime_error otherwise.
    explicit PortalStack(const QString& size = "1280x720");
    ~PortalStack() override { stop(); }

private:
    QTemporaryDir swayDir_; // sway's lies outside the private one, which its user cannot enter
};

} // namespace lumora::test
