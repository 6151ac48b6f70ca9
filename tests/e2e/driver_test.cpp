// The real lumora-driver on a private X server, with a pseudo-terminal standing in for the board.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <fcntl.h>
#include <csignal>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

// Runs on this test's own pseudo-terminal; withPort false leaves the port to the arguments.
struct Driver : DriverRun {
    explicit Driver(const std::vector<std::string>& args = {}, bool withPort = true) : DriverRun(args, withPort ? "" : "-") {}
};

TEST(DriverStartup, SendsOnlyKeyboardPacketsUntilAModeIsChosen)
{
    Driver d;
    d.window();
    d.readUntil([&] { return d.stream.size() >= 5 * 60; });
    const auto sent = packets(d.stream);
    ASSERT_GE(sent.size(), 60u);
    for (const auto& p : sent)
        EXPECT_EQ(p, (Bytes{3, 0, 0, 0, 13}));
}

TEST(DriverShutdown, ClosingTheWindowSendsTheOffPacketsThenNothing)
{
    Driver d;
    const auto w = d.window();
    d.readUntil([&] { return d.stream.size() >= 50; });
    d.input.close(w);
    d.readUntil([&] { return !d.process.running(); });
    EXPECT_EQ(d.process.wait(), 0) << d.process.errorOutput();
    d.readRest();
    ASSERT_GE(d.stream.size(), kOffPackets.size());
    EXPECT_EQ(Bytes(d.stream.end() - 15, d.stream.end()), kOffPackets);
    const auto sent = packets(Bytes(d.stream.begin(), d.stream.end() - 15));
    for (const auto& p : sent)
        EXPECT_EQ(p[0], 3);
}

TEST(DriverShutdown, TerminationSignalClosesLikeTheWindow)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        Driver d;
        d.window();
        d.readUntil([&] { return d.stream.size() >= 50; });
        d.process.signal(sig);
        d.readUntil([&] { return !d.process.running(); });
        EXPECT_EQ(d.process.wait(), 0);
        d.readRest();
        ASSERT_GE(d.stream.size(), 15u);
        EXPECT_EQ(Bytes(d.stream.end() - 15, d.stream.end()), kOffPackets);
    }
}

TEST(DriverPort, PortThatCannotBeOpenedIsExplainedAndEndsTheProgram)
{
    struct Case {
        const char* what;
        std::string port;
        const char* reason;
    };
    Pty busy;
    const int lockFd = ::open(busy.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
    const std::vector<Case> cases = {
        {"missing", "/tmp/lumora-no-such-dir/ttyUSB9", "no such port"},
        {"not a tty", "/dev/null", "not a serial port"},
        {"in use", busy.slavePath(), "in use by another program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Driver d({"--port", c.port}, false);
        const auto box = d.window(); // the message, not the main window
        EXPECT_NE(d.process.errorOutput().find(c.port), std::string::npos) << d.process.errorOutput();
        EXPECT_NE(d.process.errorOutput().find(c.reason), std::string::npos) << d.process.errorOutput();
        d.input.close(box);
        EXPECT_EQ(d.process.wait(), 1);
        EXPECT_TRUE(d.stream.empty());
    }
    ::close(lockFd);
}

TEST(DriverOptions, HelpVersionAndMistakes)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, "--port PATH", ""},
        {{"--version"}, 0, "lumora-driver 1.2", ""},
        {{"--port"}, 2, "", "needs the path"},
        {{"--frobnicate"}, 2, "", "unknown option"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> argv{LUMORA_DRIVER_PATH};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto p = Process::start(argv, {{"DISPLAY", std::nullopt}});
        EXPECT_EQ(p.wait(), c.status);
        EXPECT_NE(p.output().find(c.out), std::string::npos) << p.output();
        EXPECT_NE(p.errorOutput().find(c.err), std::string::npos) << p.errorOutput();
    }
}

} // namespace
} // namespace lumora::test
