// Listens to the desktop session (logind on the system bus, the screen saver on the session bus) and
// tells the rest of the program, as plain pause and resume events, when the lamps should go dark.
#pragma once

#include "base/pause_reason.hpp"
#include "platform/posix/unique_fd.hpp"

#include <QDBusConnection>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace lumora {

// While logind is there, a delay inhibitor for sleep and shut-down is held, so that the machine
// waits (at most logind's InhibitDelayMaxSec) until the lamps are off. Slots connected directly to
// pauseRequested run before it is let go: that is where the lamps are switched off and the line is
// given its bounded time to carry it. Logind announces some changes twice; each counts once.
//
// The screen is locked while logind's LockedHint or the screen saver says so: Locked is paused
// when the first of them says locked and resumed when both say unlocked.
class SessionWatcher : public QObject {
    Q_OBJECT

public:
    // `system` is where logind is looked for, `session` where the screen saver is; either may be
    // a connection that is not connected. Nothing happens before start().
    SessionWatcher(QDBusConnection system, QDBusConnection session, QObject* parent = nullptr);

    // Takes the inhibitor, finds this program's session and starts listening; a screen locked
    // already pauses Locked from here. Each call to logind waits at most a second and a half.
    // Without logind it says so once on standard error and follows the screen saver alone.
    // Only the first call does anything.
    void start();

    // Whether logind's name was on the system bus at start.
    bool logindAvailable() const { return logindAvailable_; }

public Q_SLOTS:
    // For a program that noticed by itself that the machine woke up (after hibernation logind may
    // never say so): holds the inhibitor again and forgets the sleep, so that the next one pauses.
    // Emits nothing, as the caller has resumed already.
    void retakeInhibitor();

Q_SIGNALS:
    void pauseRequested(lumora::PauseReason reason);
    void resumeRequested(lumora::PauseReason reason);

private Q_SLOTS:
    void onPrepareForSleep(bool starting);
    void onPrepareForShutdown(bool starting);
    void onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void onScreenSaverActiveChanged(bool active);

private:
    void prepare(bool& underway, bool starting, PauseReason reason);
    void takeInhibitor();
    void followSession();
    void readLockedHint();
    void setLock(bool& source, bool locked);

    QDBusConnection system_;
    QDBusConnection session_;
    bool started_ = false;
    bool logindAvailable_ = false;
    UniqueFd inhibitor_;
    bool sleeping_ = false;
    bool shuttingDown_ = false;
    QString sessionPath_; // empty when logind knows no session of ours
    bool lockedHint_ = false;
    bool screenSaverActive_ = false;
};

} // namespace lumora

Q_DECLARE_METATYPE(lumora::PauseReason)
