// The link's accounting with a fake line and clock: it sends whole ticks only while the line
// keeps up, never drops commands, completes partial writes in order, and survives a lost board.
#include "core_fakes.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

struct LinkRig {
    LinkRig() { link.open(); }

    // One tick's periodic packets, tagged by a sequence number in the red byte.
    void tick(int seq, int zones)
    {
        link.beginTick();
        link.sendPeriodic(keyboardPacket(seq));
        for (int z = 0; z < zones; ++z)
            link.sendPeriodic(zonePacket(z, seq, 0, 0));
    }

    FakeLine line;
    FakeClock clock;
    std::vector<std::string> states;
    LampLink link{line, clock, [this](const std::string& s) { states.push_back(s); }};
};

// The ticks whose packets reached the line, each checked to be whole and in order.
std::vector<int> ticksOnLine(const Bytes& bytes, int zones)
{
    std::vector<int> seqs;
    const std::size_t perTick = 5u * static_cast<std::size_t>(1 + zones);
    EXPECT_EQ(bytes.size() % perTick, 0u);
    for (std::size_t i = 0; i + perTick <= bytes.size(); i += perTick) {
        const int seq = bytes[i + 2];
        EXPECT_EQ(Bytes(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + 5)),
                  concat({keyboardPacket(seq)}));
        for (int z = 0; z < zones; ++z) {
            const auto at = i + 5 + 5 * static_cast<std::size_t>(z);
            EXPECT_EQ(Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 5)),
                      concat({zonePacket(z, seq, 0, 0)}));
        }
        seqs.push_back(seq);
    }
    return seqs;
}

TEST(LampLinkPacing, NoSkipWhileTheLineKeepsUp)
{
    LinkRig rig;
    for (int i = 0; i < 200; ++i) {
        rig.tick(i % 256, 0); // 5 bytes per 10 ms: a quarter of the line
        rig.clock.advance(10ms);
    }
    EXPECT_EQ(rig.link.skippedTicks(), 0u);
    EXPECT_EQ(ticksOnLine(rig.line.written, 0).size(), 200u);
}

TEST(LampLinkPacing, SkipsWholeTicksWhenTheLineFallsBehindAndKeepsTheDelayBounded)
{
    LinkRig rig;
    const int ticks = 1000;
    for (int i = 0; i < ticks; ++i) {
        rig.tick(i % 256, 3); // 20 bytes per 10 ms: more than the line carries
        EXPECT_LE(rig.link.backlog(), LampLink::kBacklogBound + 20.0);
        rig.clock.advance(10ms);
    }
    const auto sent = ticksOnLine(rig.line.written, 3);
    EXPECT_GT(rig.link.skippedTicks(), 0u);
    EXPECT_EQ(sent.size() + rig.link.skippedTicks(), static_cast<std::size_t>(ticks));
    // What the line took is within what it can carry in that time (plus the bound).
    EXPECT_LE(static_cast<double>(rig.line.written.size()), 10.0 * 1.92 * ticks + LampLink::kBacklogBound + 20.0);
}

// However the timer delivers its ticks, the line never takes more than it carries (plus the bound),
// the lamps' delay stays bounded, and the line is not left idle while there is output to send.
TEST(LampLinkPacing, IrregularTicksUseTheLineWithoutOutrunningIt)
{
    struct Case {
        const char* what;
        std::vector<std::chrono::microseconds> intervals; // repeated in turn
        bool skips;         // 20 bytes per tick come faster than the line carries them
        double minShare;    // of what the line could carry, the least it must be given
    };
    const std::vector<Case> cases = {
        {"alternating 9.2 and 10.2 ms", {9200us, 10200us}, true, 0.9},
        {"late ticks at 12 ms", {12ms}, false, 0.8},
        {"5 ms", {5ms}, true, 0.9},
        // Ticks that come at once carry states only a millisecond apart: the first is enough.
        {"a burst after a stall", {1ms, 1ms, 1ms, 37ms}, true, 0.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LinkRig rig;
        const auto start = rig.clock.now();
        for (int i = 0; i < 2000; ++i) {
            rig.tick(i % 256, 3);
            // Whatever a sent tick waits behind on the line is within the bound.
            EXPECT_LE(rig.link.backlog(), LampLink::kBacklogBound + 20.0);
            rig.clock.advance(c.intervals[static_cast<std::size_t>(i) % c.intervals.size()]);
        }
        const double seconds = std::chrono::duration<double>(rig.clock.now() - start).count();
        const double carried = seconds * LampLink::kLineBytesPerSecond;
        const auto sent = ticksOnLine(rig.line.written, 3);
        EXPECT_EQ(sent.size() + rig.link.skippedTicks(), 2000u);
        EXPECT_LE(static_cast<double>(rig.line.written.size()), carried + LampLink::kBacklogBound + 20.0);
        EXPECT_EQ(rig.link.skippedTicks() > 0, c.skips);
        EXPECT_GE(static_cast<double>(rig.line.written.size()), c.minShare * carried);
    }
}

TEST(LampLinkPacing, ReportedDriverQueueAlsoHoldsTicksBack)
{
    LinkRig rig;
    rig.line.reportedPending = 4000; // a real tty with a full buffer
    rig.tick(1, 3);
    EXPECT_EQ(rig.line.written.size(), 0u);
    EXPECT_EQ(rig.link.skippedTicks(), 1u);
    rig.line.reportedPending = 0;
    rig.clock.advance(10ms);
    rig.tick(2, 3);
    EXPECT_EQ(ticksOnLine(rig.line.written, 3), std::vector<int>{2});
}

TEST(LampLinkPacing, CommandsAreNeverSkipped)
{
    LinkRig rig;
    for (int i = 0; i < 5; ++i)
        rig.tick(i, 3); // no time passes: the line is far behind
    const auto before = rig.line.written.size();
    rig.link.sendCommand(offPacket(0));
    rig.link.sendCommand(offPacket(1));
    rig.link.sendCommand(offPacket(2));
    EXPECT_EQ(Bytes(rig.line.written.begin() + static_cast<long>(before), rig.line.written.end()),
              concat({offPacket(0), offPacket(1), offPacket(2)}));
}

TEST(LampLinkWrites, PartialWriteIsCompletedBeforeAnythingElseInOrder)
{
    LinkRig rig;
    rig.line.accepts = {2, 0, 0}; // the first packet goes out in part, then the line is full twice
    rig.tick(7, 1);
    EXPECT_EQ(rig.line.written.size(), 2u);
    rig.link.sendCommand(offPacket(0)); // waits behind the rest of the tick
    rig.clock.advance(10ms);
    rig.tick(8, 1); // skipped: the previous tick has not left yet
    EXPECT_EQ(rig.link.skippedTicks(), 1u);
    rig.clock.advance(10ms);
    rig.tick(9, 1);
    EXPECT_EQ(rig.line.written, concat({keyboardPacket(7), zonePacket(0, 7, 0, 0), offPacket(0), keyboardPacket(9),
                                        zonePacket(0, 9, 0, 0)}));
}

TEST(LampLinkErrors, LostBoardIsReportedOnceThenRetriedAboutOnceASecond)
{
    LinkRig rig;
    rig.line.failWrites = true;
    rig.line.openFailures = 1000;
    for (int i = 0; i < 300; ++i) { // three seconds of ticks
        rig.tick(1, 3);
        rig.link.sendCommand(offPacket(0));
        rig.clock.advance(10ms);
    }
    EXPECT_FALSE(rig.link.connected());
    ASSERT_EQ(rig.states.size(), 1u);
    EXPECT_NE(rig.states[0].find("/dev/fake"), std::string::npos);
    EXPECT_EQ(rig.line.writeCalls, 1);
    EXPECT_GE(rig.line.opens, 1 + 2);
    EXPECT_LE(rig.line.opens, 1 + 4);
    EXPECT_EQ(rig.line.closes, 1);
}

TEST(LampLinkErrors, BoardThatComesBackGetsTheNextTicks)
{
    LinkRig rig;
    rig.line.failWrites = true;
    rig.tick(1, 3);
    EXPECT_FALSE(rig.link.connected());
    rig.line.written.clear();
    rig.clock.advance(1500ms);
    rig.tick(2, 3);
    EXPECT_TRUE(rig.link.connected());
    EXPECT_TRUE(rig.link.takeReconnected());
    EXPECT_FALSE(rig.link.takeReconnected());
    EXPECT_EQ(ticksOnLine(rig.line.written, 3), std::vector<int>{2});
    EXPECT_EQ(rig.states.back(), "");
}

TEST(LampLinkErrors, WriteFailureMidTickDropsTheRestOfTheTick)
{
    LinkRig rig;
    rig.line.accepts = {3}; // the keyboard packet goes out in part
    rig.link.beginTick();
    rig.link.sendPeriodic(keyboardPacket(1));
    rig.line.failWrites = true; // and then the cable is pulled
    rig.link.sendPeriodic(zonePacket(0, 1, 0, 0));
    rig.link.sendPeriodic(zonePacket(1, 1, 0, 0));
    rig.link.sendCommand(offPacket(2));
    EXPECT_FALSE(rig.link.connected());
    EXPECT_EQ(rig.line.writeCalls, 2);
    EXPECT_EQ(rig.line.closes, 1);
    EXPECT_EQ(rig.link.backlog(), 0.0);
    EXPECT_EQ(rig.states.size(), 1u);
}

TEST(LampLinkErrors, EachLossAfterARecoveryIsReportedAgain)
{
    LinkRig rig;
    for (int loss = 0; loss < 3; ++loss) {
        rig.line.failWrites = true;
        rig.clock.advance(10ms);
        rig.tick(1, 3);
        rig.clock.advance(1s);
        rig.tick(2, 3); // reopened
        EXPECT_TRUE(rig.link.connected());
    }
    const std::string reason = "lost the board on /dev/fake: Input/output error";
    EXPECT_EQ(rig.states, (std::vector<std::string>{reason, "", reason, "", reason, ""}));
}

TEST(LampLinkErrors, NothingSentWhileAwayIsReplayedOnReturn)
{
    LinkRig rig;
    rig.line.failWrites = true;
    rig.tick(1, 3);
    rig.line.written.clear();
    rig.link.sendCommand(offPacket(0)); // stale by the time the board is back
    rig.clock.advance(1s);
    rig.tick(2, 0);
    EXPECT_TRUE(rig.link.connected());
    EXPECT_EQ(rig.line.written, concat({keyboardPacket(2)}));
}

TEST(LampLinkShutdown, WhileTheBoardIsAwayEndsAtOnceWithoutReopening)
{
    LinkRig rig;
    rig.line.failWrites = true;
    rig.tick(1, 3);
    rig.clock.advance(5s); // a reopen is long due
    const int opens = rig.line.opens;
    rig.link.sendCommand(offPacket(0));
    const auto start = rig.clock.now();
    EXPECT_FALSE(rig.link.shutdown(500ms));
    EXPECT_EQ(rig.clock.now(), start);
    EXPECT_EQ(rig.line.opens, opens);
    EXPECT_FALSE(rig.line.isOpen());
}

TEST(LampLinkShutdown, DrainsWithinTheBoundAndCloses)
{
    LinkRig rig;
    rig.link.sendCommand(offPacket(0));
    rig.link.sendCommand(offPacket(1));
    rig.link.sendCommand(offPacket(2));
    const auto start = rig.clock.now();
    EXPECT_TRUE(rig.link.shutdown(500ms));
    EXPECT_FALSE(rig.line.isOpen());
    // 15 bytes take 7.8 ms on the line: shut-down waited for them, and not much longer.
    EXPECT_GE(rig.clock.now() - start, 7ms);
    EXPECT_LE(rig.clock.now() - start, 20ms);
}

TEST(LampLinkShutdown, EndsPromptlyWhenTheBoardIsGone)
{
    LinkRig rig;
    rig.line.failWrites = true;
    rig.link.sendCommand(offPacket(0));
    const auto start = rig.clock.now();
    EXPECT_FALSE(rig.link.shutdown(500ms));
    EXPECT_LE(rig.clock.now() - start, 1ms);

    LinkRig stuck;
    stuck.line.accepts = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    stuck.link.sendCommand(offPacket(0));
    const auto stuckStart = stuck.clock.now();
    EXPECT_FALSE(stuck.link.shutdown(50ms));
    EXPECT_LE(stuck.clock.now() - stuckStart, 51ms);
}

} // namespace
} // namespace lumora::test
