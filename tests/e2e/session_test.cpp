// The real driver and the session around it, with a fake logind on a private bus standing in for
// the system bus: sleep, shut-down and the lock darken the lamps on the wire before the machine is
// let go, the same announcement twice counts once, and the lamps return as they were.
#include "driver_run.hpp"
#include "support/fake_logind.hpp"

namespace lumora::test {
namespace {

// The lamps switched off for the session: the zones' off packets and the keyboard at 0.
const Bytes kDark{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13, 3, 0, 0, 0, 13};

bool endsWith(const Bytes& stream, const Bytes& tail)
{
    return stream.size() >= tail.size() && std::equal(tail.begin(), tail.end(), stream.end() - static_cast<long>(tail.size()));
}

TEST(DriverInTheSession, SleepShutdownAndTheLockDarkenTheLampsBeforeTheMachineGoesOn)
{
    PrivateBus system;
    FakeLogind logind(system);
    QProcessEnvironment env;
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", system.address());
    env.insert("XDG_SESSION_ID", FakeLogind::kSessionId);
    DriverRun d({}, {}, env);
    d.paint("#c86432");
    d.click(kAutoButton);
    const Zones lit = same(126, 22, 4);
    ASSERT_TRUE(d.settlesOn({lit})) << d.lastTickText();
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind.inhibitorsHeld() == 1; }, kBound)) << d.program.err();

    // How each is announced and taken back; each announcement comes twice, as some loginds send it.
    const std::pair<const char*, std::function<void(bool)>> pauses[] = {
        {"sleep", [&](bool on) { logind.prepareForSleep(on); }},
        {"shut-down", [&](bool on) { logind.prepareForShutdown(on); }},
        {"lock", [&](bool on) { logind.setLockedHint(on); }},
    };
    for (const auto& [name, announce] : pauses) {
        SCOPED_TRACE(name);
        const bool holdsOff = std::string(name) != "lock";
        d.stream.clear();
        announce(true);
        announce(true);
        if (holdsOff) {
            // The machine is let go only once the lamps are dark on the wire.
            ASSERT_TRUE(QTest::qWaitFor([&] { return logind.inhibitorsHeld() == 0; }, kBound));
            d.pty->read(d.stream, 20);
            EXPECT_TRUE(endsWith(d.stream, kDark)) << testing::PrintToString(d.stream);
        }
        ASSERT_TRUE(d.readUntil([&] { return endsWith(d.stream, kDark); })) << testing::PrintToString(d.stream);
        // Nothing more while dark, however long.
        const std::size_t dark = d.stream.size();
        d.pty->read(d.stream, 300);
        EXPECT_EQ(d.stream.size(), dark);
        EXPECT_EQ(std::search(d.stream.begin(), d.stream.end(), kDark.begin(), kDark.end()), d.stream.end() - 20) << "darkened once";

        announce(false);
        announce(false);
        EXPECT_TRUE(!holdsOff || QTest::qWaitFor([&] { return logind.inhibitorsHeld() == 1; }, kBound));
        EXPECT_TRUE(d.settlesOn({lit})) << "AUTO goes on where it was: " << d.lastTickText();
    }
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
}

// Kept lit when locked, on request; and without logind the driver runs as before and says so once.
TEST(DriverInTheSession, KeptLitWhenLockedAndRunsWithoutLogind)
{
    PrivateBus system;
    std::optional<FakeLogind> logind(std::in_place, system);
    QProcessEnvironment env;
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", system.address());
    env.insert("XDG_SESSION_ID", FakeLogind::kSessionId);
    {
        DriverRun d({"--keep-lit-when-locked"}, {}, env);
        d.click(kFixedButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return logind->inhibitorsHeld() == 1; }, kBound)) << d.program.err();
        logind->setLockedHint(true);
        d.stream.clear();
        // About a second of whole ticks: a lock that darkened the lamps would stop them at once.
        EXPECT_TRUE(d.readUntil([&] { return d.count() >= 400; })) << d.count();
    }
    logind.reset();
    DriverRun d({}, {}, env);
    d.window();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 10; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.program.err().find("logind") != std::string::npos; }, kBound)) << d.program.err();
}

} // namespace
} // namespace lumora::test
