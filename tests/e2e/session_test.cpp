// The real driver and the session around it, with a fake logind on a private bus standing in for
// the system bus: sleep, shut-down and the lock darken the lamps on the wire before the machine is
// let go, the same announcement twice counts once, and the lamps return as they were.
#include "driver_run.hpp"
#include "support/fake_logind.hpp"

namespace lumora::test {
namespace {

// The lamps switched off for the session: the zones' off packets and the keyboard at 0.
const Bytes kDark{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13, 3, 0, 0, 0, 13};

bool endsDark(const Bytes& stream)
{
    return stream.size() >= kDark.size() && Bytes(stream.end() - static_cast<long>(kDark.size()), stream.end()) == kDark;
}

// The driver's environment with `system` as its system bus, in the fake logind's session.
QProcessEnvironment onSystemBus(const PrivateBus& system)
{
    QProcessEnvironment env;
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", system.address());
    env.insert("XDG_SESSION_ID", FakeLogind::kSessionId);
    return env;
}

TEST(DriverInTheSession, SleepShutdownAndTheLockDarkenTheLampsBeforeTheMachineGoesOn)
{
    PrivateBus system;
    FakeLogind logind(system);
    DriverRun d({}, {}, onSystemBus(system));
    d.paint("#c86432");
    d.click(kAutoButton);
    const Zones lit = same(126, 22, 4);
    ASSERT_TRUE(d.settlesOn({lit})) << d.lastTickText();
    const auto held = [&](int count) { return QTest::qWaitFor([&] { return logind.inhibitorsHeld() == count; }, kBound); };
    ASSERT_TRUE(held(1)) << d.program.err();

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
        announce(true), announce(true);
        if (holdsOff) {
            // The machine is let go only once the lamps are dark on the wire.
            ASSERT_TRUE(held(0));
            d.pty->read(d.stream, 20);
            EXPECT_TRUE(endsDark(d.stream)) << testing::PrintToString(d.stream);
        }
        ASSERT_TRUE(d.readUntil([&] { return endsDark(d.stream); })) << testing::PrintToString(d.stream);
        // Nothing more while dark, however long.
        d.pty->read(d.stream, 300);
        EXPECT_EQ(std::search(d.stream.begin(), d.stream.end(), kDark.begin(), kDark.end()), d.stream.end() - 20) << "darkened once, then nothing";

        announce(false), announce(false);
        EXPECT_TRUE(!holdsOff || held(1));
        EXPECT_TRUE(d.settlesOn({lit})) << "AUTO goes on where it was: " << d.lastTickText();
    }
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
}

// Kept lit when locked, on request. (Without logind the driver runs as before: tests/e2e/outside_test.cpp.)
TEST(DriverInTheSession, KeptLitWhenLocked)
{
    PrivateBus system;
    FakeLogind logind(system);
    DriverRun d({"--keep-lit-when-locked"}, {}, onSystemBus(system));
    d.click(kFixedButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind.inhibitorsHeld() == 1; }, kBound)) << d.program.err();
    logind.setLockedHint(true);
    d.stream.clear();
    // About a second of whole ticks: a lock that darkened the lamps would stop them at once.
    EXPECT_TRUE(d.readUntil([&] { return d.count() >= 400; })) << d.count();
}

} // namespace
} // namespace lumora::test
