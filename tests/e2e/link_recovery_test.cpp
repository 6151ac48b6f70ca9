// The real lumora-driver losing its board mid-run: the far end of a pseudo-terminal closes, and a
// new one appears behind the same port path (a link the test repoints, as a replugged USB adapter
// reappears under the same name).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>

#include "support/support.hpp"
#include "support/x11_input.hpp"
#include "support/xvfb.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kOffPackets{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13};
constexpr const char* kTitle = "Lumora Driver 1.2";
constexpr const char* kLostLine = "lumora-driver: lost the board on ";
constexpr const char* kBackLine = "lumora-driver: the board is connected again";

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Points `link` at `target`, replacing what it pointed at in one step.
void pointLink(const std::string& link, const std::string& target)
{
    const std::string temporary = link + ".new";
    ::unlink(temporary.c_str());
    ASSERT_EQ(::symlink(target.c_str(), temporary.c_str()), 0);
    ASSERT_EQ(::rename(temporary.c_str(), link.c_str()), 0);
}

// Counts the times a file is opened, through inotify.
class OpenWatch {
public:
    explicit OpenWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, path.c_str(), IN_OPEN), 0);
    }
    ~OpenWatch() { ::close(fd_); }

    // Waits (bounded) until the file has been opened `n` times since the watch began.
    bool waitForOpens(int n)
    {
        return waitFor([&] {
            pollfd pfd{fd_, POLLIN, 0};
            if (poll(&pfd, 1, 100) > 0) {
                alignas(inotify_event) char buffer[4096];
                const ssize_t got = ::read(fd_, buffer, sizeof buffer);
                for (ssize_t at = 0; at < got;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                    opens_ += (event->mask & IN_OPEN) ? 1 : 0;
                    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                }
            }
            return opens_ >= n;
        });
    }

private:
    int fd_;
    int opens_ = 0;
};

// A board whose side of the line is not inherited by the programs the test starts, so that
// closing it here really closes it.
std::unique_ptr<Pty> newBoard()
{
    auto board = std::make_unique<Pty>();
    ::fcntl(board->masterFd(), F_SETFD, FD_CLOEXEC);
    return board;
}

// The driver on its own X server, with --port a link that the test points at a board of its own.
struct Rig {
    Rig() : board(newBoard()), dir(tempDir()), port(dir + "/board")
    {
        pointLink(port, board->slavePath());
        process = Process::start({LUMORA_DRIVER_PATH, "--port", port},
                                 {{"DISPLAY", xvfb.display()}, {"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", std::nullopt}});
        const auto found = input.waitForWindow(process.pid(), kTitle);
        EXPECT_TRUE(found.has_value()) << process.errorOutput();
        window = found.value_or(0);
    }

    // Reads the board's side until `done` holds (bounded); returns whether it did.
    bool readUntil(const std::function<bool()>& done)
    {
        return waitFor([&] {
            const auto chunk = board->read(20ms);
            stream.insert(stream.end(), chunk.begin(), chunk.end());
            return done();
        });
    }

    // Pulls the board: its side of the line closes and the port path leads nowhere.
    void pullBoard()
    {
        board->closeMaster();
        stream.clear();
    }

    // A new board appears behind the same port path.
    void plugBoard()
    {
        board = newBoard();
        pointLink(port, board->slavePath());
        stream.clear();
    }

    bool waitForStderr(const std::string& what, std::size_t times = 1)
    {
        return waitFor([&] { return count(process.errorOutput(), what) >= times; });
    }

    void clickFixed() { input.click(window, 60, 124); }

    Xvfb xvfb{{"-screen", "0", "1280x1024x24"}};
    X11Input input{xvfb.display()};
    std::unique_ptr<Pty> board;
    std::string dir;
    std::string port;
    Process process;
    std::uint32_t window = 0;
    Bytes stream;
};

TEST(DriverLinkLoss, PulledBoardLeavesTheProgramRunningIdleAndRetrying)
{
    Rig rig;
    ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 50; }));
    rig.pullBoard();
    ASSERT_TRUE(rig.waitForStderr(kLostLine)) << rig.process.errorOutput();
    EXPECT_NE(rig.process.errorOutput().find(rig.port), std::string::npos) << rig.process.errorOutput();

    // While the board is away the port path leads to a file that is not a serial port, so each
    // attempt to reopen it can be seen: wait for three of them and look at the CPU time spent.
    const std::string notAPort = rig.dir + "/not-a-port";
    { std::ofstream(notAPort).put('x'); }
    OpenWatch opens(notAPort);
    pointLink(rig.port, notAPort);
    const auto cpuBefore = rig.process.cpuTime();
    const auto wallBefore = std::chrono::steady_clock::now();
    ASSERT_TRUE(opens.waitForOpens(3));
    const auto cpu = rig.process.cpuTime() - cpuBefore;
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - wallBefore);

    EXPECT_TRUE(rig.process.running());
    // A program that spins on the dead port would use a whole core.
    EXPECT_LT(cpu * 4, wall) << "cpu " << cpu.count() << " ms in " << wall.count() << " ms";
    // Reported once, not once per failed write or per attempt.
    EXPECT_EQ(count(rig.process.errorOutput(), kLostLine), 1u) << rig.process.errorOutput();
    EXPECT_EQ(count(rig.process.errorOutput(), kBackLine), 0u) << rig.process.errorOutput();
}

TEST(DriverLinkLoss, BoardBackAtTheSamePathGetsTheCurrentStateCorrectlyFramed)
{
    Rig rig;
    ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 50; }));
    rig.pullBoard();
    ASSERT_TRUE(rig.waitForStderr(kLostLine)) << rig.process.errorOutput();
    rig.plugBoard();
    ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 15 + 5 * 20; })) << rig.process.errorOutput();
    // In OFF mode the returning board is switched off first, then the ticks go on.
    EXPECT_EQ(Bytes(rig.stream.begin(), rig.stream.begin() + 15), kOffPackets);
    for (const auto& p : packets(Bytes(rig.stream.begin() + 15, rig.stream.end() - static_cast<long>(rig.stream.size() % 5))))
        EXPECT_EQ(p, (Bytes{3, 0, 0, 0, 13}));
    EXPECT_TRUE(rig.waitForStderr(kBackLine));

    // A second loss, in FIXED mode this time, is reported again and recovered from again.
    rig.clickFixed();
    ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 400; }));
    rig.pullBoard();
    ASSERT_TRUE(rig.waitForStderr(kLostLine, 2)) << rig.process.errorOutput();
    rig.plugBoard();
    ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 20 * 20; })) << rig.process.errorOutput();
    const auto sent = packets(Bytes(rig.stream.begin(), rig.stream.end() - static_cast<long>(rig.stream.size() % 5)));
    // Whole ticks from the first byte on: keyboard, then zones 0, 1, 2.
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(int{sent[i][0]}, i % 4 == 0 ? 3 : static_cast<int>(i % 4) - 1) << "packet " << i;
    EXPECT_TRUE(rig.waitForStderr(kBackLine, 2));
    EXPECT_TRUE(rig.process.running());
}

TEST(DriverLinkLoss, ShutdownWithTheBoardGoneEndsTheProgram)
{
    struct Case {
        const char* what;
        bool waitForLoss; // whether the program has seen the loss before it is asked to end
        int signal;
    };
    for (const Case& c : {Case{"loss seen, SIGTERM", true, SIGTERM}, Case{"loss seen, window closed", true, 0},
                          Case{"loss not yet seen, SIGTERM", false, SIGTERM}}) {
        SCOPED_TRACE(c.what);
        Rig rig;
        ASSERT_TRUE(rig.readUntil([&] { return rig.stream.size() >= 50; }));
        rig.pullBoard();
        ::unlink(rig.port.c_str());
        if (c.waitForLoss) {
            ASSERT_TRUE(rig.waitForStderr(kLostLine)) << rig.process.errorOutput();
        }
        if (c.signal != 0)
            rig.process.signal(c.signal);
        else
            rig.input.close(rig.window);
        EXPECT_EQ(rig.process.wait(), 0) << rig.process.errorOutput();
    }
}

} // namespace
} // namespace lumora::test
