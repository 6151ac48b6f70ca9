// The real lumora-driver with a pseudo-terminal standing in for the board: start-up, RND and
// AUTO on the wire, shut-down, ports and monitors it cannot open, and the command lines of both
// programs.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>


#include "driver_run.hpp"

namespace lumora::test {
namespace {

TEST(Driver, StartsOffFadesInRndAndEndsWithTheOffPacketsThenNothing)
{
    DriverRun d;
    d.window();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 20; }));
    for (const auto& p : d.sent())
        EXPECT_EQ(p, (Bytes{3, 0, 0, 0, 13})) << "start-up sends only keyboard packets";
    const std::size_t rndFrom = d.count();
    d.click(kRndButton);
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= rndFrom + 4 * 300; }));
    d.program.signal(SIGTERM); // closes the window, as the user would
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    d.pty->read(d.stream, 300);
    ASSERT_GE(d.stream.size(), kOffPackets.size());
    EXPECT_EQ(Bytes(d.stream.end() - 15, d.stream.end()), kOffPackets);

    // The fade starts from black and moves each channel by at most Slider1 (1) from one packet to
    // the next: a tick the busy line cannot carry does not happen, so no packet shows two steps.
    const auto sent = d.sent();
    std::array<std::optional<Bytes>, 3> last;
    for (std::size_t i = rndFrom; i + 3 < sent.size(); ++i) {
        const Bytes& p = sent[i];
        if (p[0] == 3)
            continue;
        auto& before = last[p[0]];
        if (!before) {
            EXPECT_EQ(p, (Bytes{p[0], 0, 0, 0, 13})) << "the first RND packets are black";
        }
        for (std::size_t c = 1; before && c <= 3; ++c)
            EXPECT_LE(std::abs(p[c] - (*before)[c]), 1) << "packet " << i;
        before = p;
    }
    EXPECT_NE(d.program.err().find("skipped"), std::string::npos) << "the line was busy at times";
    EXPECT_TRUE(last[0] && last[1] && last[2]);
}

// Expected colours worked out by hand from the rules in src/sampling, with the AUTO page's
// defaults (steps 25 and 50, Delta 30, Min1 50, Min2 100, processing style) on 1920 x 1080.
TEST(Driver, AutoSendsTheCorrectedAndSmoothedScreenColour)
{
    DriverRun d;
    // #c86432 = (200, 100, 50): mean 116, grey within Min2 100, so no boost. m = 200, s = 2:
    // R trunc((100 + 10) * 2.55) = 280, G trunc((50 - 30) * 2.55) = 51, B trunc((25 - 20) * 2.55) = 12,
    // times 116 / 255: (127, 23, 5). Halving the gap from 0 with half to even stops one short:
    // R 64 96 112 120 124 126 (126.5 -> 126), G 12 18 20 22 (22.5 -> 22), B 2 4 (4.5 -> 4).
    d.paint("#c86432");
    d.click(kAutoButton);
    EXPECT_TRUE(d.settlesOn({same(126, 22, 4)})) << d.lastTickText();
    // #1ea0f0 = (30, 160, 240): mean 143, |30 - 143| > 100, blue dominant gets +30: (30, 160, 270).
    // m = 270, s = 2.7f (just above 2.7): R trunc((11.11 + 10) * 2.55) = 53, G trunc((59.26 - 30) * 2.55) = 74,
    // B trunc((99.99999 - 20) * 2.55) = 203, times 143 / 255: (30, 41, 114). From (126, 22, 4):
    // R 78 54 42 36 33 32 31 30, G 32 36 38 40 (40.5 -> 40), B 59 86 100 107 110 112 113 114.
    d.paint("#1ea0f0");
    EXPECT_TRUE(d.settlesOn({same(30, 40, 114)})) << d.lastTickText();
}

TEST(Driver, PortThatCannotBeOpenedIsExplainedAndEndsTheProgram)
{
    Pty busy;
    const int lock = ::open(busy.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"/nonexistent/ttyUSB9", "no such port"}, {"/dev/null", "not a serial port"}, {busy.path(), "in use by another program"}};
    for (const auto& [port, reason] : cases) {
        SCOPED_TRACE(reason);
        DriverRun d({}, port);
        d.xvfb.x("xdotool", {"key", "--window", d.window(), "Return"}); // answers the message box
        EXPECT_EQ(d.program.wait(), 1);
        EXPECT_NE(d.program.err().find(port), std::string::npos) << d.program.err();
        EXPECT_NE(d.program.err().find(reason), std::string::npos) << d.program.err();
    }
    ::close(lock);
}

TEST(Driver, UnknownMonitorIsExplainedWithTheMonitorsThereAre)
{
    DriverRun d({"--monitor", "HDMI-9"});
    d.xvfb.x("xdotool", {"key", "--window", d.window(), "Return"}); // answers the message box
    EXPECT_EQ(d.program.wait(), 1);
    EXPECT_NE(d.program.err().find("no monitor named 'HDMI-9' on display '" + d.xvfb.display().toStdString() +
                                   "'; the monitors are: screen (1920x1080+0+0)"),
              std::string::npos)
        << d.program.err();
}

TEST(CommandLine, HelpVersionAndMistakes)
{
    const struct {
        QString program;
        QStringList args;
        int status;
        const char *out, *err;
    } cases[] = {
        {LUMORA_DRIVER_PATH, {"--help"}, 0, "--port PATH", ""},
        {LUMORA_DRIVER_PATH, {"--version"}, 0, "lumora-driver 1.2", ""},
        {LUMORA_DRIVER_PATH, {"--port"}, 2, "", "needs the path"},
        {LUMORA_DRIVER_PATH, {"--frobnicate"}, 2, "", "unknown option"},
        {LUMORA_DRIVER_PATH, {"--capture", "wayland"}, 2, "", "takes x11, portal or auto"},
        {LUMORA_DRIVER_PATH, {"--monitor"}, 2, "", "needs a monitor's name"},
        {LUMORA_SIM_PATH, {"--help"}, 0, "--link PATH", ""},
        {LUMORA_SIM_PATH, {"--bogus"}, 2, "", "unknown argument: --bogus"},
        {LUMORA_SIM_PATH, {"--link="}, 2, "", "--link needs a path"},
        {LUMORA_SIM_PATH, {"--headless", "--link", "/nonexistent/board"}, 1, "", "cannot create the link"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        Program p(c.program, c.args, env);
        EXPECT_EQ(p.wait(), c.status);
        EXPECT_NE(p.out().find(c.out), std::string::npos) << p.out();
        EXPECT_NE(p.err().find(c.err), std::string::npos) << p.err();
    }
}

} // namespace
} // namespace lumora::test
