// Ties the portal session, the PipeWire stream and the frame hand-over together on the UI thread.
// The capture thread only ever touches the frame it lends and the stream's status.
#include "platform/portal/portal_screen.hpp"

#include "platform/portal/pipewire_stream.hpp"
#include "platform/portal/portal_session.hpp"
#include "platform/portal/portal_token_store.hpp"

#include <QDBusConnection>

#include <algorithm>
#include <stdexcept>

namespace lumora {

namespace {

// The longest pause between requests asked by the capture itself, in screen ticks (5 s each).
constexpr int kLongestPause = 12;

UserText operator+(const UserText& a, const UserText& b) { return {a.ru + b.ru, a.en + b.en}; }

// Who asks next, said after why a capture ended.
const UserText kUserAsks{"; нажмите AUTO, чтобы спросить снова", "; choose AUTO to ask again"};
const UserText kAsksBySelf{"; спрашиваем снова сами", "; asking again by itself"};
// After the desktop ended a capture, what may have happened, and what the capture waits for.
const UserText kWhyEnded{" — монитор выключен или отключён, компьютер спит или на другой консоли",
                         " — the monitor may be off or unplugged, the computer asleep or on another console"};
const UserText kAwaitsScreen{"; ждём экран и спрашиваем снова сами, с сохранённым разрешением",
                             "; waiting for the screen, asking again by itself with the kept permission"};

} // namespace

struct PortalScreen::Impl {
    Impl(std::filesystem::path folder, QDBusConnection connection) : tokens(std::move(folder)), bus(std::move(connection)) {}

    // Why a capture ended, and whether the capture asks again without the user.
    struct Ending {
        UserText why;
        bool bySelf = false;
    };

    RestoreTokenStore tokens;
    QDBusConnection bus;
    std::unique_ptr<PortalSession> session;
    std::unique_ptr<PipeWireStream> stream;
    ScreenSize lastSize;
    UserText streamProblem; // the stream could not be set up
    UserText tokenProblem;  // the permission could not be remembered
    bool tokenSaved = false;

    bool wanted = false; // AUTO is chosen: a capture is asked for, runs, or waits to be asked again
    // Why the last capture ended; shown until the desktop grants a capture again or the user asks.
    UserText ended;
    bool bySelf = false; // the capture let go is asked for again after `pause` renewals, doubling
    int pause = 1;
    int waited = 0;

    void ask();
    void release();
    void park();
    void sessionChanged();
    bool live() const;
    bool flowing() const { return stream && stream->frames() > 0 && live(); }
    Ending ending() const;
    UserText currentProblem() const;
};

void PortalScreen::Impl::release()
{
    stream.reset(); // stops PipeWire's thread before anything it uses goes
    session.reset(); // closes the portal session
    streamProblem.clear();
    tokenSaved = false;
}

void PortalScreen::Impl::ask()
{
    release();
    session = std::make_unique<PortalSession>(bus, tokens.load(), [this] { sessionChanged(); });
}

// Gives back everything a capture that ended held, keeping why it ended.
void PortalScreen::Impl::park()
{
    Ending e = ending();
    release();
    ended = std::move(e.why);
    bySelf = e.bySelf;
    waited = 0;
}

void PortalScreen::Impl::sessionChanged()
{
    if (!session || session->phase() != PortalSession::Phase::Running || stream)
        return;
    ended.clear(); // granted: what follows is the stream's to say
    // A token may serve only once: each new one replaces the one kept.
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
        streamProblem = {"Видеопоток экрана не запустить (" + std::string(e.what()) + ")", e.what()};
    }
}

bool PortalScreen::Impl::live() const
{
    if (!session || !streamProblem.empty())
        return false;
    switch (session->phase()) {
    case PortalSession::Phase::Asking:
        return true;
    case PortalSession::Phase::Running:
        return stream && stream->status().state != PipeWireStream::State::Stopped;
    default:
        return false;
    }
}

// Only the user's cancel waits for the user. An outage is asked through. A capture the desktop
// ended is asked again when a kept permission spares the user the chooser: where the desktop
// still refuses the permission, it shows the chooser, and that is the user's to answer.
PortalScreen::Impl::Ending PortalScreen::Impl::ending() const
{
    const bool kept = !tokens.load().empty();
    const UserText& askNext = kept ? kAsksBySelf : kUserAsks;
    if (!session)
        return {UserText{"Захват экрана не идёт", "screen capture is not running"} + kUserAsks, false};
    switch (session->phase()) {
    case PortalSession::Phase::Refused:
        return {session->problem() + kUserAsks, false};
    case PortalSession::Phase::Unanswered:
        return {session->problem() + kAsksBySelf, true};
    case PortalSession::Phase::Failed:
        return {session->problem() + askNext, kept};
    case PortalSession::Phase::Closed:
        return {session->problem() + kWhyEnded + (kept ? kAwaitsScreen : kUserAsks), kept};
    case PortalSession::Phase::Asking:
    case PortalSession::Phase::Running:
        break;
    }
    if (!streamProblem.empty() || !stream)
        return {streamProblem + askNext, kept};
    const std::string reason = stream->status().reason;
    return {UserText{"Видеопоток экрана остановился (" + reason + ")", "the screen's stream stopped (" + reason + ")"} +
                kWhyEnded + (kept ? kAwaitsScreen : kUserAsks),
            kept};
}

UserText PortalScreen::Impl::currentProblem() const
{
    if (!wanted)
        return {};
    if (!ended.empty())
        return ended; // let go, or asked for again by the capture itself
    if (!live())
        return ending().why; // ended since the last renewal
    if (session->phase() == PortalSession::Phase::Asking)
        return {"Ждём разрешения на захват экрана (рабочий стол может показывать диалог)",
                "waiting for permission to capture the screen (the desktop may be showing a screen-sharing dialog)"};
    if (stream->status().state == PipeWireStream::State::Connecting)
        return {"Подключаемся к видеопотоку экрана", "connecting to the screen's video stream"};
    if (stream->frames() == 0)
        return {"Захват идёт; ждём первый кадр (кадры приходят, когда экран меняется)",
                "the screen capture runs; waiting for its first frame (frames come when the screen changes)"};
    return tokenProblem;
}

PortalScreen::PortalScreen(std::filesystem::path tokenFolder)
    : PortalScreen(std::move(tokenFolder), QDBusConnection::sessionBus())
{
}

PortalScreen::PortalScreen(std::filesystem::path tokenFolder, const QDBusConnection& bus)
    : impl_(std::make_unique<Impl>(std::move(tokenFolder), bus))
{
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
    if (!s.wanted)
        return;
    if (s.live()) {
        if (s.flowing())
            s.pause = 1; // it came back: a later end starts over from the shortest pause
        return;
    }
    if (s.session) {
        s.park();
        return;
    }
    if (s.bySelf && ++s.waited >= s.pause) {
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
    Impl& s = *impl_;
    s.wanted = true;
    s.pause = 1;
    s.waited = 0;
    s.ended.clear();
    if (!s.live())
        s.ask();
}

void PortalScreen::deactivate()
{
    Impl& s = *impl_;
    s.wanted = false;
    s.ended.clear();
    s.release();
}

std::uint64_t PortalScreen::framesReceived() const
{
    return impl_->stream ? impl_->stream->frames() : 0;
}

} // namespace lumora
