// A desktop portal of the test's own on a private session bus, for what no real desktop here does
// on demand: a request that ends with the user's cancel (1) or ends otherwise (2), a Start that
// hands out no restore token, and a capture the desktop ends while it runs. Every other request succeeds; it records what it was asked.
#pragma once

#include "platform/posix/unique_fd.hpp"
#include "support/support.hpp"

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <map>

namespace lumora::test {

class FakePortal : public QDBusVirtualObject {
public:
    // Owns org.freedesktop.portal.Desktop on `bus`, on a connection of its own, until it is destroyed.
    explicit FakePortal(PrivateBus& bus);
    ~FakePortal() override;

    std::map<QString, unsigned> responses; // the next request of a method ends with this response
    QString nextToken;                     // the restore token a successful Start hands out
    QStringList methods;                   // every screen-cast call, in order
    QStringList offered;                   // the restore token each SelectSources offered ("" for none)

    // Ends the newest session as a desktop does when it stops sharing the screen.
    void closeSession();
    // Closes the far end of the newest PipeWire connection handed out.
    void breakStream() { remoteEnd_.reset(); }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusConnection bus_;
    QString session_;
    UniqueFd remoteEnd_;
};

// Waits until every message that `client` sent before has reached the portal: a call sent after
// them on the same connection is answered only once they were handled.
bool handledBefore(QDBusConnection client);

} // namespace lumora::test
