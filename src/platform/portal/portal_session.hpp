// One screen-cast session of the desktop portal (org.freedesktop.portal.ScreenCast): create a
// session, select one monitor, start it (the desktop may ask the user), and open the PipeWire
// remote that carries its frames. Every call is asynchronous: nothing here waits for an answer.
#pragma once

#include "platform/posix/unique_fd.hpp"

#include "sampling/screen.hpp"
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <string>

namespace lumora {

class PortalSession : public QObject {
    Q_OBJECT

public:
    enum class Phase {
        Asking,     // a request is in flight, possibly a dialog in front of the user
        Running,    // the remote and the node are there to be taken
        Refused,    // the user cancelled (the request's answer 1): only the user can take that back
        Unanswered, // nobody gave an answer: the portal or its backend is away or did not reply, or a
                    // request ended without the user's word (answer 2); asking later may work
        Failed,     // the portal cannot capture the screen or broke the protocol
        Closed,     // the desktop ended a session that had been running
    };

    // Starts asking on `bus` at once. `restoreToken` (may be empty) is offered so that a desktop
    // that remembers the user's earlier answer does not ask again. `changed` is called, on this
    // object's thread, whenever phase() changes.
    PortalSession(QDBusConnection bus, std::string restoreToken, std::function<void()> changed);
    // Withdraws a request in flight and closes the session, without waiting for the portal.
    ~PortalSession() override;
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;

    Phase phase() const { return phase_; }
    // Why the session is not running, for the user; empty while Asking or Running.
    const UserText& problem() const { return problem_; }

    // Once Running: the connection to PipeWire (taken once) and the monitor's node.
    UniqueFd takeRemote() { return std::move(remote_); }
    std::uint32_t node() const { return node_; }
    // The token to offer next time, when the desktop gave one (it changes on every start).
    const std::string& restoreToken() const { return newToken_; }

private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results, const QDBusMessage& message);
    void onClosed(const QVariantMap& details, const QDBusMessage& message);

private:
    enum class Step { CreateSession, SelectSources, Start, OpenRemote, Done };

    void request(Step step, const QString& method, QVariantList arguments, QVariantMap options);
    void watchRequest(const QString& path);
    void unwatchRequest();
    void openRemote();
    void takeStreams(const QVariantMap& results);
    void finish(Phase phase, UserText problem = {});
    static std::string methodName(Step step);

    QDBusConnection bus_;
    std::string offeredToken_;
    std::function<void()> changed_;

    Phase phase_ = Phase::Asking;
    UserText problem_;
    Step step_ = Step::CreateSession;
    QString sender_;      // our unique bus name as it appears in request paths
    QString requestPath_; // of the request whose answer is awaited; empty when none
    QString sessionPath_;

    UniqueFd remote_;
    std::uint32_t node_ = 0;
    std::string newToken_;
};

} // namespace lumora
