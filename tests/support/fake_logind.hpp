// The desktop session's services as a test plays them on private buses: a logind that hands out
// inhibitors as pipe ends and announces sleep, shut-down and the lock, and a screen saver.
#pragma once

#include "support/support.hpp"

#include <QThread>

#include <memory>
#include <string>
#include <vector>

namespace lumora::test {

// Owns org.freedesktop.login1 and answers on a thread of its own, so that a client may wait for
// its answers on the test's thread. It knows one session, kSessionId, which is also the session
// of this process. Each inhibitor is one end of a pipe; the fake keeps the other end and so sees
// when the holder closes its own. Its signals leave from the test's thread on one connection, so
// they keep their order.
class FakeLogind {
public:
    static constexpr const char* kSessionId = "c7";
    // How a change of LockedHint is announced: with the new value, or as a name to read again.
    enum class Announce { Value, Invalidation };

    explicit FakeLogind(PrivateBus& bus);
    ~FakeLogind();

    // Every Inhibit call so far, oldest first, as "what mode" ("sleep:shutdown delay").
    std::vector<std::string> inhibitRequests() const;
    // How many handed-out inhibitors their holders still hold.
    int inhibitorsHeld() const;

    void prepareForSleep(bool starting) { sendManagerSignal("PrepareForSleep", starting); }
    void prepareForShutdown(bool starting) { sendManagerSignal("PrepareForShutdown", starting); }
    void setLockedHint(bool locked, Announce how = Announce::Value);
    // The connection its signals leave on, for another fake whose signals must keep their order
    // with these.
    QDBusConnection connection() const { return bus_; }

    class Service;

private:
    void sendManagerSignal(const char* name, bool starting);

    QDBusConnection bus_;
    QThread thread_;
    std::unique_ptr<Service> service_;
};

// Sends the screen saver's ActiveChanged on `bus`, as GNOME and KDE do.
void setScreenSaverActive(const QDBusConnection& bus, bool active);

} // namespace lumora::test
