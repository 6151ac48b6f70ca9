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
        if (!link.beginTick())
            return;
        link.sendPeriodic(keyboardPacket(seq));
        for (int z = 0; z < zones; ++z)
            link.sendPeriodic(zonePacket(z, seq, 0, 0));
    }

    FakeLine line;
    FakeClock clock;
    std::vector<std::string> states;
    LampLink link{line, clock, [this](const std::string& s) { states.push_back(s); }};
};

Bytes tickBytes(int seq, int zones)
{
    Bytes out = concat({keyboardPacket(seq)});
    for (int z = 0; z < zones; ++z) {
        const Bytes zone = concat({zonePacket(z, seq, 0, 0)});
        out.insert(out.end(), zone.begin(), zone.end());
    }
    return out;
}

// The ticks whose packets reached the line, each checked to be whole and in order.
std::vector<int> ticksOnLine(const Bytes& bytes, int zones)
{
    std::vector<int> seqs;
    const std::size_t perTick = 5u * static_cast<std::size_t>(1 + zones);
    EXPECT_EQ(bytes.size() % perTick, 0u);
    for (std::size_t i = 0; i + perTick <= bytes.size(); i += perTick) {
        seqs.push_back(bytes[i + 2]);
        EXPECT_EQ(Bytes(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + perTick)),
                  tickBytes(seqs.back(), zones));
    }
    return seqs;
}

// However the timer delivers its ticks, the line never takes more than it carries (plus the bound),
// a sent tick never waits behind more than the bound, whole ticks are skipped only when the line
// cannot keep up, and the line is not left idle while there is output to send.
TEST(LampLinkPacing, SkipsWholeTicksOnlyWhenTheLineFallsBehindAndKeepsTheDelayBounded)
{
    const struct {
        const char* what;
        std::vector<std::chrono::microseconds> intervals; // repeated in turn
        int zones;
        bool skips;
        double minShare; // of what the line could carry, the least it must be given
    } cases[] = {
        {"5 bytes every 10 ms: a quarter of the line", {10ms}, 0, false, 0.25},
        {"20 bytes every 10 ms", {10ms}, 3, true, 0.9},
        {"alternating 9.2 and 10.2 ms", {9200us, 10200us}, 3, true, 0.9},
        {"late ticks at 12 ms", {12ms}, 3, false, 0.8},
        // Ticks that come at once carry states only a millisecond apart: the first is enough.
        {"a burst after a stall", {1ms, 1ms, 1ms, 37ms}, 3, true, 0.2},
    };
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
        EXPECT_EQ(rig.link.skippedTicks() > 0, c.skips);
        EXPECT_LE(static_cast<double>(rig.line.written.size()), carried + LampLink::kBacklogBound + 20.0);
        EXPECT_GE(static_cast<double>(rig.line.written.size()), c.minShare * carried);
    }
}

TEST(LampLinkPacing, ReportedDriverQueueHoldsTicksBackButNeverCommands)
{
    LinkRig rig;
    rig.line.reportedPending = 4000; // a real tty with a full buffer
    rig.tick(1, 3);
    EXPECT_EQ(rig.link.skippedTicks(), 1u);
    rig.link.sendCommand(offPacket(0));
    rig.link.sendCommand(offPacket(1));
    EXPECT_EQ(rig.line.written, concat({offPacket(0), offPacket(1)}));
    rig.line.written.clear();
    rig.line.reportedPending = 0;
    rig.clock.advance(20ms);
    rig.tick(2, 3);
    EXPECT_EQ(ticksOnLine(rig.line.written, 3), std::vector<int>{2});

    for (int i = 0; i < 5; ++i)
        rig.tick(i, 3); // no time passes: the line is far behind
    rig.line.written.clear();
    rig.link.sendCommand(offPacket(2));
    EXPECT_EQ(rig.line.written, concat({offPacket(2)}));
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

// Each loss is reported again; the board back gets the next tick and nothing sent while it was away.
TEST(LampLinkErrors, BoardThatComesBackGetsTheNextTicksAndNothingIsReplayed)
{
    LinkRig rig;
    for (int loss = 0; loss < 3; ++loss) {
        rig.line.failWrites = true;
        rig.clock.advance(10ms);
        rig.tick(1, 3);
        EXPECT_FALSE(rig.link.connected());
        rig.link.sendCommand(offPacket(0));
        rig.line.written.clear();
        rig.clock.advance(1500ms);
        rig.tick(2, 3);
        EXPECT_TRUE(rig.link.takeReconnected());
        EXPECT_FALSE(rig.link.takeReconnected());
        EXPECT_EQ(rig.line.written, tickBytes(2, 3));
    }
    const std::string reason = "lost the board on /dev/fake: Input/output error";
    EXPECT_EQ(rig.states, (std::vector<std::string>{reason, "", reason, "", reason, ""}));
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

TEST(LampLinkShutdown, EndsPromptlyWhenTheBoardIsGoneOrStuck)
{
    LinkRig gone;
    gone.line.failWrites = true;
    gone.tick(1, 3);
    gone.clock.advance(5s); // a reopen is long due
    const int opens = gone.line.opens;
    gone.link.sendCommand(offPacket(0));
    const auto start = gone.clock.now();
    EXPECT_FALSE(gone.link.shutdown(500ms));
    EXPECT_EQ(gone.clock.now(), start);
    EXPECT_EQ(gone.line.opens, opens);
    EXPECT_FALSE(gone.line.isOpen());

    LinkRig stuck;
    stuck.line.accepts.assign(1000, 0);
    stuck.link.sendCommand(offPacket(0));
    const auto stuckStart = stuck.clock.now();
    EXPECT_FALSE(stuck.link.shutdown(50ms));
    EXPECT_LE(stuck.clock.now() - stuckStart, 51ms);
}

} // namespace
} // namespace lumora::test
