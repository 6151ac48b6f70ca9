// The portal's answers as the capture reads them, against a portal of the test's own on a private
// bus: only the user's cancel is a refusal; a request ended some other way and a portal that does
// not answer are outages, which may pass; a portal that answers with an error has failed.
#include "platform/portal/portal_session.hpp"
#include "support/fake_portal.hpp"

#include <functional>

namespace lumora {
namespace {

using test::FakePortal;
using test::PrivateBus;
using Phase = PortalSession::Phase;

// How a session ends, or Asking when it does not within the bound.
Phase outcome(PortalSession& session)
{
    const bool answered = QTest::qWaitFor([&] { return session.phase() != Phase::Asking; }, test::kBound);
    return answered ? session.phase() : Phase::Asking;
}

TEST(PortalSession, OnlyTheUsersCancelIsARefusalAndAPortalThatDoesNotAnswerIsAnOutage)
{
    const struct {
        const char* what;
        std::map<QString, FakePortal::Answer> answers;
        const char* leaveAt; // the portal leaves the bus once this call arrived
        Phase phase;
    } cases[] = {
        {"granted", {}, nullptr, Phase::Running},
        {"cancelled in the chooser", {{"Start", FakePortal::respond(1)}}, nullptr, Phase::Refused},
        {"cancelled while sources are chosen", {{"SelectSources", FakePortal::respond(1)}}, nullptr, Phase::Refused},
        {"ended otherwise: the backend is away", {{"CreateSession", FakePortal::respond(2)}}, nullptr, Phase::Unanswered},
        {"ended otherwise at the start", {{"Start", FakePortal::respond(2)}}, nullptr, Phase::Unanswered},
        {"nobody owns the portal's name", {}, "", Phase::Unanswered},
        {"the portal leaves without replying", {{"SelectSources", FakePortal::hang()}}, "SelectSources", Phase::Unanswered},
        {"the portal's reply timed out", {{"Start", FakePortal::fail("org.freedesktop.DBus.Error.Timeout")}}, nullptr, Phase::Unanswered},
        {"the portal has no screen cast", {{"CreateSession", FakePortal::fail("org.freedesktop.DBus.Error.UnknownMethod")}}, nullptr, Phase::Failed},
        {"the portal fails the remote", {{"OpenPipeWireRemote", FakePortal::fail("org.freedesktop.portal.Error.Failed")}}, nullptr, Phase::Failed},
    };
    PrivateBus bus;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePortal portal(bus);
        portal.answers = c.answers;
        if (c.leaveAt && !*c.leaveAt)
            portal.leaveBus();
        PortalSession session(bus.connect(), {}, {});
        if (c.leaveAt && *c.leaveAt) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return portal.count(c.leaveAt) > 0; }, test::kBound));
            portal.leaveBus();
        }
        EXPECT_EQ(outcome(session), c.phase);
        EXPECT_EQ(session.problem().empty(), c.phase == Phase::Running) << session.problem().en;
    }
}

TEST(PortalSession, OffersTheKeptTokenAndHandsOverTheRemoteTheNodeAndTheNewToken)
{
    PrivateBus bus;
    FakePortal portal(bus);
    portal.nextToken = "token-2";
    int changes = 0;
    PortalSession session(bus.connect(), "token-1", [&] { ++changes; });
    ASSERT_EQ(outcome(session), Phase::Running) << session.problem().en;
    EXPECT_EQ(changes, 1);
    const QVariantMap select = portal.calls().at(1).options;
    EXPECT_EQ(portal.calls().at(1).method, "SelectSources");
    EXPECT_EQ(select.value("restore_token").toString(), "token-1");
    EXPECT_EQ(select.value("persist_mode").toUInt(), 2u);
    EXPECT_EQ(select.value("types").toUInt(), 1u); // a monitor
    EXPECT_EQ(session.node(), FakePortal::kNode);
    EXPECT_EQ(session.restoreToken(), "token-2");
    EXPECT_TRUE(session.takeRemote());
}

// The desktop ending a running session is said once; the session then has nothing left to close.
TEST(PortalSession, TheDesktopClosingARunningSessionClosesIt)
{
    PrivateBus bus;
    FakePortal portal(bus);
    {
        PortalSession session(bus.connect(), {}, {});
        ASSERT_EQ(outcome(session), Phase::Running);
        portal.closeSession();
        EXPECT_TRUE(QTest::qWaitFor([&] { return session.phase() == Phase::Closed; }, test::kBound));
        EXPECT_FALSE(session.problem().empty());
    }
    EXPECT_EQ(portal.sessionsClosed(), 0);
}

} // namespace
} // namespace lumora
