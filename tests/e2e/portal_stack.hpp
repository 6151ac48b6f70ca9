// A headless Wayland desktop of the test's own, with the desktop portal's screen cast: a private
// D-Bus session bus, sway (headless, software rendering, as an unprivileged user when the test runs
// as root), PipeWire, WirePlumber, the permission store, the portal and its wlroots backend (built
// by scripts/install-wayland-stack.sh). Every daemon is ended by its process id.
#pragma once

#include "support/support.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace lumora::test {

using Environment = std::map<std::string, std::optional<std::string>>;

// Why the stack cannot run here (for GTEST_SKIP), or an empty text when it can. With `busOnly`,
// only what a bare session bus needs.
std::string portalStackUnavailable(bool busOnly = false);

// A private session bus and nothing on it.
class SessionBus {
public:
    explicit SessionBus(const std::string& folder); // throws std::runtime_error if it does not come up
    const std::string& address() const { return address_; }
    // Whether a name has an owner on this bus.
    bool hasOwner(const std::string& name) const;

private:
    Process process_;
    std::string address_;
};

class PortalStack {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 720;

    // Starts everything and returns once the portal answers; throws std::runtime_error with the
    // daemons' own words otherwise.
    PortalStack();
    ~PortalStack();
    PortalStack(const PortalStack&) = delete;
    PortalStack& operator=(const PortalStack&) = delete;

    // What a client of this desktop's bus needs in its environment (with its own state folder).
    Environment clientEnvironment() const;

    // Paints the whole monitor one colour ("#RRGGBB"); returns once the compositor took it.
    void setBackground(const std::string& hex);

    // Ends the portal's backend, as a crash would: the screen's stream goes away.
    void stopBackend();
    // Starts the backend again; returns once it is on the bus. With `refusing`, its monitor
    // chooser picks nothing, as a user who cancels the dialog does.
    void startBackend(bool refusing = false);
    // What the backend running now has logged (its screen-cast streams, the restore data it got).
    std::string backendLog() const { return backend_.errorOutput() + backend_.output(); }
    // Whether the backend's screen-cast stream has started since it was (re)started.
    bool backendStreaming() const;

    std::string logs() const; // every daemon's output, for failure messages

private:
    Environment daemonEnvironment() const;
    std::string swaySocket() const;

    std::string dir_;       // root of everything this stack writes, private to the test
    std::string runtime_;   // XDG_RUNTIME_DIR of the bus, PipeWire and the portal
    std::string swayDir_;   // sway's own runtime folder, owned by the user it runs as
    std::string stackDir_;  // where the install step left the backend
    std::optional<SessionBus> bus_;
    Process sway_;
    Process pipewire_;
    Process wireplumber_;
    Process permissions_;
    Process backend_;
    Process portal_;
};

} // namespace lumora::test
