// The session watcher against a fake logind and screen saver on private buses: sleep and shut-down
// with the inhibitor held through the pause and let go after it, changes announced twice, the lock
// from logind and from the screen saver, a wake-up logind never announces, and no logind at all.
#include "platform/session/session_watcher.hpp"
#include "platform_test.hpp"
#include "support/fake_logind.hpp"

#include <algorithm>
#include <memory>
#include <optional>

namespace lumora {
namespace {

using test::FakeLogind;
using Events = std::vector<std::string>;

const char* name(PauseReason reason)
{
    switch (reason) {
    case PauseReason::Sleep: return "Sleep";
    case PauseReason::Shutdown: return "Shutdown";
    case PauseReason::Locked: return "Locked";
    }
    return "?";
}

// A watcher on private buses, logind there unless a test takes it away, and what the watcher asked
// for in order. Sleep and shut-down events note how many inhibitors were held while they were
// handled: "pause Sleep, 1 held".
class SessionWatcherTest : public testing::Test {
protected:
    void start(QDBusConnection system, QDBusConnection session)
    {
        watcher = std::make_unique<SessionWatcher>(std::move(system), std::move(session));
        QObject::connect(watcher.get(), &SessionWatcher::pauseRequested, [this](PauseReason r) { record("pause", r); });
        QObject::connect(watcher.get(), &SessionWatcher::resumeRequested, [this](PauseReason r) { record("resume", r); });
        watcher->start();
    }
    void start() { start(systemBus.connect(), sessionBus.connect()); }

    void record(const char* what, PauseReason reason)
    {
        std::string event = std::string(what) + ' ' + name(reason);
        if (logind && reason != PauseReason::Locked)
            event += ", " + std::to_string(logind->inhibitorsHeld()) + " held";
        events.push_back(event);
    }
    bool awaitEvent(const std::string& event)
    {
        return QTest::qWaitFor([&] { return std::ranges::find(events, event) != events.end(); }, test::kBound);
    }
    bool awaitHeld(int count)
    {
        return QTest::qWaitFor([&] { return logind->inhibitorsHeld() == count; }, test::kBound);
    }

    test::PrivateBus systemBus, sessionBus;
    std::optional<FakeLogind> logind{std::in_place, systemBus};
    test::FakeScreenSaver screenSaver{sessionBus.connect()};
    Events events;
    std::unique_ptr<SessionWatcher> watcher;
};

// Sleep and shut-down take the same course: what announces each, and what the watcher asks for.
struct Prepare {
    const char* name;
    void (FakeLogind::*announce)(bool);
    const char* pause;
    const char* resume;
};

void PrintTo(const Prepare& prepare, std::ostream* out)
{
    *out << prepare.name;
}

class SessionWatcherPrepare : public SessionWatcherTest, public testing::WithParamInterface<Prepare> {
protected:
    void announce(bool starting) { ((*logind).*GetParam().announce)(starting); }
};

// The lamps go dark while the machine still waits for them, the machine is let go right after,
// and on the way back the inhibitor is held again before the lamps light.
TEST_P(SessionWatcherPrepare, PausesHoldingTheInhibitorLetsItGoAndHoldsANewOneBeforeResuming)
{
    start();
    EXPECT_TRUE(watcher->logindAvailable());
    EXPECT_EQ(logind->inhibitRequests(), Events{"sleep:shutdown delay"});
    EXPECT_EQ(logind->inhibitorsHeld(), 1);

    announce(true);
    ASSERT_TRUE(awaitEvent(GetParam().pause));
    EXPECT_TRUE(awaitHeld(0));
    announce(false);
    ASSERT_TRUE(awaitEvent(GetParam().resume));
    EXPECT_EQ(events, (Events{GetParam().pause, GetParam().resume}));
    EXPECT_EQ(logind->inhibitRequests(), (Events{"sleep:shutdown delay", "sleep:shutdown delay"}));
}

// Some logind versions announce every change twice, and an end may come without a beginning.
TEST_P(SessionWatcherPrepare, HandlesEachChangeOnce)
{
    start();
    announce(false), announce(true), announce(true), announce(false), announce(false);
    logind->setLockedHint(true); // sent last on the same connection, so handled last
    ASSERT_TRUE(awaitEvent("pause Locked"));
    EXPECT_EQ(events, (Events{GetParam().pause, GetParam().resume, "pause Locked"}));
    EXPECT_EQ(logind->inhibitRequests().size(), 2u);
    EXPECT_EQ(logind->inhibitorsHeld(), 1);
}

INSTANTIATE_TEST_SUITE_P(Session, SessionWatcherPrepare,
                         testing::Values(Prepare{"Sleep", &FakeLogind::prepareForSleep, "pause Sleep, 1 held", "resume Sleep, 1 held"},
                                         Prepare{"Shutdown", &FakeLogind::prepareForShutdown, "pause Shutdown, 1 held",
                                                 "resume Shutdown, 1 held"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionWatcherTest, LetsTheInhibitorGoWhenDestroyed)
{
    start();
    ASSERT_EQ(logind->inhibitorsHeld(), 1);
    watcher.reset();
    EXPECT_TRUE(awaitHeld(0));
}

// After hibernation logind may never announce the wake-up, and the program notices by itself.
TEST_F(SessionWatcherTest, RetakesTheInhibitorWhenToldOfAWakeUpAndPausesForTheNextSleep)
{
    start();
    logind->prepareForSleep(true);
    ASSERT_TRUE(awaitEvent("pause Sleep, 1 held"));
    ASSERT_TRUE(awaitHeld(0));
    watcher->retakeInhibitor();
    watcher->retakeInhibitor(); // held already: nothing more
    EXPECT_EQ(logind->inhibitRequests().size(), 2u);
    EXPECT_EQ(logind->inhibitorsHeld(), 1);

    logind->prepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, test::kBound));
    EXPECT_EQ(events, (Events{"pause Sleep, 1 held", "pause Sleep, 1 held"}));
    EXPECT_TRUE(awaitHeld(0));
}

// The session is found by XDG_SESSION_ID when set, by this process otherwise; its LockedHint
// arrives with its value or as a name to read again, and counts only when it changes.
TEST_F(SessionWatcherTest, FollowsTheLockedHintOfItsSession)
{
    const struct { const char* name; std::optional<std::string> sessionId; FakeLogind::Announce how; } cases[] = {
        {"by id, with the value", FakeLogind::kSessionId, FakeLogind::Announce::Value},
        {"by id, read again", FakeLogind::kSessionId, FakeLogind::Announce::Invalidation},
        {"by process, with the value", std::nullopt, FakeLogind::Announce::Value},
        {"by process, read again", std::nullopt, FakeLogind::Announce::Invalidation}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScopedEnv id("XDG_SESSION_ID", c.sessionId);
        events.clear();
        start();
        logind->setLockedHint(true, c.how);
        logind->setLockedHint(true, c.how);
        // A name to read again is read when handled: the next change waits until this one was.
        ASSERT_TRUE(awaitEvent("pause Locked"));
        logind->setLockedHint(false, c.how);
        ASSERT_TRUE(awaitEvent("resume Locked"));
        EXPECT_EQ(events, (Events{"pause Locked", "resume Locked"}));
    }
}

TEST_F(SessionWatcherTest, PausesAtStartWhenTheSessionIsLockedAlready)
{
    logind->setLockedHint(true);
    start();
    EXPECT_EQ(events, Events{"pause Locked"});
}

// A session logind does not know leaves the lock to the screen saver; sleep is still followed.
TEST_F(SessionWatcherTest, FollowsNoLockedHintWhenLogindKnowsNoSessionOfItsId)
{
    const test::ScopedEnv id("XDG_SESSION_ID", "c99");
    start();
    logind->setLockedHint(true);
    logind->prepareForSleep(true);
    ASSERT_TRUE(awaitEvent("pause Sleep, 1 held"));
    EXPECT_EQ(events, Events{"pause Sleep, 1 held"});
}

TEST_F(SessionWatcherTest, FollowsTheScreenSaverOnTheSessionBus)
{
    start();
    screenSaver.setActive(true);
    screenSaver.setActive(true);
    screenSaver.setActive(false);
    ASSERT_TRUE(awaitEvent("resume Locked"));
    EXPECT_EQ(events, (Events{"pause Locked", "resume Locked"}));
}

// Both sources on one bus and one sender, so that the watcher sees every change in the order sent;
// a sleep between the changes shows when each was handled.
TEST_F(SessionWatcherTest, PausesForTheLockWhileEitherSourceSaysLockedAndResumesWhenBothSayUnlocked)
{
    const QDBusConnection bus = systemBus.connect();
    start(bus, bus);
    test::FakeScreenSaver sameSender(logind->connection());
    logind->setLockedHint(true), sameSender.setActive(true), logind->setLockedHint(false);
    logind->prepareForSleep(true);
    sameSender.setActive(false);
    sameSender.setActive(true), logind->setLockedHint(true), sameSender.setActive(false);
    logind->prepareForSleep(false);
    logind->setLockedHint(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 6; }, test::kBound));
    EXPECT_EQ(events, (Events{"pause Locked", "pause Sleep, 1 held", "resume Locked", "pause Locked",
                              "resume Sleep, 1 held", "resume Locked"}));
}

// In a container, or with no system bus at all, the program runs on, says why once, and follows
// the screen saver alone.
TEST_F(SessionWatcherTest, SaysOnceThatLogindIsMissingAndFollowsTheScreenSaver)
{
    logind.reset();
    const struct { const char* name; QDBusConnection system; } cases[] = {
        {"a system bus without logind", systemBus.connect()},
        {"no system bus", QDBusConnection(QStringLiteral("lumora-test-no-such-bus"))}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        testing::internal::CaptureStderr();
        start(c.system, sessionBus.connect());
        watcher->retakeInhibitor();
        screenSaver.setActive(true);
        const bool paused = awaitEvent("pause Locked");
        screenSaver.setActive(false);
        const bool resumed = awaitEvent("resume Locked");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(watcher->logindAvailable());
        EXPECT_EQ(std::ranges::count(said, '\n'), 1) << said;
        EXPECT_TRUE(paused && resumed);
        EXPECT_EQ(events, (Events{"pause Locked", "resume Locked"}));
    }
}

} // namespace
} // namespace lumora
