// The session watcher against a fake logind and screen saver on private buses, for what the
// driver's end-to-end test (tests/e2e/session_test.cpp) cannot see: an end that had no beginning,
// how its session and its LockedHint are found, both lock sources at once, the inhibitor taken
// again after a wake-up logind never announced and let go with the watcher, and no logind at all.
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

// A watcher on private buses, logind there unless a test takes it away, and what the watcher asked
// for in order. Sleep and shut-down events note how many inhibitors were held while they were
// handled: "pause Sleep, 1 held".
struct SessionWatcherTest : testing::Test {
    void start(QDBusConnection system, QDBusConnection session)
    {
        events.clear();
        watcher = std::make_unique<SessionWatcher>(std::move(system), std::move(session));
        QObject::connect(watcher.get(), &SessionWatcher::pauseRequested, [this](PauseReason r) { record("pause ", r); });
        QObject::connect(watcher.get(), &SessionWatcher::resumeRequested, [this](PauseReason r) { record("resume ", r); });
        watcher->start();
    }
    // Both sources on one bus: the fakes then send on one connection, so the watcher sees every
    // change in the order sent.
    void start()
    {
        const QDBusConnection bus = systemBus.connect();
        start(bus, bus);
    }
    void record(std::string event, PauseReason reason)
    {
        event += std::array{"Sleep", "Shutdown", "Locked"}[static_cast<std::size_t>(reason)];
        if (logind && reason != PauseReason::Locked)
            event += ", " + std::to_string(logind->inhibitorsHeld()) + " held";
        events.push_back(event);
    }
    // The events once there are `count` of them (waiting with a bound; the caller reports a miss).
    Events awaitEvents(std::size_t count)
    {
        (void)QTest::qWaitFor([&] { return events.size() >= count; }, test::kBound);
        return events;
    }
    bool awaitHeld(int count) { return QTest::qWaitFor([&] { return logind->inhibitorsHeld() == count; }, test::kBound); }

    test::PrivateBus systemBus;
    std::optional<FakeLogind> logind{std::in_place, systemBus};
    Events events;
    std::unique_ptr<SessionWatcher> watcher;
};

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
    ASSERT_EQ(awaitEvents(1), Events{"pause Sleep, 1 held"});
    ASSERT_TRUE(awaitHeld(0));
    watcher->retakeInhibitor();
    watcher->retakeInhibitor(); // held already: nothing more
    EXPECT_EQ(logind->inhibitRequests(), (Events{"sleep:shutdown delay", "sleep:shutdown delay"}));
    logind->prepareForSleep(true);
    EXPECT_EQ(awaitEvents(2), (Events{"pause Sleep, 1 held", "pause Sleep, 1 held"}));
}

// What logind and the screen saver say, and what the watcher asks for. The session is found by
// XDG_SESSION_ID when set, by this process otherwise; a session logind does not know leaves the
// lock to the screen saver. LockedHint is read at start, then arrives with its value or as a name
// to read again. Each change counts once, though some loginds announce it twice, and an end may come
// without a beginning. The lock holds while either source says locked. A sleep comes last, and
// shows that everything before it was handled.
TEST_F(SessionWatcherTest, FollowsWhatTheSessionSays)
{
    using Announce = FakeLogind::Announce;
    const auto saver = [](FakeLogind& l, bool active) { test::setScreenSaverActive(l.connection(), active); };
    // expected: before the last sleep's pause
    const struct { const char* name; std::optional<std::string> sessionId; bool lockedAtStart;
                   std::function<void(FakeLogind&)> say; Events expected; } cases[] = {
        {"shut-down announced twice, its end first", FakeLogind::kSessionId, false,
         [](FakeLogind& l) { for (const bool starting : {false, true, true, false, false}) l.prepareForShutdown(starting); },
         {"pause Shutdown, 1 held", "resume Shutdown, 1 held"}},
        {"LockedHint by process, read again", std::nullopt, true,
         [](FakeLogind& l) { l.setLockedHint(true, Announce::Invalidation), l.setLockedHint(false, Announce::Invalidation); },
         {"pause Locked", "resume Locked"}},
        {"a session logind does not know", "c99", true, [](FakeLogind& l) { l.setLockedHint(true); }, {}},
        {"both lock sources", FakeLogind::kSessionId, false,
         [&](FakeLogind& l) {
             l.setLockedHint(true), saver(l, true), l.setLockedHint(false), l.prepareForSleep(true), saver(l, false);
             saver(l, true), l.setLockedHint(true), saver(l, false), l.prepareForSleep(false), l.setLockedHint(false);
         },
         {"pause Locked", "pause Sleep, 1 held", "resume Locked", "pause Locked", "resume Sleep, 1 held", "resume Locked"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::ScopedEnv id("XDG_SESSION_ID", c.sessionId);
        logind->setLockedHint(c.lockedAtStart);
        start();
        c.say(*logind);
        logind->prepareForSleep(true);
        Events expected = c.expected;
        expected.push_back("pause Sleep, 1 held");
        EXPECT_EQ(awaitEvents(expected.size()), expected);
    }
}

// In a container, or with no system bus at all, the program runs on, says why once, and follows
// the screen saver on the session bus alone, each change once.
TEST_F(SessionWatcherTest, SaysOnceThatLogindIsMissingAndFollowsTheScreenSaver)
{
    logind.reset();
    test::PrivateBus sessionBus;
    const QDBusConnection screenSaver = sessionBus.connect();
    for (const QDBusConnection& system : {systemBus.connect(), QDBusConnection(QStringLiteral("lumora-test-no-such-bus"))}) {
        SCOPED_TRACE(system.isConnected() ? "a system bus without logind" : "no system bus");
        testing::internal::CaptureStderr();
        start(system, sessionBus.connect());
        watcher->retakeInhibitor();
        for (const bool active : {true, true, false})
            test::setScreenSaverActive(screenSaver, active);
        const Events seen = awaitEvents(2);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(watcher->logindAvailable());
        EXPECT_EQ(std::ranges::count(said, '\n'), 1) << said;
        EXPECT_EQ(seen, (Events{"pause Locked", "resume Locked"}));
    }
}

} // namespace
} // namespace lumora
