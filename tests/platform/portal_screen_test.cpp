// The capture's life against a portal of the test's own on a private bus: the desktop is asked only
// once AUTO is chosen; leaving AUTO closes the portal session and the PipeWire connection; every
// new restore token replaces the kept one; an outage, and a stream the desktop ended while a
// permission is kept, are asked through by the capture itself, and the user's cancel is not.
#include "platform/portal/portal_screen.hpp"
#include "platform/portal/portal_token_store.hpp"
#include "support/fake_portal.hpp"

#include <QCoreApplication>

#include <functional>

namespace lumora {
namespace {

using test::FakePortal;
using test::kBound;

// More screen ticks than the longest pause between the capture's own requests.
constexpr int kManyRenewals = 30;

struct ScreenRig {
    explicit ScreenRig(const std::string& keptToken = {})
    {
        if (!keptToken.empty()) {
            EXPECT_EQ(tokens.save(keptToken), "");
        }
    }

    // Waits until what the AUTO page says is no longer `from`: the capture moved on.
    bool movesOnFrom(const UserText& from)
    {
        return QTest::qWaitFor([&] { return screen.problem() != from; }, kBound);
    }
    // Chooses AUTO and waits for the portal's answer to arrive.
    bool activateAndAwaitAnswer()
    {
        screen.activate();
        return movesOnFrom(screen.problem());
    }
    // Renews as the screen tick does until `done` holds (bounded).
    bool renewUntil(const std::function<bool()>& done)
    {
        return QTest::qWaitFor([&] { return screen.renew(), done(); }, kBound);
    }
    // Renews many times, letting the answers in between, and waits until the portal has seen
    // every request made meanwhile.
    bool renewMany()
    {
        for (int i = 0; i < kManyRenewals; ++i)
            screen.renew(), QCoreApplication::processEvents();
        return test::handledBefore(driver);
    }
    // The restore token offered with each request, in order ("" when none was).
    std::vector<QString> offeredTokens() const
    {
        std::vector<QString> offered;
        for (const FakePortal::Call& c : portal.calls())
            if (c.method == "SelectSources")
                offered.push_back(c.options.value("restore_token").toString());
        return offered;
    }

    test::PrivateBus bus;
    FakePortal portal{bus};
    QTemporaryDir state;
    RestoreTokenStore tokens{std::filesystem::path(state.path().toStdString()) / "lumora-driver"};
    QDBusConnection driver = bus.connect();
    PortalScreen screen{tokens.folder(), driver};
};

TEST(PortalScreen, AsksTheDesktopOnlyOnceAutoIsChosen)
{
    ScreenRig rig;
    // What start-up and the ticks do in OFF.
    EXPECT_EQ(rig.screen.size(), ScreenSize{});
    rig.screen.renew();
    EXPECT_TRUE(rig.screen.problem().empty()) << rig.screen.problem().en;
    rig.screen.deactivate();
    ASSERT_TRUE(test::handledBefore(rig.driver));
    EXPECT_TRUE(rig.portal.calls().empty());

    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.portal.count("CreateSession"), 1);
    EXPECT_EQ(rig.portal.count("OpenPipeWireRemote"), 1);
}

TEST(PortalScreen, LeavingAutoClosesThePortalSessionAndTheStream)
{
    ScreenRig rig;
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    ASSERT_EQ(rig.portal.count("OpenPipeWireRemote"), 1);
    ASSERT_FALSE(rig.portal.streamClosedByClient());
    rig.screen.deactivate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.portal.sessionsClosed() == 1; }, kBound));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.portal.streamClosedByClient(); }, kBound));
    EXPECT_TRUE(rig.screen.problem().empty()) << rig.screen.problem().en;
    // Outside AUTO nothing is asked again, however long it lasts.
    ASSERT_TRUE(rig.renewMany());
    EXPECT_EQ(rig.portal.count("CreateSession"), 1);
}

TEST(PortalScreen, EveryNewTokenReplacesTheKeptOneAndIsOfferedOnTheReturnToAuto)
{
    ScreenRig rig("token-0");
    rig.portal.nextToken = "token-1";
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.tokens.load(), "token-1");
    rig.screen.deactivate();
    rig.portal.nextToken = "token-2";
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.tokens.load(), "token-2");
    // A start that hands out no token leaves the kept one.
    rig.screen.deactivate();
    rig.portal.nextToken.clear();
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.tokens.load(), "token-2");
    EXPECT_EQ(rig.offeredTokens(), (std::vector<QString>{"token-0", "token-1", "token-2"}));
}

TEST(PortalScreen, AsksAgainByItselfAfterAnOutageOrAStreamTheDesktopEndedButNotAfterTheUsersCancel)
{
    const struct {
        const char* what;
        std::string kept; // the token kept from an earlier run
        std::map<QString, FakePortal::Answer> answers;
        std::function<void(FakePortal&)> end; // how the desktop ends a capture that ran
        bool asksAgain;
    } cases[] = {
        {"the backend is away", {}, {{"CreateSession", FakePortal::respond(2)}}, {}, true},
        {"nobody owns the portal's name", {}, {{"CreateSession", FakePortal::fail("org.freedesktop.DBus.Error.ServiceUnknown")}}, {}, true},
        {"the portal does not reply", "kept", {{"Start", FakePortal::fail("org.freedesktop.DBus.Error.NoReply")}}, {}, true},
        {"the user cancels", {}, {{"Start", FakePortal::respond(1)}}, {}, false},
        {"the user cancels despite a kept permission", "kept", {{"Start", FakePortal::respond(1)}}, {}, false},
        {"the stream's connection ends", "kept", {}, &FakePortal::breakStream, true},
        {"the desktop closes the session", "kept", {}, &FakePortal::closeSession, true},
        {"the desktop closes the session, no permission kept", {}, {}, &FakePortal::closeSession, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScreenRig rig(c.kept);
        rig.portal.answers = c.answers;
        ASSERT_TRUE(rig.activateAndAwaitAnswer());
        if (c.end) {
            ASSERT_EQ(rig.portal.count("OpenPipeWireRemote"), 1);
            const UserText running = rig.screen.problem();
            c.end(rig.portal);
            ASSERT_TRUE(rig.movesOnFrom(running));
        }
        EXPECT_FALSE(rig.screen.problem().empty());
        rig.portal.answers.clear();
        if (c.asksAgain) {
            const int remotes = rig.portal.count("OpenPipeWireRemote");
            ASSERT_TRUE(rig.renewUntil([&] { return rig.portal.count("OpenPipeWireRemote") > remotes; }));
            EXPECT_EQ(rig.offeredTokens().back(), QString::fromStdString(c.kept));
        } else {
            ASSERT_TRUE(rig.renewMany());
            EXPECT_EQ(rig.portal.count("CreateSession"), 1);
        }
    }
}

} // namespace
} // namespace lumora
