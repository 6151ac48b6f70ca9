// The real lumora-board-sim binary, driven the way the driver drives the board: through the link
// path, opened as a raw 19200 8N1 serial port.
#include "support/support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

namespace lumora::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The driver's side of the line.
class SerialWriter {
public:
    explicit SerialWriter(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0)
            return;
        cfmakeraw(&tio);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        cfsetspeed(&tio, B19200);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    SerialWriter(const SerialWriter&) = delete;
    SerialWriter& operator=(const SerialWriter&) = delete;
    ~SerialWriter() { ::close(fd_); }

    bool isOpen() const { return fd_ >= 0; }
    // One write per call, as the driver sends each packet; returns write()'s result.
    ssize_t write(const Bytes& bytes) { return ::write(fd_, bytes.data(), bytes.size()); }
    void writeAll(const Bytes& bytes) { ASSERT_EQ(write(bytes), static_cast<ssize_t>(bytes.size())); }

private:
    int fd_;
};

std::string readLink(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::ranges::count(text, '\n')); }

// An emulator on a link path, started headless without any display; the constructor waits until
// it announces itself.
struct Sim {
    explicit Sim(const std::vector<std::string>& extra = {}, std::string linkPath = {})
        : link(linkPath.empty() ? tempDir() + "/board" : std::move(linkPath))
    {
        std::vector<std::string> argv = {LUMORA_SIM_PATH, "--headless", "--dump", "--link", link};
        argv.insert(argv.end(), extra.begin(), extra.end());
        process = Process::start(argv, {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
                                        {"QT_QPA_PLATFORM", std::nullopt}});
        EXPECT_TRUE(waitFor([&] { return process.errorOutput().find("emulated board on") != std::string::npos; }))
            << process.errorOutput();
    }
    bool waitForLines(std::size_t count)
    {
        return waitFor([&] { return lineCount(process.output()) >= count; });
    }
    // The share of one core it uses over a moment with nothing to read. Not a speed check: with
    // nothing to read, the emulator must sleep, not poll in a loop.
    double idleShare()
    {
        const auto cpuBefore = process.cpuTime();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(1500ms); // the measuring window, not a wait for a condition
        const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        return static_cast<double>((process.cpuTime() - cpuBefore).count()) / static_cast<double>(wall.count());
    }

    std::string link;
    Process process;
};

TEST(BoardSim, DumpsEveryPacketAcrossReopeningStaysIdleAndRemovesItsLinkOnTermination)
{
    // Levels 13 and 10 are the end mark and a line feed: they must not confuse the framing.
    const std::vector<Bytes> sent = {{3, 0, 255, 0, 13}, {1, 13, 0, 255, 13}, {0, 10, 13, 10, 13}, {2, 255, 255, 255, 13}};
    const std::string dump = "3 0 255 0 13\n1 13 0 255 13\n0 10 13 10 13\n2 255 255 255 13\n";
    for (const auto& [pace, sig] : {std::pair{false, SIGTERM}, std::pair{true, SIGINT}}) {
        SCOPED_TRACE(pace ? "paced, SIGINT" : "unpaced, SIGTERM");
        Sim sim(pace ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
        EXPECT_LT(sim.idleShare(), 0.2) << "busy with no writer";
        std::string expected;
        for (int session = 0; session < 2; ++session) { // the driver lets go and reopens by path
            SCOPED_TRACE(session);
            SerialWriter port(sim.link);
            ASSERT_TRUE(port.isOpen()) << std::strerror(errno);
            for (const auto& p : sent)
                port.writeAll(p);
            expected += dump;
            ASSERT_TRUE(sim.waitForLines(lineCount(expected))) << sim.process.output();
            EXPECT_EQ(sim.process.output(), expected);
        }
        EXPECT_LT(sim.idleShare(), 0.2) << "busy after the writer closed";

        SerialWriter port(sim.link);
        ASSERT_TRUE(port.isOpen());
        sim.process.signal(sig);
        EXPECT_EQ(sim.process.wait(), 0) << sim.process.errorOutput();
        EXPECT_FALSE(exists(sim.link));
        // The driver's open port now fails instead of hanging.
        EXPECT_TRUE(waitFor([&] { return port.write({0, 0, 0, 0, 13}) < 0 && errno == EIO; }));
    }
}

TEST(BoardSim, PacedReadingPushesBackOnTheWriter)
{
    Sim sim({"--pace"});
    SerialWriter port(sim.link);
    ASSERT_TRUE(port.isOpen());
    // A line at 1920 bytes/s cannot keep up with a writer that never waits: its buffer fills and
    // the writer is told to wait, long before the bound on bytes is reached.
    std::size_t written = 0;
    std::uint8_t level = 0;
    int error = 0;
    while (error == 0 && written < 1'000'000) {
        const ssize_t n = port.write({3, 0, level++, 0, 13});
        error = n < 0 ? errno : 0;
        written += n < 0 ? 0 : static_cast<std::size_t>(n);
    }
    EXPECT_EQ(error, EAGAIN) << written << " bytes written without backpressure; " << std::strerror(error);
    ASSERT_TRUE(sim.waitForLines(3));
    std::istringstream lines(sim.process.output());
    std::string line;
    for (int i = 0; i < 3 && std::getline(lines, line); ++i)
        EXPECT_EQ(line, "3 0 " + std::to_string(i) + " 0 13");
}

TEST(BoardSim, ReplacesAStaleLinkAndLeavesANewerOneAlone)
{
    const std::string link = tempDir() + "/board";
    ASSERT_EQ(::symlink("/nonexistent/stale-board", link.c_str()), 0);
    Sim first({}, link);
    const std::string firstPty = readLink(link);
    EXPECT_EQ(firstPty.rfind("/dev/pts/", 0), 0u) << firstPty;
    EXPECT_EQ(first.process.errorOutput(), "lumora-board-sim: emulated board on " + link + " (pty " + firstPty + ")\n");

    Sim second({}, link);
    const std::string secondPty = readLink(link);
    EXPECT_NE(secondPty, firstPty);
    first.process.signal(SIGTERM);
    EXPECT_EQ(first.process.wait(), 0);
    EXPECT_EQ(readLink(link), secondPty) << "the first emulator removed a link it no longer owned";
    second.process.signal(SIGTERM);
    EXPECT_EQ(second.process.wait(), 0);
    EXPECT_FALSE(exists(link));
}

} // namespace
} // namespace lumora::test
