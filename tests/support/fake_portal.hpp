// A desktop portal of the test's own on a private session bus: it answers the screen-cast
// requests as the test says (success, the user's cancel, an interaction ended otherwise, a D-Bus
// error, or no reply at all), records what it was asked, and can end what it handed out as a
// desktop does (closing the session, or the PipeWire connection).
#pragma once

#include "platform/posix/unique_fd.hpp"
#include "support/support.hpp"

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <map>
#include <optional>
#include <vector>

namespace lumora::test {

class FakePortal : public QDBusVirtualObject {
public:
    // How the portal answers one method: a Response code through the request (0 success, 1 the
    // user's cancel, 2 ended otherwise), else a D-Bus error reply, else no reply at all.
    struct Answer {
        unsigned response = 0;
        QString error;      // the error's name; then no request is made
        bool hold = false;  // neither reply nor response, as a portal that hangs
    };
    static Answer respond(unsigned response) { return {response, {}, false}; }
    static Answer fail(const QString& error) { return {0, error, false}; }
    static Answer hang() { return {0, {}, true}; }
    struct Call {
        QString method;
        QVariantMap options;
    };

    // Owns org.freedesktop.portal.Desktop on `bus`, on a connection of its own.
    explicit FakePortal(PrivateBus& bus);
    ~FakePortal() override;

    std::map<QString, Answer> answers; // by method name; success when not named
    QString nextToken;                 // the restore token the next successful Start hands out
    static constexpr unsigned kNode = 42;

    const std::vector<Call>& calls() const { return calls_; }
    int count(const QString& method) const;
    int sessionsClosed() const { return sessionsClosed_; }
    // Leaves the bus at once, replying to nothing held.
    void leaveBus();
    // Ends the newest session as a desktop does when it stops sharing the screen.
    void closeSession();
    // Closes the far end of the newest PipeWire connection handed out.
    void breakStream() { remoteEnd_.reset(); }
    // Whether the client closed its end of the newest PipeWire connection (reads and drops what
    // it wrote meanwhile).
    bool streamClosedByClient();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    std::optional<QDBusConnection> bus_; // the only reference: dropping it lets the connection close
    std::vector<Call> calls_;
    int sessionsClosed_ = 0;
    QString session_;
    UniqueFd remoteEnd_;
};

// Waits until every message that `client` sent before has reached `portal`: a call sent after them
// on the same connection is answered only once they were handled.
bool handledBefore(QDBusConnection client);

} // namespace lumora::test
