// What the tests' headless Wayland desktops share: a private D-Bus session bus (PrivateBus), PipeWire and WirePlumber, the permission store, the desktop portal with its
// screen cast, and the environment of a client. Each desktop adds its compositor and the portal's
// backend. Every daemon is ended by its process id: readers first, the compositor and the bus last.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "support/support.hpp"

#include <QDir>

namespace lumora::test {

class PortalDesktop {
public:
    virtual ~PortalDesktop();

    // What a client of this desktop needs in its environment (with its own state folder).
    QProcessEnvironment clientEnvironment() const;
    // The compositor's socket (a whole path), for a client that shows a window on this desktop.
    QString waylandDisplay() const { return QDir(env_.value("XDG_RUNTIME_DIR")).filePath(env_.value("WAYLAND_DISPLAY")); }
    // The compositor and the daemons behind the screen cast, to account their CPU time.
    std::vector<qint64> pids() const;
    // Paints the whole monitor one colour ("#rrggbb") with a new window of that colour over all of
    // it (tests/painter); returns once the compositor took it.
    void setBackground(const QString& colour);
    // Keeps the choice of the monitor as the desktop's dialog keeps it, with a restore token that
    // the driver's token file holds too. Here nothing: the backend picks the monitor itself.
    virtual void keepMonitorChoice() const {}
    // Ends the portal's backend, as a crash would: the screen's stream goes away.
    void stopBackend() { backend_.reset(); }
    // Starts the backend again as it started first; returns once it is on the bus.
    void startBackend() { startBackend_(); }
    // Ends the compositor, as a session that logs out does: its clients lose their display.
    void stopCompositor() { compositor_.reset(); }

    // What the running backend has logged (its streams, its dialogs, the restore data it was offered).
    std::string backendLog() const { return backend_ ? backend_->err() + backend_->out() : std::string(); }
    // What the portal has logged (the sessions it made, the backend calls that failed).
    std::string portalLog() const { return portal_ ? portal_->err() + portal_->out() : std::string(); }
    // How many screen casts PipeWire carries now (the backends' video sources); throws
    // std::runtime_error when PipeWire cannot be asked.
    int screenCasts() const;
    // Whether a reader's video stream runs in PipeWire (linked to its source, so frames may flow).
    bool screenCastRunning() const;
    std::string logs() const; // every daemon's output, for failure messages

protected:
    // Starts the bus, PipeWire, WirePlumber and the permission store; the portal picks its backend
    // by `desktop` (XDG_CURRENT_DESKTOP).
    explicit PortalDesktop(const QString& desktop);
    // Ends every daemon; the destructor of a desktop calls it before its own members go.
    void stop();

    // Once the compositor and the backend run (their settings in env_): the portal itself, which
    // looks for its backend once, when it starts.
    void startPortal(const QString& portalsDir = {});
    // Starts the portal's backend, `program` with `args` in `env`, and returns once it owns `busName`.
    void runBackend(const QString& program, const QStringList& args, const QString& busName,
                    const QProcessEnvironment& env);
    // Keeps a screen cast permission as the portal does after a user chose in its dialog: a new
    // restore token with `restoreData` (GVariant text) in the permission store, for any program
    // outside a sandbox, and the same token in the client's token file.
    void keepScreenCastChoice(const QString& restoreData) const;

    // Returns once `ready` holds, or throws with the daemon's output when it ends or the bound passes.
    static void await(Program& daemon, const char* name, const std::function<bool()>& ready);
    bool onBus(const QString& name) const;

    QTemporaryDir dir_;
    QProcessEnvironment env_; // the daemons' environment, on the private bus
    std::optional<Program> compositor_;

private:
    std::optional<PrivateBus> bus_;
    std::optional<Program> pipewire_, wireplumber_, permissions_, portal_;
    std::unique_ptr<Program> backend_, painter_;
    std::function<void()> startBackend_;
};

// Why a desktop cannot run here (for GTEST_SKIP), or an empty text when it can: the first line of
// `status` in the folder that scripts/install-wayland-stack.sh prepares.
std::string desktopUnavailable(const QString& status, const char* desktop);
// That folder (LUMORA_STACK_DIR, or ~/.cache/lumora/wayland-stack).
QString stackDir();
// Writes a whole file; throws when it cannot.
void writeFile(const QString& path, const QByteArray& text);

} // namespace lumora::test
