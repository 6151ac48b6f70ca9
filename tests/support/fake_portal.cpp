#include "support/fake_portal.hpp"

#include <sys/socket.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>

#include <cerrno>
#include <stdexcept>

namespace lumora::test {

namespace {

const QString kService = "org.freedesktop.portal.Desktop";
const QString kPath = "/org/freedesktop/portal/desktop";
const QString kTestInterface = "org.lumora.Test";

// One entry of Start's "streams": a(ua{sv}).
struct StreamEntry {
    uint node = 0;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const StreamEntry& s)
{
    arg.beginStructure();
    arg << s.node << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, StreamEntry& s)
{
    arg.beginStructure();
    arg >> s.node >> s.properties;
    arg.endStructure();
    return arg;
}

} // namespace
} // namespace lumora::test

Q_DECLARE_METATYPE(lumora::test::StreamEntry)

namespace lumora::test {

FakePortal::FakePortal(PrivateBus& bus) : bus_(bus.connect())
{
    qDBusRegisterMetaType<StreamEntry>();
    qDBusRegisterMetaType<QList<StreamEntry>>();
    if (!bus_->registerVirtualObject(kPath, this, QDBusConnection::SubPath) || !bus_->registerService(kService))
        throw std::runtime_error("the fake portal cannot take its name: " + bus_->lastError().message().toStdString());
}

FakePortal::~FakePortal() { leaveBus(); }

void FakePortal::leaveBus()
{
    if (!bus_)
        return;
    bus_->unregisterObject(kPath, QDBusConnection::UnregisterTree);
    const QString name = bus_->name();
    bus_.reset();
    QDBusConnection::disconnectFromBus(name);
}

int FakePortal::count(const QString& method) const
{
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.method == method; }));
}

void FakePortal::closeSession()
{
    bus_->send(QDBusMessage::createSignal(session_, "org.freedesktop.portal.Session", "Closed") << QVariantMap());
}

bool FakePortal::streamClosedByClient()
{
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(remoteEnd_.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    }
    return n == 0;
}

QString FakePortal::introspect(const QString&) const { return {}; }

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString method = message.member();
    if (message.interface() == kTestInterface || message.interface() == "org.freedesktop.portal.Request") {
        connection.send(message.createReply());
        return true;
    }
    if (message.interface() == "org.freedesktop.portal.Session") {
        ++sessionsClosed_;
        connection.send(message.createReply());
        return true;
    }
    const QVariantList args = message.arguments();
    calls_.push_back({method, args.isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(args.last())});
    const Answer answer = answers.count(method) ? answers.at(method) : Answer{};
    if (answer.hold)
        return true;
    if (!answer.error.isEmpty()) {
        connection.send(message.createErrorReply(answer.error, "the fake portal says no"));
        return true;
    }
    if (method == "OpenPipeWireRemote") {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw std::runtime_error("socketpair failed");
        remoteEnd_.reset(pair[0]);
        const UniqueFd clientEnd(pair[1]); // the reply carries its own copy
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(clientEnd.get()))));
        return true;
    }
    // ":1.42" appears in request paths as "1_42".
    const QString sender = message.service().mid(1).replace('.', '_');
    const QString request = kPath + "/request/" + sender + "/" + calls_.back().options.value("handle_token").toString();
    connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QVariantMap results;
    if (method == "CreateSession") {
        session_ = kPath + "/session/" + sender + "/" + calls_.back().options.value("session_handle_token").toString();
        results.insert("session_handle", session_);
    }
    if (method == "Start" && answer.response == 0) {
        results.insert("streams", QVariant::fromValue(QList<StreamEntry>{{kNode, {}}}));
        if (!nextToken.isEmpty())
            results.insert("restore_token", nextToken);
    }
    connection.send(QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response")
                    << answer.response << results);
    return true;
}

bool handledBefore(QDBusConnection client)
{
    const QDBusMessage sync = QDBusMessage::createMethodCall(kService, kPath, kTestInterface, "Sync");
    QDBusPendingCallWatcher watcher(client.asyncCall(sync));
    return QTest::qWaitFor([&] { return watcher.isFinished(); }, kBound) && !watcher.isError();
}

} // namespace lumora::test
