// The portal's request protocol: each call returns the path of a Request object, whose Response
// signal later carries the answer. The path is predictable from our unique bus name and the
// handle token we choose, so the signal is subscribed to before the call and no answer is missed.
#include "platform/portal/portal_session.hpp"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace lumora {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kSourceMonitor = 1;
constexpr uint kPersistUntilRevoked = 2;
// The answers a request ends with; any other is an interaction that ended without the user's word.
constexpr uint kAnswerSuccess = 0;
constexpr uint kAnswerCancelled = 1;

// Handle tokens only need to be unique among this connection's requests.
QString nextToken()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("lumora%1").arg(++counter);
}

UserText notAnswering(const std::string& detailRu, const std::string& detailEn)
{
    return {"Служба показа экрана рабочего стола не отвечает (" + detailRu + ")",
            "the desktop's screen-sharing service is not answering (" + detailEn + ")"};
}

struct Verdict {
    PortalSession::Phase phase;
    UserText problem;
};

// A call that failed because nobody answered it is an outage that may pass (the portal's backend
// restarting, a desktop still starting up); one that the portal answered with an error is not.
Verdict judge(const QDBusError& error, const std::string& method)
{
    const QString name = error.name();
    const std::string detail = error.message().toStdString() + " (" + name.toStdString() + ")";
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return {PortalSession::Phase::Unanswered,
                notAnswering("на шине сеанса никто не отвечает org.freedesktop.portal.Desktop; установлен ли "
                             "xdg-desktop-portal и модуль портала для этого рабочего стола?",
                             "nothing on the session bus answers org.freedesktop.portal.Desktop; are xdg-desktop-portal "
                             "and the portal backend of this desktop installed?")};
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.TimedOut") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return {PortalSession::Phase::Unanswered, notAnswering(method + ": " + detail, method + ": " + detail)};
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return {PortalSession::Phase::Failed,
                {"Портал рабочего стола не умеет захватывать экран (org.freedesktop.portal.ScreenCast); установите "
                 "модуль портала для этого рабочего стола",
                 "the desktop portal offers no screen capture (org.freedesktop.portal.ScreenCast); install the "
                 "portal backend of this desktop"}};
    return {PortalSession::Phase::Failed,
            {"Портал рабочего стола не выполнил " + method + ": " + detail,
             "the desktop portal failed " + method + ": " + detail}};
}

} // namespace

PortalSession::PortalSession(QDBusConnection bus, std::string restoreToken, std::function<void()> changed)
    : bus_(std::move(bus)), offeredToken_(std::move(restoreToken)), changed_(std::move(changed))
{
    if (!bus_.isConnected()) {
        const QString why = bus_.lastError().message();
        phase_ = Phase::Failed;
        const std::string detail = why.isEmpty() ? std::string() : " (" + why.toStdString() + ")";
        problem_ = {"Не спросить портал рабочего стола об экране: нет шины сеанса D-Bus" + detail,
                    "cannot ask the desktop portal for the screen: no D-Bus session bus" + detail};
        return;
    }
    // ":1.42" appears in request paths as "1_42".
    sender_ = bus_.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString sessionToken = nextToken();
    request(Step::CreateSession, QStringLiteral("CreateSession"), {}, {{"session_handle_token", sessionToken}});
}

PortalSession::~PortalSession()
{
    if (!requestPath_.isEmpty()) {
        bus_.send(QDBusMessage::createMethodCall(kService, requestPath_, kRequest, QStringLiteral("Close")));
        unwatchRequest();
    }
    if (!sessionPath_.isEmpty()) {
        bus_.disconnect(kService, sessionPath_, kSession, QStringLiteral("Closed"), this,
                        SLOT(onClosed(QVariantMap, QDBusMessage)));
        bus_.send(QDBusMessage::createMethodCall(kService, sessionPath_, kSession, QStringLiteral("Close")));
    }
}

std::string PortalSession::methodName(Step step)
{
    switch (step) {
    case Step::CreateSession: return "CreateSession";
    case Step::SelectSources: return "SelectSources";
    case Step::Start: return "Start";
    case Step::OpenRemote: return "OpenPipeWireRemote";
    case Step::Done: break;
    }
    return "its work";
}

void PortalSession::finish(Phase phase, UserText problem)
{
    unwatchRequest();
    step_ = Step::Done;
    phase_ = phase;
    problem_ = std::move(problem);
    if (changed_)
        changed_();
}

void PortalSession::watchRequest(const QString& path)
{
    requestPath_ = path;
    bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                 SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
}

void PortalSession::unwatchRequest()
{
    if (requestPath_.isEmpty())
        return;
    bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    requestPath_.clear();
}

void PortalSession::request(Step step, const QString& method, QVariantList arguments, QVariantMap options)
{
    step_ = step;
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    watchRequest(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender_, token));

    arguments.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, step](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (step_ != step)
            return;
        if (reply.isError()) {
            Verdict v = judge(reply.error(), methodName(step));
            finish(v.phase, std::move(v.problem));
            return;
        }
        // Portals older than the handle_token option choose the path themselves.
        if (const QString path = reply.value().path(); path != requestPath_) {
            unwatchRequest();
            watchRequest(path);
        }
    });
}

void PortalSession::onResponse(uint code, const QVariantMap& results, const QDBusMessage& message)
{
    if (message.path() != requestPath_)
        return;
    unwatchRequest();
    if (code == kAnswerCancelled) {
        finish(Phase::Refused, {"Показ экрана отменён в диалоге рабочего стола",
                                "screen sharing was cancelled in the desktop's dialog"});
        return;
    }
    // The portal ends a request this way also when its backend is away or failed: not the user's no.
    if (code != kAnswerSuccess) {
        finish(Phase::Unanswered, notAnswering("портал завершил " + methodName(step_) + " без ответа",
                                               "its portal ended " + methodName(step_) + " without an answer"));
        return;
    }
    switch (step_) {
    case Step::CreateSession: {
        // The handle comes as a string, not as an object path.
        sessionPath_ = results.value(QStringLiteral("session_handle")).toString();
        if (sessionPath_.isEmpty()) {
            finish(Phase::Failed, {"Портал рабочего стола создал сеанс захвата без идентификатора",
                                   "the desktop portal created a screen-cast session without a handle"});
            return;
        }
        bus_.connect(kService, sessionPath_, kSession, QStringLiteral("Closed"), this,
                     SLOT(onClosed(QVariantMap, QDBusMessage)));
        QVariantMap options{{"types", kSourceMonitor}, {"multiple", false}, {"persist_mode", kPersistUntilRevoked}};
        if (!offeredToken_.empty())
            options.insert(QStringLiteral("restore_token"), QString::fromStdString(offeredToken_));
        request(Step::SelectSources, QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(sessionPath_))},
                options);
        break;
    }
    case Step::SelectSources:
        request(Step::Start, QStringLiteral("Start"),
                {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QString()}, {});
        break;
    case Step::Start:
        takeStreams(results);
        break;
    case Step::OpenRemote:
    case Step::Done:
        break;
    }
}

void PortalSession::takeStreams(const QVariantMap& results)
{
    newToken_ = results.value(QStringLiteral("restore_token")).toString().toStdString();
    // streams: a(ua{sv}), one entry per selected monitor; the first is ours.
    bool found = false;
    const QVariant streams = results.value(QStringLiteral("streams"));
    if (streams.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = streams.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            uint node = 0;
            QVariantMap properties;
            arg.beginStructure();
            arg >> node >> properties;
            arg.endStructure();
            if (!found) {
                node_ = node;
                found = true;
            }
        }
        arg.endArray();
    }
    if (!found) {
        finish(Phase::Failed, {"Портал рабочего стола начал захват без монитора",
                               "the desktop portal started screen capture without a monitor"});
        return;
    }
    openRemote();
}

void PortalSession::openRemote()
{
    step_ = Step::OpenRemote;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(sessionPath_)), QVariantMap()});
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (step_ != Step::OpenRemote)
            return;
        if (reply.isError()) {
            Verdict v = judge(reply.error(), "OpenPipeWireRemote");
            finish(v.phase, std::move(v.problem));
            return;
        }
        // The descriptor object closes its own copy.
        const int fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
        if (fd < 0) {
            const std::string why = std::strerror(errno);
            finish(Phase::Failed, {"Не получить соединение PipeWire для экрана: " + why,
                                   "cannot take the screen's PipeWire connection: " + why});
            return;
        }
        remote_ = UniqueFd(fd);
        finish(Phase::Running);
    });
}

void PortalSession::onClosed(const QVariantMap&, const QDBusMessage& message)
{
    if (message.path() != sessionPath_)
        return;
    bus_.disconnect(kService, sessionPath_, kSession, QStringLiteral("Closed"), this,
                    SLOT(onClosed(QVariantMap, QDBusMessage)));
    sessionPath_.clear(); // nothing left to close
    // A refused request closes the session too, around its answer, which says why.
    if (phase_ != Phase::Running)
        return;
    finish(Phase::Closed, {"Рабочий стол завершил захват экрана", "the desktop ended the screen capture"});
}

} // namespace lumora
