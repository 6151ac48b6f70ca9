// The fake logind is one object that answers on every path under /org/freedesktop/login1, on its
// own thread, and shares its state with the test's thread under a lock.
#include "support/fake_logind.hpp"

#include "platform/posix/unique_fd.hpp"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace lumora::test {

namespace {

const QString kLogin = "org.freedesktop.login1";
const QString kManagerPath = "/org/freedesktop/login1";
const QString kSessionPath = kManagerPath + "/session/" + FakeLogind::kSessionId;

} // namespace

class FakeLogind::Service final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        const QString method = call.member();
        const QVariantList args = call.arguments();
        QDBusMessage reply = call.createErrorReply(QDBusError::UnknownMethod, method);
        if (int ends[2]; method == "Inhibit" && ::pipe2(ends, O_CLOEXEC) == 0) {
            const UniqueFd holderEnd(ends[1]); // the reply carries a copy of its own
            reply = call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(holderEnd.get())));
            const std::lock_guard lock(mutex);
            inhibitors.emplace_back((args[0].toString() + ' ' + args[3].toString()).toStdString(), UniqueFd(ends[0]));
        } else if (method == "GetSession" || method == "GetSessionByPID") {
            const bool ours = method == "GetSession" ? args[0].toString() == kSessionId : args[0].toUInt() == static_cast<uint>(::getpid());
            reply = ours ? call.createReply(QVariant::fromValue(QDBusObjectPath(kSessionPath)))
                         : call.createErrorReply("org.freedesktop.login1.NoSuchSession", "no session " + args[0].toString());
        } else if (method == "Get" && call.path() == kSessionPath && args.value(1).toString() == "LockedHint") {
            reply = call.createReply(QVariant::fromValue(QDBusVariant(locked.load())));
        }
        return bus.send(reply);
    }

    std::mutex mutex;
    std::vector<std::pair<std::string, UniqueFd>> inhibitors; // the request, and the fake's end of the pipe
    std::atomic<bool> locked{false};
};

FakeLogind::FakeLogind(PrivateBus& bus) : bus_(bus.connect()), service_(std::make_unique<Service>())
{
    // Registering gives the object a child, which moves to the thread with it.
    const bool registered = bus_.registerVirtualObject(kManagerPath, service_.get(), QDBusConnection::SubPath);
    service_->moveToThread(&thread_);
    thread_.start();
    if (!registered || !bus_.registerService(kLogin)) {
        thread_.quit(), thread_.wait();
        throw std::runtime_error("the fake logind cannot take its place on the bus: " + bus_.lastError().message().toStdString());
    }
}

FakeLogind::~FakeLogind()
{
    bus_.unregisterService(kLogin);
    bus_.unregisterObject(kManagerPath, QDBusConnection::UnregisterTree);
    thread_.quit();
    thread_.wait();
}

std::vector<std::string> FakeLogind::inhibitRequests() const
{
    const std::lock_guard lock(service_->mutex);
    std::vector<std::string> requests;
    for (const auto& [request, end] : service_->inhibitors)
        requests.push_back(request);
    return requests;
}

int FakeLogind::inhibitorsHeld() const
{
    const std::lock_guard lock(service_->mutex);
    int held = 0;
    for (const auto& [request, end] : service_->inhibitors) {
        // The read end of a pipe hangs up once every copy of the write end is closed.
        pollfd pfd{end.get(), POLLIN, 0};
        held += ::poll(&pfd, 1, 0) == 0 || !(pfd.revents & POLLHUP);
    }
    return held;
}

void FakeLogind::sendManagerSignal(const char* name, bool starting)
{
    bus_.send(QDBusMessage::createSignal(kManagerPath, "org.freedesktop.login1.Manager", name) << starting);
}

void FakeLogind::setLockedHint(bool locked, Announce how)
{
    service_->locked = locked;
    const bool value = how == Announce::Value;
    bus_.send(QDBusMessage::createSignal(kSessionPath, "org.freedesktop.DBus.Properties", "PropertiesChanged")
              << "org.freedesktop.login1.Session" << (value ? QVariantMap{{"LockedHint", locked}} : QVariantMap())
              << (value ? QStringList() : QStringList{"LockedHint"}));
}

void setScreenSaverActive(const QDBusConnection& bus, bool active)
{
    bus.send(QDBusMessage::createSignal("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged") << active);
}

} // namespace lumora::test
