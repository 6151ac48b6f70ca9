// The real lumora-board-sim binary, driven the way the driver drives the board: through the link
// path, opened as a raw 19200 8N1 serial port.
#include "support/support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using lumora::test::Process;
using lumora::test::waitFor;

namespace {

const std::string kSimPath = LUMORA_BUILD_DIR "/tools/board_sim/lumora-board-sim";

using Bytes = std::vector<std::uint8_t>;

// The driver's side of the line.
class SerialWriter {
public:
    explicit SerialWriter(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        cfsetispeed(&tio, B19200);
        cfsetospeed(&tio, B19200);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    SerialWriter(const SerialWriter&) = delete;
    SerialWriter& operator=(const SerialWriter&) = delete;
    ~SerialWriter() { close(); }

    bool isOpen() const { return fd_ >= 0; }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // One write per call, as the driver sends each packet; returns write()'s result.
    ssize_t write(const Bytes& bytes) { return ::write(fd_, bytes.data(), bytes.size()); }
    void writeAll(const Bytes& bytes) { ASSERT_EQ(write(bytes), static_cast<ssize_t>(bytes.size())); }

private:
    int fd_ = -1;
};

std::string readLink(const std::string& path)
{
    char buffer[256] = {};
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// An emulator on a private link path, started headless without any display.
struct Sim {
    std::string link;
    Process process;

    explicit Sim(std::vector<std::string> extra = {}, std::string linkPath = {})
        : link(linkPath.empty() ? lumora::test::tempDir() + "/board" : std::move(linkPath))
    {
        std::vector<std::string> argv = {kSimPath, "--headless", "--dump", "--link", link};
        argv.insert(argv.end(), extra.begin(), extra.end());
        process = Process::start(argv, {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
                                        {"QT_QPA_PLATFORM", std::nullopt}});
    }
    bool ready() { return process.errorOutput().find("emulated board on") != std::string::npos; }
    bool waitForLines(std::size_t count)
    {
        return waitFor([&] { return lineCount(process.output()) >= count; });
    }
};

TEST(BoardSim, AnnouncesLinkAndPty)
{
    Sim sim;
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    const std::string pty = readLink(sim.link);
    EXPECT_EQ(pty.rfind("/dev/pts/", 0), 0u) << pty;
    EXPECT_EQ(sim.process.errorOutput(), "lumora-board-sim: emulated board on " + sim.link + " (pty " + pty + ")\n");
}

TEST(BoardSim, DumpsEveryPacketAsOneLine)
{
    Sim sim;
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    SerialWriter port(sim.link);
    ASSERT_TRUE(port.isOpen()) << std::strerror(errno);
    const std::vector<Bytes> packets = {
        {3, 0, 255, 0, 13}, {1, 13, 0, 255, 13}, {0, 10, 13, 10, 13}, {2, 255, 255, 255, 13}, {3, 0, 0, 0, 13},
    };
    for (const auto& p : packets)
        port.writeAll(p);
    ASSERT_TRUE(sim.waitForLines(packets.size())) << sim.process.output();
    EXPECT_EQ(sim.process.output(), "3 0 255 0 13\n1 13 0 255 13\n0 10 13 10 13\n2 255 255 255 13\n3 0 0 0 13\n");
}

TEST(BoardSim, BadlyFramedBytesAreNotDumped)
{
    Sim sim;
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    SerialWriter port(sim.link);
    ASSERT_TRUE(port.isOpen());
    port.writeAll({9, 9, 13});           // the tail of a packet: resync on its end mark
    port.writeAll({2, 1, 2, 3, 13});
    ASSERT_TRUE(sim.waitForLines(1)) << sim.process.output();
    port.writeAll({0, 4, 5, 6, 13});
    ASSERT_TRUE(sim.waitForLines(2)) << sim.process.output();
    EXPECT_EQ(sim.process.output(), "2 1 2 3 13\n0 4 5 6 13\n");
}

TEST(BoardSim, SurvivesDriverReopeningThePort)
{
    Sim sim;
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    std::string expected;
    for (int session = 0; session < 3; ++session) {
        SCOPED_TRACE(session);
        SerialWriter port(sim.link);
        ASSERT_TRUE(port.isOpen()) << std::strerror(errno);
        const auto level = static_cast<std::uint8_t>(session * 100);
        port.writeAll({3, 0, level, 0, 13});
        port.writeAll({1, level, 13, 7, 13});
        expected += "3 0 " + std::to_string(level) + " 0 13\n1 " + std::to_string(level) + " 13 7 13\n";
        ASSERT_TRUE(sim.waitForLines(lineCount(expected))) << sim.process.output();
        EXPECT_EQ(sim.process.output(), expected);
        port.close(); // the driver lets go of the port; the next session reopens it by path
        EXPECT_TRUE(sim.process.running());
    }
}

// Not a speed check: with nothing to read, the emulator must sleep, not poll in a loop.
TEST(BoardSim, StaysIdleWithoutWriterAndAfterWriterCloses)
{
    const auto idleShare = [](Sim& sim) {
        const auto cpuBefore = sim.process.cpuTime();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(1500ms); // the measuring window, not a wait for a condition
        const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        return static_cast<double>((sim.process.cpuTime() - cpuBefore).count()) / static_cast<double>(wall.count());
    };
    for (const bool pace : {false, true}) {
        SCOPED_TRACE(pace ? "paced" : "unpaced");
        Sim sim(pace ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
        ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
        EXPECT_LT(idleShare(sim), 0.2) << "busy with no writer";
        {
            SerialWriter port(sim.link);
            ASSERT_TRUE(port.isOpen());
            port.writeAll({0, 1, 2, 3, 13});
            ASSERT_TRUE(sim.waitForLines(1));
        }
        EXPECT_LT(idleShare(sim), 0.2) << "busy after the writer closed";
        EXPECT_TRUE(sim.process.running());
    }
}

TEST(BoardSim, PacedReadingPushesBackOnTheWriter)
{
    Sim sim({"--pace"});
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    SerialWriter port(sim.link);
    ASSERT_TRUE(port.isOpen());
    // A line at 1920 bytes/s cannot keep up with a writer that never waits: its buffer fills and
    // the writer is told to wait, long before the bound on bytes is reached.
    std::size_t written = 0;
    std::uint8_t level = 0;
    bool pushedBack = false;
    while (!pushedBack && written < 1'000'000) {
        const ssize_t n = port.write({3, 0, level, 0, 13});
        if (n < 0) {
            ASSERT_EQ(errno, EAGAIN) << std::strerror(errno);
            pushedBack = true;
        } else {
            written += static_cast<std::size_t>(n);
            ++level;
        }
    }
    EXPECT_TRUE(pushedBack) << written << " bytes written without backpressure";
    ASSERT_TRUE(sim.waitForLines(3));
    std::istringstream lines(sim.process.output());
    std::string line;
    for (int i = 0; i < 3 && std::getline(lines, line); ++i)
        EXPECT_EQ(line, "3 0 " + std::to_string(i) + " 0 13");
}

TEST(BoardSim, TerminationRemovesTheLink)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        Sim sim;
        ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
        SerialWriter port(sim.link);
        ASSERT_TRUE(port.isOpen());
        port.writeAll({0, 1, 2, 3, 13});
        ASSERT_TRUE(sim.waitForLines(1));
        sim.process.signal(sig);
        EXPECT_EQ(sim.process.wait(), std::optional<int>(0)) << sim.process.errorOutput();
        EXPECT_FALSE(exists(sim.link));
        // The driver's open port now fails instead of hanging.
        EXPECT_TRUE(waitFor([&] { return port.write({0, 0, 0, 0, 13}) < 0 && errno == EIO; }));
    }
}

TEST(BoardSim, KilledEmulatorLeavesWriterFailingNotHanging)
{
    Sim sim;
    ASSERT_TRUE(waitFor([&] { return sim.ready(); })) << sim.process.errorOutput();
    SerialWriter port(sim.link);
    ASSERT_TRUE(port.isOpen());
    port.writeAll({0, 1, 2, 3, 13});
    ASSERT_TRUE(sim.waitForLines(1));
    sim.process.kill();
    EXPECT_TRUE(waitFor([&] { return port.write({0, 0, 0, 0, 13}) < 0 && errno == EIO; }));
}

TEST(BoardSim, ReplacesAStaleLinkAndLeavesANewerOneAlone)
{
    const std::string link = lumora::test::tempDir() + "/board";
    ASSERT_EQ(::symlink("/nonexistent/stale-board", link.c_str()), 0);
    Sim first({}, link);
    ASSERT_TRUE(waitFor([&] { return first.ready(); })) << first.process.errorOutput();
    const std::string firstPty = readLink(link);
    EXPECT_EQ(firstPty.rfind("/dev/pts/", 0), 0u) << firstPty;

    Sim second({}, link);
    ASSERT_TRUE(waitFor([&] { return second.ready(); })) << second.process.errorOutput();
    const std::string secondPty = readLink(link);
    EXPECT_NE(secondPty, firstPty);

    first.process.signal(SIGTERM);
    EXPECT_EQ(first.process.wait(), std::optional<int>(0));
    EXPECT_EQ(readLink(link), secondPty) << "the first emulator removed a link it no longer owned";
    second.process.signal(SIGTERM);
    EXPECT_EQ(second.process.wait(), std::optional<int>(0));
    EXPECT_FALSE(exists(link));
}

TEST(BoardSim, CommandLine)
{
    const struct {
        std::vector<std::string> args;
        int status;
        const char* stdoutHas;
        const char* stderrHas;
    } cases[] = {
        {{"--help"}, 0, "Usage: lumora-board-sim", ""},
        {{"--bogus"}, 2, "", "unknown argument: --bogus"},
        {{"--headless", "--link", "/nonexistent-dir/board"}, 1, "", "cannot create the link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::vector<std::string> argv = {kSimPath};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Process p = Process::start(argv);
        EXPECT_EQ(p.wait(), std::optional<int>(c.status));
        EXPECT_NE(p.output().find(c.stdoutHas), std::string::npos) << p.output();
        EXPECT_NE(p.errorOutput().find(c.stderrHas), std::string::npos) << p.errorOutput();
    }
}

} // namespace
