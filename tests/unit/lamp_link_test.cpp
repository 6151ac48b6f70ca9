// The link's accounting with a fake line and clock: it sends whole ticks only while the line
// keeps up, never drops commands, completes partial writes in order, survives a lost board, and
// waits for one that is not there at start-up.
#include "core_fakes.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

struct LinkRig {
    // The link opens at once, as at start-up; `openFailures`: why that open and the tries after it fail.
    explicit LinkRig(std::deque<LinkError::Kind> openFailures = {})
    {
        line.openFailures = std::move(openFailures);
        link.open();
    }

    // One tick's periodic packets, tagged by a sequence number in the red byte.
    void tick(int seq, int zones)
    {
        if (!link.beginTick())
            return;
        link.sendPeriodic(keyboardPacket(seq));
        for (int z = 0; z < zones; ++z)
            link.sendPeriodic(zonePacket(z, seq, 0, 0));
        link.endTick();
    }

    FakeLine line;
    FakeClock clock;
    std::vector<UserText> states;
    LampLink link{line, clock, [this](const UserText& s) { states.push_back(s); }};
};

const UserText kLost{"Плата не подключена, жду её", "lost the board on /dev/fake: Input/output error"};
const UserText kAwaited{"Жду плату: /dev/fake", "waiting for the board: /dev/fake"};
const UserText kUnusable{"Порт платы недоступен, пробую снова", "cannot open the board's port /dev/fake"};

Bytes tickBytes(int seq, int zones)
{
    Bytes out = concat({keyboardPacket(seq)});
    for (int z = 0; z < zones; ++z)
        out.insert(out.end(), {static_cast<std::uint8_t>(z), static_cast<std::uint8_t>(seq), 0, 0, 13});
    return out;
}

// The ticks whose packets reached the line, each checked to be whole and in order.
std::vector<int> ticksOnLine(const Bytes& bytes, int zones)
{
    std::vector<int> seqs;
    const auto perTick = static_cast<long>(5 * (1 + zones));
    EXPECT_EQ(bytes.size() % static_cast<std::size_t>(perTick), 0u);
    for (auto at = bytes.begin(); bytes.end() - at >= perTick; at += perTick) {
        seqs.push_back(at[2]);
        EXPECT_EQ(Bytes(at, at + perTick), tickBytes(seqs.back(), zones));
    }
    return seqs;
}

// However the timer delivers its ticks, the line never takes more than it carries (plus the bound),
// a sent tick never waits behind more than the bound, whole ticks are skipped only when the line
// cannot keep up, and the line is not left idle while there is output to send.
TEST(LampLinkPacing, SkipsWholeTicksOnlyWhenTheLineFallsBehindAndKeepsTheDelayBounded)
{
    // intervals: repeated in turn
    // minShare: of what the line could carry, the least it must be given
    const struct { const char* what; std::vector<std::chrono::microseconds> intervals; int zones; bool skips; double minShare; } cases[] = {
        {"5 bytes every 10 ms: a quarter of the line", {10ms}, 0, false, 0.25}, {"20 bytes every 10 ms", {10ms}, 3, true, 0.9},
        {"alternating 9.2 and 10.2 ms", {9200us, 10200us}, 3, true, 0.9}, {"late ticks at 12 ms", {12ms}, 3, false, 0.8},
        // Ticks that come at once carry states only a millisecond apart: the first is enough.
        {"a burst after a stall", {1ms, 1ms, 1ms, 37ms}, 3, true, 0.2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LinkRig rig;
        const auto start = rig.clock.now();
        for (int i = 0; i < 1000; ++i) {
            rig.tick(i % 256, c.zones);
            EXPECT_LE(rig.link.backlog(), LampLink::kBacklogBound + 20.0);
            rig.clock.advance(c.intervals[static_cast<std::size_t>(i) % c.intervals.size()]);
        }
        const double carried = std::chrono::duration<double>(rig.clock.now() - start).count() * LampLink::kLineBytesPerSecond;
        EXPECT_EQ(ticksOnLine(rig.line.written, c.zones).size() + rig.link.skippedTicks(), 1000u);
        EXPECT_EQ(static_cast<std::size_t>(rig.line.writeCalls), ticksOnLine(rig.line.written, c.zones).size()); // a write per tick
        EXPECT_EQ(rig.link.skippedTicks() > 0, c.skips);
        EXPECT_LE(static_cast<double>(rig.line.written.size()), carried + LampLink::kBacklogBound + 20.0);
        EXPECT_GE(static_cast<double>(rig.line.written.size()), c.minShare * carried);
    }
    // 20 bytes leave the line in 10.42 ms: 10 bytes (the bound) are still there 5.21 ms later.
    for (const auto& [wait, sent] : {std::pair{5208us, false}, std::pair{5209us, true}}) {
        LinkRig rig;
        rig.tick(1, 3);
        rig.clock.advance(wait);
        rig.tick(2, 3);
        EXPECT_EQ(ticksOnLine(rig.line.written, 3), (sent ? std::vector<int>{1, 2} : std::vector<int>{1}));
    }
    LinkRig rig;
    rig.line.reportedPending = 11; // a real tty holding more than the bound
    rig.tick(1, 3);
    rig.link.sendCommand(offPacket(0));
    EXPECT_EQ(std::tuple(rig.link.skippedTicks(), std::exchange(rig.line.written, {})), std::tuple(1u, concat({offPacket(0)})));
    rig.line.reportedPending = 10;
    rig.clock.advance(20ms);
    rig.tick(2, 3);
    EXPECT_EQ(ticksOnLine(rig.line.written, 3), std::vector<int>{2});
}

// When a tick may follow the line: the time until the line holds no more than so many bytes, at
// its speed (1920 bytes/s) from the last write, or by what the port says it still holds when that
// is more; at once while no board is there.
TEST(LampLinkPacing, TellsHowLongUntilTheLineHoldsNoMoreThanSoManyBytes)
{
    // A tick of 20 bytes written at 0; `held`: what the port says it still holds.
    const struct { std::chrono::microseconds after; long held; double bytes; std::chrono::microseconds until; } cases[] = {
        {0us, 0, 2.0, 9375us}, {5ms, 0, 2.0, 4375us}, {5ms, 0, 10.4, 0us}, {20ms, 0, 0.0, 0us}, {20ms, 40, 2.0, 19792us}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.after.count() << " us, " << c.held << " held, " << c.bytes << " bytes");
        LinkRig rig;
        rig.tick(1, 3);
        rig.clock.advance(c.after);
        rig.line.reportedPending = c.held;
        EXPECT_EQ(std::chrono::round<std::chrono::microseconds>(rig.link.untilBacklogAtMost(c.bytes)), c.until);
    }
    LinkRig away({LinkError::Kind::Absent});
    away.line.reportedPending = 40;
    EXPECT_EQ(away.link.untilBacklogAtMost(0.0), 0ns);
}

TEST(LampLinkWrites, PartialWriteIsCompletedInOrderAndALostBoardIsReportedOnceThenTriedASecondLater)
{
    LinkRig rig;
    rig.line.accepts = {2, 0}; // the tick goes out in part (its one write), then the line is full
    rig.tick(7, 1);
    EXPECT_EQ(rig.line.written.size(), 2u);
    rig.link.sendCommand(offPacket(0)); // waits behind the rest of the tick
    rig.clock.advance(10ms);
    rig.tick(8, 1); // skipped: the previous tick has not left yet
    rig.clock.advance(10ms);
    rig.tick(9, 1);
    EXPECT_EQ(rig.link.skippedTicks(), 1u);
    EXPECT_EQ(rig.line.written, concat({keyboardPacket(7), zonePacket(0, 7, 0, 0), offPacket(0), keyboardPacket(9), zonePacket(0, 9, 0, 0)}));
    LinkRig lost;
    lost.line.failWrites = true;
    lost.tick(1, 3);
    lost.link.sendCommand(offPacket(0));
    EXPECT_FALSE(lost.link.connected());
    EXPECT_EQ(std::tuple(lost.line.writeCalls, lost.line.opens, lost.line.closes), std::tuple(1, 1, 1));
    // The try a second later finds the board: each loss is reported again, nothing sent while away
    // is replayed. How the tries go while the board stays away is tested below.
    for (int loss = 0; loss < 3; ++loss) {
        lost.clock.advance(1000ms);
        lost.line.written.clear();
        lost.tick(2, 3);
        EXPECT_TRUE(lost.link.takeReconnected());
        EXPECT_FALSE(lost.link.takeReconnected());
        EXPECT_EQ(lost.line.written, tickBytes(2, 3));
        lost.line.failWrites = true;
        lost.clock.advance(20ms);
        lost.tick(3, 3);
    }
    EXPECT_EQ(lost.states, (std::vector<UserText>{kLost, {}, kLost, {}, kLost, {}, kLost}));
}

// At start-up a board that is not there yet is awaited, as after a loss (a port that cannot be used
// is refused: see ControllerStartup). Ticks every 10 ms from then on: nothing goes out until a try,
// one a second, finds the board, then whole ticks from the tick that found it; each change of what
// the tries find is told once.
TEST(LampLinkOpen, AnAwaitedBoardGetsWholeTicksFromTheTickThatFindsIt)
{
    using enum LinkError::Kind;
    LinkRig rig({Absent, Absent, Unusable, Unusable, Absent}); // an absent board is awaited, not refused
    std::vector<int> expected, reconnectedAt;
    for (int i = 0; i < 600; ++i) {
        rig.tick(i % 256, 2); // 15 bytes, which the line carries every 10 ms
        if (i >= 500) // 5 s: start-up and four tries failed, the fifth finds the board
            expected.push_back(i % 256);
        if (rig.link.takeReconnected())
            reconnectedAt.push_back(i);
        rig.clock.advance(10ms);
    }
    EXPECT_EQ(rig.line.opens, 6);
    EXPECT_EQ(reconnectedAt, std::vector<int>{500});
    EXPECT_EQ(ticksOnLine(rig.line.written, 2), expected);
    EXPECT_EQ(rig.link.skippedTicks(), 0u);
    EXPECT_EQ(rig.states, (std::vector<UserText>{kAwaited, kUnusable, kAwaited, {}}));
}

TEST(LampLinkWrites, ATickGoesInOneWriteUnlessTheLineWouldRunDryBeforeItEnds)
{
    LinkRig rig;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(rig.link.beginTick());
        rig.link.sendPeriodic(keyboardPacket(i));
        rig.clock.advance(4ms); // the line, empty, would wait for most of it
        rig.link.sendPeriodic(zonePacket(0, i, 0, 0));
        rig.link.endTick(), rig.link.sendPeriodic(zonePacket(1, i, 0, 0)); // after its tick, a packet goes nowhere
        rig.clock.advance(6ms);
    }
    EXPECT_EQ(ticksOnLine(rig.line.written, 1), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(rig.line.writeCalls, 1 + 2 + 2); // how long a tick takes is known after the first
    // What the zones were last sent: zone 1's late packets went nowhere, the keyboard is no zone.
    using Levels = std::array<std::uint8_t, 3>;
    EXPECT_EQ(rig.link.lastZones(), (std::array{Levels{2, 0, 0}, Levels{}, Levels{}}));
}

TEST(LampLinkShutdown, WaitsForTheLineWithinTheBoundClosesAndEndsPromptlyWhenTheBoardIsGoneOrStuck)
{
    // 5 bytes take 2.6 ms on the line, 15 bytes 7.8 ms; the clock sleeps in steps of 1 ms.
    // stuck: the line takes nothing, so the packets never leave the link's queue
    const struct { int packets; std::chrono::milliseconds bound, waited; bool done, stuck = false; } cases[] = {
        {1, 500ms, 3ms, true}, {1, 2ms, 2ms, false}, {3, 500ms, 8ms, true}, {0, 500ms, 0ms, true},
        {1, 51ms, 51ms, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.packets << " packets, bound " << c.bound.count() << ", stuck " << c.stuck);
        LinkRig rig;
        rig.line.accepts.assign(c.stuck ? 1000 : 0, 0);
        for (int p = 0; p < c.packets; ++p)
            rig.link.sendCommand(offPacket(p));
        const auto start = rig.clock.now();
        EXPECT_EQ(rig.link.shutdown(c.bound), c.done);
        EXPECT_EQ(rig.clock.now() - start, c.waited);
        EXPECT_FALSE(rig.line.isOpen() || rig.link.connected()); // nothing more goes out
    }
    LinkRig gone;
    gone.line.failWrites = true;
    gone.tick(1, 3);
    gone.clock.advance(5s); // a reopen is long due
    gone.link.sendCommand(offPacket(0));
    const auto start = gone.clock.now();
    EXPECT_FALSE(gone.link.shutdown(500ms));
    EXPECT_EQ(std::tuple(gone.clock.now(), gone.line.opens, gone.line.isOpen()), std::tuple(start, 1, false));
}

} // namespace
} // namespace lumora::test
