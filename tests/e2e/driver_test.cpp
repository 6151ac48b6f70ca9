// The real lumora-driver on a private X server, with a pseudo-terminal standing in for the board:
// start-up, shut-down, ports and monitors it cannot open, and the command lines of both programs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <csignal>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

TEST(DriverShutdown, StartsWithKeyboardPacketsAndEndsWithTheOffPacketsThenNothing)
{
    const struct {
        const char* what;
        int signal; // 0: the window is closed
        bool boardGone;
    } cases[] = {{"window closed", 0, false},
                 {"SIGTERM", SIGTERM, false},
                 {"SIGINT", SIGINT, false},
                 {"SIGTERM with the board gone", SIGTERM, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DriverRun d;
        const auto w = d.window();
        ASSERT_TRUE(d.readUntil([&] { return d.packetCount() >= 60; }));
        if (c.boardGone)
            d.pty->closeMaster();
        if (c.signal)
            d.process.signal(c.signal);
        else
            d.input.close(w);
        d.readUntil([&] { return !d.process.running(); });
        EXPECT_EQ(d.process.wait(), 0) << d.process.errorOutput();
        if (c.boardGone)
            continue;
        d.readRest();
        ASSERT_GE(d.stream.size(), kOffPackets.size());
        EXPECT_EQ(Bytes(d.stream.end() - 15, d.stream.end()), kOffPackets);
        for (const auto& p : packets(Bytes(d.stream.begin(), d.stream.end() - 15)))
            EXPECT_EQ(p, kKeyboardPacket);
    }
}

TEST(DriverPort, PortThatCannotBeOpenedIsExplainedAndEndsTheProgram)
{
    Pty busy;
    const int lockFd = ::open(busy.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
    const struct {
        std::string port;
        const char* reason;
    } cases[] = {{"/tmp/lumora-no-such-dir/ttyUSB9", "no such port"},
                 {"/dev/null", "not a serial port"},
                 {busy.slavePath(), "in use by another program"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        DriverRun d({"--port", c.port}, "-");
        const auto box = d.window(); // the message, not the main window
        EXPECT_NE(d.process.errorOutput().find(c.port), std::string::npos) << d.process.errorOutput();
        EXPECT_NE(d.process.errorOutput().find(c.reason), std::string::npos) << d.process.errorOutput();
        d.input.close(box);
        EXPECT_EQ(d.process.wait(), 1);
    }
    ::close(lockFd);
}

TEST(DriverMonitor, UnknownMonitorIsExplainedWithTheMonitorsThereAreAndEndsTheProgram)
{
    DriverRun d({"--monitor", "HDMI-9"});
    const auto box = d.window(); // the message, not the main window
    EXPECT_NE(d.process.errorOutput().find("no monitor named 'HDMI-9' on display '" + d.xvfb.display() +
                                           "'; the monitors are: screen (1920x1080+0+0)"),
              std::string::npos)
        << d.process.errorOutput();
    d.input.close(box);
    EXPECT_EQ(d.process.wait(), 1);
}

TEST(CommandLine, HelpVersionAndMistakes)
{
    const struct {
        std::vector<std::string> argv;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{LUMORA_DRIVER_PATH, "--help"}, 0, "--port PATH", ""},
        {{LUMORA_DRIVER_PATH, "--version"}, 0, "lumora-driver 1.2", ""},
        {{LUMORA_DRIVER_PATH, "--port"}, 2, "", "needs the path"},
        {{LUMORA_DRIVER_PATH, "--frobnicate"}, 2, "", "unknown option"},
        {{LUMORA_DRIVER_PATH, "--capture", "wayland"}, 2, "", "takes x11, portal or auto"},
        {{LUMORA_DRIVER_PATH, "--monitor"}, 2, "", "needs a monitor's name"},
        {{LUMORA_SIM_PATH, "--help"}, 0, "Usage: lumora-board-sim", ""},
        {{LUMORA_SIM_PATH, "--bogus"}, 2, "", "unknown argument: --bogus"},
        {{LUMORA_SIM_PATH, "--headless", "--link", "/nonexistent-dir/board"}, 1, "", "cannot create the link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv[0] + " " + c.argv[1]);
        auto p = Process::start(c.argv, {{"DISPLAY", std::nullopt}});
        EXPECT_EQ(p.wait(), c.status);
        EXPECT_NE(p.output().find(c.out), std::string::npos) << p.output();
        EXPECT_NE(p.errorOutput().find(c.err), std::string::npos) << p.errorOutput();
    }
}

} // namespace
} // namespace lumora::test
