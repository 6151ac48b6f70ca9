// A headless Wayland desktop of the test's own, with the desktop portal's screen cast: a private
// D-Bus session bus, sway (headless, software rendering, as an unprivileged user when the test runs
// as root), PipeWire, WirePlumber, the permission store, the portal and its wlroots backend (built
// by scripts/install-wayland-stack.sh). Every daemon is ended by its process id.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "support/support.hpp"

namespace lumora::test {

class PortalStack {
public:
    // Why the stack cannot run here (for GTEST_SKIP), or an empty text when it can.
    static std::string unavailable();

    // Starts everything, its one monitor `size` ("WxH") pixels, and returns once the portal
    // answers; throws std::runtime_error otherwise.
    explicit PortalStack(const QString& size = "1280x720");
    ~PortalStack();

    // What a client of this desktop needs in its environment (with its own state folder).
    QProcessEnvironment clientEnvironment() const;
    // The compositor's socket, for a client that shows a window on this desktop.
    QString waylandDisplay() const { return swayDir_.filePath("wayland-1"); }
    // The compositor and the daemons behind the screen cast, to account their CPU time.
    std::vector<qint64> pids() const;
    // Paints the whole monitor one colour ("#RRGGBB"); returns once the compositor took it.
    void setBackground(const QString& colour);
    // Ends the portal's backend, as a crash would: the screen's stream goes away.
    void stopBackend() { backend_.reset(); }
    // Starts the backend again; returns once it is on the bus.
    void startBackend();
    // Ends the compositor, as a session that logs out does: its clients lose their display.
    void stopCompositor() { sway_.reset(); }
    // What the running backend has logged (its streams, the restore data it was offered).
    std::string backendLog() const { return backend_ ? backend_->err() + backend_->out() : std::string(); }
    std::string logs() const; // every daemon's output, for failure messages

private:
    bool onBus(const QString& name) const;
    void await(Program& daemon, const char* name, const std::function<bool()>& ready);

    QTemporaryDir dir_, swayDir_; // sway's lies outside the private one, which its user cannot enter
    QString stackDir_, bus_;
    QProcessEnvironment env_;
    std::optional<Program> dbus_, sway_, pipewire_, wireplumber_, permissions_, portal_;
    std::unique_ptr<Program> backend_;
};

} // namespace lumora::test
