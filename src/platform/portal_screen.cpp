// Ties the portal session, the PipeWire stream and the frame hand-over together on the UI thread.
// The capture thread only ever touches the frame it lends and the stream's status.
#include "platform/portal_screen.hpp"

#include "platform/pipewire_stream.hpp"
#include "platform/portal_session.hpp"
#include "platform/portal_token_store.hpp"

#include <QDBusConnection>

#include <algorithm>
#include <stdexcept>

namespace lumora {

namespace {

constexpr const char* kAskAgain = "; choose AUTO to ask again";
constexpr const char* kAskAgainRu = "; нажмите AUTO, чтобы спросить снова";
// The longest pause between automatic requests, in screen ticks (5 s each).
constexpr int kLongestPause = 12;

} // namespace

struct PortalScreen::Impl {
    explicit Impl(std::filesystem::path folder) : tokens(std::move(folder)) {}

    RestoreTokenStore tokens;
    std::unique_ptr<PortalSession> session;
    std::unique_ptr<PipeWireStream> stream;
    ScreenSize lastSize;
    UserText parked;        // why the capture was released; it waits for activate() or a renewal
    UserText streamProblem; // the stream could not be set up
    UserText tokenProblem;  // the permission could not be remembered
    bool tokenSaved = false;
    // While AUTO is chosen, a capture that stopped is asked for again without the user, when the
    // desktop can answer from the kept permission alone: after `pause` screen ticks, doubling.
    bool wanted = false;
    bool refused = false;    // the capture parked was refused
    bool unanswered = false; // nobody answered the request for the capture parked: an outage
    int pause = 1;
    int waited = 0;

    void ask();
    void release();
    void sessionChanged();
    bool needsAsking() const;
    bool asksBySelf() const;
    UserText currentProblem() const;
};

void PortalScreen::Impl::release()
{
    stream.reset(); // stops PipeWire's thread before anything it uses goes
    session.reset();
    streamProblem.clear();
    tokenSaved = false;
}

void PortalScreen::Impl::ask()
{
    release();
    parked.clear();
    session = std::make_unique<PortalSession>(QDBusConnection::sessionBus(), tokens.load(), [this] { sessionChanged(); });
}

void PortalScreen::Impl::sessionChanged()
{
    if (!session || session->phase() != PortalSession::Phase::Running || stream)
        return;
    if (!tokenSaved && !session->restoreToken().empty()) {
        const std::string why = tokens.save(session->restoreToken());
        tokenProblem = why.empty() ? UserText{}
                                   : UserText{"Разрешение на захват экрана не запомнить: " + why,
                                              "the permission to capture the screen cannot be remembered: " + why};
        tokenSaved = true;
    }
    try {
        stream = std::make_unique<PipeWireStream>(session->takeRemote(), session->node());
    } catch (const std::runtime_error& e) {
        streamProblem = {"Видеопоток экрана не запустить (" + std::string(e.what()) + ")" + kAskAgainRu,
                         e.what() + std::string(kAskAgain)};
    }
}

bool PortalScreen::Impl::needsAsking() const
{
    if (!parked.empty() || !session || !streamProblem.empty())
        return true;
    if (session->phase() != PortalSession::Phase::Asking && session->phase() != PortalSession::Phase::Running)
        return true;
    return stream && stream->status().state == PipeWireStream::State::Stopped;
}

// Only a kept permission spares the user a dialog; a user who refused is not asked again unbidden.
// An outage is asked through: the user's answer is still awaited.
bool PortalScreen::Impl::asksBySelf() const
{
    return wanted && (unanswered || (!refused && !tokens.load().empty()));
}

UserText PortalScreen::Impl::currentProblem() const
{
    if (!parked.empty())
        return parked;
    if (!session)
        return {"Захват экрана не идёт" + std::string(kAskAgainRu), "screen capture is not running" + std::string(kAskAgain)};
    switch (session->phase()) {
    case PortalSession::Phase::Asking:
        return {"Ждём разрешения на захват экрана (рабочий стол может показывать диалог)",
                "waiting for permission to capture the screen (the desktop may be showing a screen-sharing dialog)"};
    case PortalSession::Phase::Unanswered:
        return {session->problem().ru + "; спрашиваем снова сами", session->problem().en + "; asking again by itself"};
    case PortalSession::Phase::Refused:
    case PortalSession::Phase::Failed:
    case PortalSession::Phase::Closed:
        return {session->problem().ru + kAskAgainRu, session->problem().en + kAskAgain};
    case PortalSession::Phase::Running:
        break;
    }
    const UserText connecting{"Подключаемся к видеопотоку экрана", "connecting to the screen's video stream"};
    if (!streamProblem.empty() || !stream)
        return streamProblem.empty() ? connecting : streamProblem;
    const PipeWireStream::Status s = stream->status();
    switch (s.state) {
    case PipeWireStream::State::Connecting:
        return connecting;
    case PipeWireStream::State::Stopped:
        return {"Захват экрана остановился (" + s.reason + "); экран заблокирован или монитор отключён?" + kAskAgainRu,
                "the screen capture stopped (" + s.reason + "); the screen may be locked or the monitor unplugged" +
                    kAskAgain};
    case PipeWireStream::State::Running:
        break;
    }
    if (stream->frames() == 0)
        return {"Захват идёт; ждём первый кадр (кадры приходят, когда экран меняется)",
                "the screen capture runs; waiting for its first frame (frames come when the screen changes)"};
    return tokenProblem;
}

PortalScreen::PortalScreen(std::filesystem::path tokenFolder) : impl_(std::make_unique<Impl>(std::move(tokenFolder)))
{
    impl_->ask();
}

PortalScreen::~PortalScreen() { impl_->release(); }

ScreenSize PortalScreen::size()
{
    if (impl_->stream) {
        const ScreenSize s = impl_->stream->status().size;
        if (s.width > 0 && s.height > 0)
            impl_->lastSize = s;
    }
    return impl_->lastSize;
}

void PortalScreen::renew()
{
    Impl& s = *impl_;
    if (s.session && s.session->phase() == PortalSession::Phase::Asking)
        return;
    if (!s.needsAsking()) {
        if (s.stream && s.stream->frames() > 0)
            s.pause = 1; // it came back: a later stop starts over from the shortest pause
        return;
    }
    if (s.parked.empty()) {
        // Keep the reason, give back everything the dead capture held.
        const UserText why = s.currentProblem();
        s.refused = s.session && s.session->phase() == PortalSession::Phase::Refused;
        s.unanswered = s.session && s.session->phase() == PortalSession::Phase::Unanswered;
        s.release();
        s.parked = why;
        s.waited = 0;
    } else if (s.asksBySelf() && ++s.waited >= s.pause) {
        s.pause = std::min(2 * s.pause, kLongestPause);
        s.ask();
    }
}

bool PortalScreen::capture(std::span<Snapshot* const> snapshots)
{
    Impl& s = *impl_;
    if (s.stream && s.stream->status().state != PipeWireStream::State::Stopped) {
        s.stream->sample(snapshots);
        return true;
    }
    // Without a frame every point reads failed: an empty view is one.
    for (Snapshot* snapshot : snapshots)
        fillSnapshot(FrameView{}, *snapshot);
    return true;
}

void PortalScreen::drawPoint(int, int) {}

UserText PortalScreen::problem() const { return impl_->currentProblem(); }

void PortalScreen::activate()
{
    impl_->wanted = true;
    impl_->pause = 1;
    impl_->waited = 0;
    if (impl_->needsAsking())
        impl_->ask();
}

void PortalScreen::deactivate() { impl_->wanted = false; }

std::uint64_t PortalScreen::framesReceived() const
{
    return impl_->stream ? impl_->stream->frames() : 0;
}

} // namespace lumora
