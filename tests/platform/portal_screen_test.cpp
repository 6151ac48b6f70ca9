// The capture against a portal of the test's own on a private bus, for what no real desktop here
// does on demand: only the user's cancel waits for the user, while a request ended otherwise, a
// portal not yet on the bus (a session still starting up), and a capture the desktop ended with a
// permission kept are asked through by the capture itself; a start without a new token keeps the
// old one. The capture's
// life on real desktops is tested end to end (tests/e2e/desktop_capture_test.cpp).
#include "platform/portal/portal_screen.hpp"
#include "platform/portal/portal_token_store.hpp"
#include "support/fake_portal.hpp"

#include <QCoreApplication>

namespace lumora {
namespace {

using test::FakePortal;
using test::kBound;

struct ScreenRig {
    explicit ScreenRig(const std::string& keptToken)
    {
        if (!keptToken.empty()) {
            EXPECT_EQ(tokens.save(keptToken), "");
        }
    }

    // Chooses AUTO and waits until what the AUTO page says moves on: the portal answered.
    bool activateAndAwaitAnswer()
    {
        screen.activate();
        return movesOnFrom(screen.problem());
    }
    bool movesOnFrom(const UserText& from)
    {
        return QTest::qWaitFor([&] { return screen.problem() != from; }, kBound);
    }

    test::PrivateBus bus;
    std::optional<FakePortal> portal{std::in_place, bus};
    QTemporaryDir state;
    RestoreTokenStore tokens{std::filesystem::path(state.path().toStdString()) / "lumora-driver"};
    QDBusConnection driver = bus.connect();
    PortalScreen screen{tokens.folder(), driver};
};

TEST(PortalScreen, AsksAgainByItselfUnlessTheUserCancelled)
{
    const struct {
        const char* what;
        std::string kept; // the token kept from an earlier run
        std::map<QString, unsigned> responses;
        void (FakePortal::*end)(); // how the desktop ends the capture once it runs
        bool asksAgain;
        bool away = false; // no portal on the bus until the first answer
    } cases[] = {
        {"nobody owns the portal's name", {}, {}, nullptr, true, true},
        {"the start ended otherwise", "kept", {{"Start", 2}}, nullptr, true},
        {"the user cancels despite a kept permission", "kept", {{"Start", 1}}, nullptr, false},
        {"the stream's connection ends", "kept", {}, &FakePortal::breakStream, true},
        {"the desktop closes the session", "kept", {}, &FakePortal::closeSession, true},
        {"the desktop closes the session, no permission kept", {}, {}, &FakePortal::closeSession, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScreenRig rig(c.kept);
        rig.portal->responses = c.responses;
        if (c.away)
            rig.portal.reset();
        ASSERT_TRUE(rig.activateAndAwaitAnswer());
        if (c.away)
            rig.portal.emplace(rig.bus);
        if (c.end) {
            const UserText running = rig.screen.problem();
            ((*rig.portal).*c.end)();
            ASSERT_TRUE(rig.movesOnFrom(running));
        }
        const qsizetype remotes = rig.portal->methods.count("OpenPipeWireRemote");
        if (c.asksAgain) {
            // Renewing as the screen tick does (bounded).
            const auto askedAgain = [&] { return rig.portal->methods.count("OpenPipeWireRemote") > remotes; };
            ASSERT_TRUE(QTest::qWaitFor([&] { return rig.screen.renew(), askedAgain(); }, kBound));
            EXPECT_EQ(rig.portal->offered.back(), QString::fromStdString(c.kept));
        } else {
            // Renewing more often than the longest pause between the capture's own requests, letting
            // the answers in, until the portal has seen every request made meanwhile.
            for (int i = 0; i < 30; ++i)
                rig.screen.renew(), QCoreApplication::processEvents();
            ASSERT_TRUE(test::handledBefore(rig.driver));
            EXPECT_EQ(rig.portal->methods.count("CreateSession"), 1);
        }
    }
}

TEST(PortalScreen, KeepsTheNewestTokenHandedOut)
{
    ScreenRig rig("token-0");
    rig.portal->nextToken = "token-1";
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.tokens.load(), "token-1");
    rig.screen.deactivate();
    rig.portal->nextToken.clear();
    ASSERT_TRUE(rig.activateAndAwaitAnswer());
    EXPECT_EQ(rig.tokens.load(), "token-1");
    EXPECT_EQ(rig.portal->offered, (QStringList{"token-0", "token-1"}));
}

} // namespace
} // namespace lumora
