#include "support/fake_portal.hpp"

#include <sys/socket.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>

#include <stdexcept>
#include <utility>

namespace lumora::test {

namespace {

const QString kService = "org.freedesktop.portal.Desktop";
const QString kPath = "/org/freedesktop/portal/desktop";

// One entry of Start's "streams": a(ua{sv}), a node and its properties.
using StreamEntry = std::pair<uint, QVariantMap>;

} // namespace

FakePortal::FakePortal(PrivateBus& bus) : bus_(bus.connect())
{
    qDBusRegisterMetaType<StreamEntry>();
    qDBusRegisterMetaType<QList<StreamEntry>>();
    if (!bus_.registerVirtualObject(kPath, this, QDBusConnection::SubPath) || !bus_.registerService(kService))
        throw std::runtime_error("the fake portal cannot take its name: " + bus_.lastError().message().toStdString());
}

FakePortal::~FakePortal()
{
    bus_.unregisterService(kService);
    bus_.unregisterObject(kPath, QDBusConnection::UnregisterTree);
}

void FakePortal::closeSession()
{
    bus_.send(QDBusMessage::createSignal(session_, "org.freedesktop.portal.Session", "Closed") << QVariantMap());
}

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    // handledBefore()'s call, and the client closing a request or a session.
    if (message.interface() != "org.freedesktop.portal.ScreenCast")
        return connection.send(message.createReply());
    const QString method = message.member();
    const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
    methods.append(method);
    if (method == "OpenPipeWireRemote") {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw std::runtime_error("socketpair failed");
        remoteEnd_.reset(pair[0]);
        const UniqueFd clientEnd(pair[1]); // the reply carries its own copy
        return connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(clientEnd.get()))));
    }
    const auto answer = responses.extract(method);
    const unsigned response = answer ? answer.mapped() : 0;
    // ":1.42" appears in request paths as "1_42".
    const QString sender = message.service().mid(1).replace('.', '_');
    const QString request = kPath + "/request/" + sender + "/" + options.value("handle_token").toString();
    connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QVariantMap results;
    if (method == "CreateSession")
        results.insert("session_handle", session_ = kPath + "/session/" + sender + "/" + options.value("session_handle_token").toString());
    if (method == "SelectSources")
        offered.append(options.value("restore_token").toString());
    if (method == "Start" && response == 0) {
        results.insert("streams", QVariant::fromValue(QList<StreamEntry>{{42u, {}}}));
        if (!nextToken.isEmpty())
            results.insert("restore_token", nextToken);
    }
    return connection.send(QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response") << response << results);
}

bool handledBefore(QDBusConnection client)
{
    const QDBusMessage sync = QDBusMessage::createMethodCall(kService, kPath, "org.lumora.Test", "Sync");
    QDBusPendingCallWatcher watcher(client.asyncCall(sync));
    return QTest::qWaitFor([&] { return watcher.isFinished(); }, kBound) && !watcher.isError();
}

} // namespace lumora::test
