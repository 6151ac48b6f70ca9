// The fake logind's objects live on its thread and share their state with the test's thread under
// a lock; signals are sent from the test's thread on the same connection, so they keep their order.
#include "support/fake_logind.hpp"

#include "platform/posix/unique_fd.hpp"

#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace lumora::test {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/") + FakeLogind::kSessionId;

} // namespace

struct FakeLogind::State {
    mutable std::mutex mutex;
    std::vector<std::pair<std::string, UniqueFd>> inhibitors; // the request, and the fake's end of the pipe
    std::atomic<bool> locked{false};
};

namespace {

class Manager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit Manager(std::shared_ptr<FakeLogind::State> state) : state_(std::move(state)) {}

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& /*who*/, const QString& /*why*/, const QString& mode)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("no pipe for the inhibitor"));
            return {};
        }
        const UniqueFd holderEnd(ends[1]); // the reply carries a copy of its own
        const std::lock_guard lock(state_->mutex);
        state_->inhibitors.emplace_back((what + ' ' + mode).toStdString(), UniqueFd(ends[0]));
        return QDBusUnixFileDescriptor(holderEnd.get());
    }

    QDBusObjectPath GetSession(const QString& id)
    {
        if (id == QLatin1String(FakeLogind::kSessionId))
            return QDBusObjectPath(kSessionPath);
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("No session '%1' known").arg(id));
        return {};
    }

    QDBusObjectPath GetSessionByPID(uint pid)
    {
        if (pid == static_cast<uint>(::getpid()))
            return QDBusObjectPath(kSessionPath);
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"), QStringLiteral("PID %1 has no session").arg(pid));
        return {};
    }

private:
    std::shared_ptr<FakeLogind::State> state_;
};

class Session : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ lockedHint)

public:
    explicit Session(std::shared_ptr<FakeLogind::State> state) : state_(std::move(state)) {}
    bool lockedHint() const { return state_->locked; }

private:
    std::shared_ptr<FakeLogind::State> state_;
};

} // namespace

FakeLogind::FakeLogind(PrivateBus& bus)
    : bus_(bus.connect()), state_(std::make_shared<State>()), manager_(std::make_unique<Manager>(state_)),
      session_(std::make_unique<Session>(state_))
{
    thread_.start();
    manager_->moveToThread(&thread_);
    session_->moveToThread(&thread_);
    if (!bus_.registerObject(kManagerPath, manager_.get(), QDBusConnection::ExportAllSlots) ||
        !bus_.registerObject(kSessionPath, session_.get(), QDBusConnection::ExportAllProperties) ||
        !bus_.registerService(kLogin)) {
        thread_.quit(), thread_.wait();
        throw std::runtime_error("the fake logind cannot take its place on the bus: " + bus_.lastError().message().toStdString());
    }
}

FakeLogind::~FakeLogind()
{
    bus_.unregisterService(kLogin);
    bus_.unregisterObject(kSessionPath);
    bus_.unregisterObject(kManagerPath);
    thread_.quit();
    thread_.wait();
}

std::vector<std::string> FakeLogind::inhibitRequests() const
{
    const std::lock_guard lock(state_->mutex);
    std::vector<std::string> requests;
    for (const auto& [request, end] : state_->inhibitors)
        requests.push_back(request);
    return requests;
}

int FakeLogind::inhibitorsHeld() const
{
    const std::lock_guard lock(state_->mutex);
    int held = 0;
    for (const auto& [request, end] : state_->inhibitors) {
        // The read end of a pipe hangs up once every copy of the write end is closed.
        pollfd pfd{end.get(), POLLIN, 0};
        held += ::poll(&pfd, 1, 0) == 0 || !(pfd.revents & POLLHUP);
    }
    return held;
}

void FakeLogind::sendManagerSignal(const char* name, bool starting)
{
    QDBusMessage message = QDBusMessage::createSignal(kManagerPath, QStringLiteral("org.freedesktop.login1.Manager"), name);
    message << starting;
    bus_.send(message);
}

void FakeLogind::prepareForSleep(bool starting)
{
    sendManagerSignal("PrepareForSleep", starting);
}

void FakeLogind::prepareForShutdown(bool starting)
{
    sendManagerSignal("PrepareForShutdown", starting);
}

void FakeLogind::setLockedHint(bool locked, Announce how)
{
    state_->locked = locked;
    QVariantMap changed;
    QStringList invalidated;
    if (how == Announce::Value)
        changed.insert(QStringLiteral("LockedHint"), locked);
    else
        invalidated.append(QStringLiteral("LockedHint"));
    QDBusMessage message = QDBusMessage::createSignal(kSessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"));
    message << QStringLiteral("org.freedesktop.login1.Session") << changed << invalidated;
    bus_.send(message);
}

void FakeScreenSaver::setActive(bool active)
{
    QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                      QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"));
    message << active;
    bus_.send(message);
}

} // namespace lumora::test

#include "fake_logind.moc"
