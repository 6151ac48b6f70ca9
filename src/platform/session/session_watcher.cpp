// logind's side: the manager's PrepareForSleep and PrepareForShutdown, the inhibitor descriptor, and
// the LockedHint of this program's session; the screen saver's ActiveChanged beside it.
#include "platform/session/session_watcher.hpp"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>

namespace lumora {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kLockedHint = QStringLiteral("LockedHint");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");

// logind answers within milliseconds; a bus that does not must not hold up the program for long.
constexpr int kCallTimeoutMs = 1500;

QDBusMessage call(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallTimeoutMs);
}

std::string text(const QDBusError& error)
{
    return error.message().toStdString() + " (" + error.name().toStdString() + ")";
}

// Why logind cannot be followed, or an empty text when its name is on the bus.
std::string whyNoLogind(QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        const std::string detail = bus.lastError().message().toStdString();
        return "there is no system bus" + (detail.empty() ? detail : " (" + detail + ")");
    }
    const QDBusReply<bool> owned = call(bus, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {kLogin});
    if (!owned.isValid())
        return "the system bus did not say whether logind is there: " + text(owned.error());
    return owned.value() ? std::string() : "logind is not on the system bus";
}

} // namespace

SessionWatcher::SessionWatcher(QDBusConnection system, QDBusConnection session, QObject* parent)
    : QObject(parent), system_(std::move(system)), session_(std::move(session))
{
}

void SessionWatcher::start()
{
    if (std::exchange(started_, true))
        return;
    // Any sender on any path: desktops differ in which of their programs sends it, and where.
    if (session_.isConnected())
        session_.connect(QString(), QString(), kScreenSaver, QStringLiteral("ActiveChanged"), this,
                         SLOT(onScreenSaverActiveChanged(bool)));

    if (const std::string why = whyNoLogind(system_); !why.empty()) {
        std::cerr << "lumora-driver: " << why
                  << "; the lamps will not follow sleep or shut-down, and follow the screen lock only as the "
                     "screen saver reports it\n";
        return;
    }
    logindAvailable_ = true;
    // Listening before the inhibitor is taken: a sleep that begins in between is still seen.
    system_.connect(kLogin, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    system_.connect(kLogin, kManagerPath, kManager, QStringLiteral("PrepareForShutdown"), this,
                    SLOT(onPrepareForShutdown(bool)));
    takeInhibitor();
    followSession();
}

void SessionWatcher::takeInhibitor()
{
    if (inhibitor_)
        return;
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        call(system_, kLogin, kManagerPath, kManager, QStringLiteral("Inhibit"),
             {QStringLiteral("sleep:shutdown"), QStringLiteral("Lumora Driver"), QStringLiteral("Switching the lamps off"),
              QStringLiteral("delay")});
    std::string why;
    if (!reply.isValid())
        why = text(reply.error());
    // The descriptor object closes its own copy when the reply goes.
    else if (const int fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3); fd < 0)
        why = std::strerror(errno);
    else
        inhibitor_.reset(fd);
    if (!why.empty())
        std::cerr << "lumora-driver: logind will not wait for the lamps to go dark before sleep or shut-down: " << why
                  << '\n';
}

void SessionWatcher::followSession()
{
    // XDG_SESSION_ID names the session the desktop started us in; without it, logind finds the
    // session by our process, which fails for a program started outside every session.
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    const QDBusReply<QDBusObjectPath> reply =
        id.isEmpty() ? call(system_, kLogin, kManagerPath, kManager, QStringLiteral("GetSessionByPID"),
                            {QVariant::fromValue(static_cast<uint>(::getpid()))})
                     : call(system_, kLogin, kManagerPath, kManager, QStringLiteral("GetSession"), {id});
    if (!reply.isValid()) {
        std::cerr << "lumora-driver: logind knows no session of this program (" << text(reply.error())
                  << "); the lamps follow the screen lock only as the screen saver reports it\n";
        return;
    }
    sessionPath_ = reply.value().path();
    system_.connect(kLogin, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList)));
    readLockedHint();
}

void SessionWatcher::readLockedHint()
{
    const QDBusReply<QVariant> reply = call(system_, kLogin, sessionPath_, kProperties, QStringLiteral("Get"), {kSession, kLockedHint});
    // A session that cannot say keeps the state last known.
    if (reply.isValid())
        setLock(lockedHint_, reply.value().toBool());
}

void SessionWatcher::prepare(bool& underway, bool starting, PauseReason reason)
{
    if (underway == starting)
        return;
    underway = starting;
    if (starting) {
        Q_EMIT pauseRequested(reason);
        // Directly connected slots have put the lamps out by now; holding on would only keep the
        // machine waiting for the rest of logind's delay.
        inhibitor_.reset();
    } else {
        takeInhibitor();
        Q_EMIT resumeRequested(reason);
    }
}

void SessionWatcher::onPrepareForSleep(bool starting)
{
    prepare(sleeping_, starting, PauseReason::Sleep);
}

void SessionWatcher::onPrepareForShutdown(bool starting)
{
    prepare(shuttingDown_, starting, PauseReason::Shutdown);
}

void SessionWatcher::retakeInhibitor()
{
    if (!logindAvailable_)
        return;
    sleeping_ = false;
    // A shut-down under way must not be held up; its cancellation takes the inhibitor again.
    if (!shuttingDown_)
        takeInhibitor();
}

void SessionWatcher::onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                const QStringList& invalidated)
{
    if (interface != kSession)
        return;
    if (const auto it = changed.find(kLockedHint); it != changed.end())
        setLock(lockedHint_, it->toBool());
    else if (invalidated.contains(kLockedHint))
        readLockedHint();
}

void SessionWatcher::onScreenSaverActiveChanged(bool active)
{
    setLock(screenSaverActive_, active);
}

void SessionWatcher::setLock(bool& source, bool locked)
{
    const bool before = lockedHint_ || screenSaverActive_;
    source = locked;
    const bool after = lockedHint_ || screenSaverActive_;
    if (after && !before)
        Q_EMIT pauseRequested(PauseReason::Locked);
    else if (before && !after)
        Q_EMIT resumeRequested(PauseReason::Locked);
}

} // namespace lumora
