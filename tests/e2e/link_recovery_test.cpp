// The real lumora-driver losing its board mid-run: the far end of a pseudo-terminal closes, and a
// new one appears behind the same port path (a link the test repoints, as a replugged USB adapter
// reappears under the same name).
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

constexpr const char* kLostLine = "lumora-driver: lost the board on ";
constexpr const char* kBackLine = "lumora-driver: the board is connected again";

// Points `link` at `target`, replacing what it pointed at in one step.
void pointLink(const std::string& link, const std::string& target)
{
    const std::string temporary = link + ".new";
    ::unlink(temporary.c_str());
    ASSERT_EQ(::symlink(target.c_str(), temporary.c_str()), 0);
    ASSERT_EQ(::rename(temporary.c_str(), link.c_str()), 0);
}

// Counts the times a file is opened from now on, through inotify.
struct OpenWatch {
    explicit OpenWatch(const std::string& path) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        EXPECT_GE(inotify_add_watch(fd, path.c_str(), IN_OPEN), 0);
    }
    ~OpenWatch() { ::close(fd); }
    int opens()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < got; ++count)
                at += static_cast<ssize_t>(sizeof(inotify_event) + reinterpret_cast<const inotify_event*>(buffer + at)->len);
        return count;
    }
    int fd;
    int count = 0;
};

TEST(DriverLinkLoss, PulledBoardIsRetriedIdlyAndABoardBackAtThePathGetsFramedPackets)
{
    const std::string dir = tempDir(), port = dir + "/board";
    auto board = std::make_unique<Pty>();
    pointLink(port, board->slavePath());
    DriverRun d({}, port);
    d.pty = std::move(board);
    const auto window = d.window();
    const auto reported = [&](const char* line, std::size_t times) {
        return waitFor([&] { return occurrences(d.process.errorOutput(), line) >= times; });
    };
    // Pulls the board: its side of the line closes, and the program notices (the `losses`th time).
    const auto pull = [&](std::size_t losses) {
        d.pty->closeMaster();
        d.stream.clear();
        return reported(kLostLine, losses);
    };
    // A new board appears behind the same port path.
    const auto plug = [&] {
        d.pty = std::make_unique<Pty>();
        pointLink(port, d.pty->slavePath());
    };

    ASSERT_TRUE(d.readUntil([&] { return d.stream.size() >= 50; }));
    ASSERT_TRUE(pull(1)) << d.process.errorOutput();
    EXPECT_NE(d.process.errorOutput().find(port), std::string::npos) << d.process.errorOutput();

    // While the board is away the port path leads to a file that is not a serial port, so each
    // attempt to reopen it can be seen: wait for three of them and look at the CPU time spent.
    const std::string notAPort = dir + "/not-a-port";
    std::ofstream(notAPort).put('x');
    OpenWatch watch(notAPort);
    pointLink(port, notAPort);
    const auto cpuBefore = d.process.cpuTime();
    const auto wallBefore = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return watch.opens() >= 3; }));
    const auto cpu = d.process.cpuTime() - cpuBefore;
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wallBefore);
    EXPECT_TRUE(d.process.running());
    // A program that spins on the dead port would use a whole core.
    EXPECT_LT(cpu * 4, wall) << "cpu " << cpu.count() << " ms in " << wall.count() << " ms";
    // Reported once, not once per failed write or per attempt.
    EXPECT_EQ(occurrences(d.process.errorOutput(), kLostLine), 1u) << d.process.errorOutput();
    EXPECT_EQ(occurrences(d.process.errorOutput(), kBackLine), 0u) << d.process.errorOutput();

    // In OFF mode the returning board is switched off first, then the ticks go on.
    plug();
    ASSERT_TRUE(d.readUntil([&] { return d.stream.size() >= 15 + 5 * 20; })) << d.process.errorOutput();
    EXPECT_EQ(Bytes(d.stream.begin(), d.stream.begin() + 15), kOffPackets);
    for (const auto& p : d.sent(3))
        EXPECT_EQ(p, kKeyboardPacket);
    EXPECT_TRUE(reported(kBackLine, 1));

    // A second loss, in FIXED mode: whole ticks from the first byte on (keyboard, zones 0, 1, 2).
    d.click(kFixedButton);
    ASSERT_TRUE(d.readUntil([&] { return d.stream.size() >= 400; }));
    ASSERT_TRUE(pull(2)) << d.process.errorOutput();
    plug();
    ASSERT_TRUE(d.readUntil([&] { return d.stream.size() >= 400; })) << d.process.errorOutput();
    const auto sent = d.sent();
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(int{sent[i][0]}, i % 4 == 0 ? 3 : static_cast<int>(i % 4) - 1) << "packet " << i;
    EXPECT_TRUE(reported(kBackLine, 2));

    // Closing the window with the board gone ends the program.
    ASSERT_TRUE(pull(3)) << d.process.errorOutput();
    ::unlink(port.c_str());
    d.input.close(window);
    EXPECT_EQ(d.process.wait(), 0) << d.process.errorOutput();
}

} // namespace
} // namespace lumora::test
