// The real lumora-driver losing its board mid-run: the far end of a pseudo-terminal closes, and a
// new one appears behind the same port path (a link the test repoints, as a replugged USB adapter
// reappears under the same name).
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QFile>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Points `link` at `target`, replacing what it pointed at in one step.
void pointLink(const std::string& link, const std::string& target)
{
    ::unlink((link + ".new").c_str());
    ASSERT_EQ(::symlink(target.c_str(), (link + ".new").c_str()), 0);
    ASSERT_EQ(::rename((link + ".new").c_str(), link.c_str()), 0);
}

TEST(DriverLinkLoss, LostBoardIsReportedOnceAndABoardBackAtThePathGetsWholeTicks)
{
    QTemporaryDir dir;
    const std::string port = dir.filePath("board").toStdString();
    auto board = std::make_unique<Pty>();
    pointLink(port, board->path());
    DriverRun d({}, port);
    d.pty = std::move(board);
    d.window();
    const auto reported = [&](const char* line, std::size_t times) {
        return QTest::qWaitFor([&] { return occurrences(d.program.err(), line) >= times; }, kBound);
    };
    const auto pull = [&](std::size_t losses) {
        d.pty->closeBoardSide();
        d.stream.clear();
        return reported("lost the board on " , losses);
    };
    const auto plug = [&] {
        d.pty = std::make_unique<Pty>();
        pointLink(port, d.pty->path());
    };

    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 10; }));
    ASSERT_TRUE(pull(1)) << d.program.err();
    EXPECT_NE(d.program.err().find(port), std::string::npos) << d.program.err();
    // While away, the port path leads to a file that is not a serial port, so that each attempt to
    // reopen it can be seen: after three of them the loss is still reported once.
    const QString notAPort = dir.filePath("not-a-port");
    QFile(notAPort).open(QIODevice::WriteOnly);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, notAPort.toLocal8Bit().constData(), IN_OPEN), 0);
    pointLink(port, notAPort.toStdString());
    std::size_t opens = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        alignas(inotify_event) char events[4096]; // a watched file's events carry no name
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
            opens += static_cast<std::size_t>(n) / sizeof(inotify_event);
        return opens >= 3;
    }, kBound));
    ::close(watch);
    EXPECT_EQ(occurrences(d.program.err(), "lost the board on "), 1u) << d.program.err();
    EXPECT_TRUE(d.program.running());

    // In OFF mode the returning board is switched off first, then the ticks go on.
    plug();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 3 + 20; })) << d.program.err();
    EXPECT_EQ(Bytes(d.stream.begin(), d.stream.begin() + 15), kOffPackets);
    for (std::size_t i = 3; i < d.count(); ++i)
        EXPECT_EQ(d.sent()[i], (Bytes{3, 0, 0, 0, 13}));
    EXPECT_TRUE(reported("the board is connected again", 1));

    // A second loss, in FIXED mode: whole ticks from the first byte on (keyboard, zones 0, 1, 2).
    d.click(kFixedButton);
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 80; }));
    ASSERT_TRUE(pull(2)) << d.program.err();
    plug();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 80; })) << d.program.err();
    const auto sent = d.sent();
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i][0], i % 4 == 0 ? 3 : i % 4 - 1) << "packet " << i;

    // Closing with the board gone ends the program.
    ASSERT_TRUE(pull(3)) << d.program.err();
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
}

} // namespace
} // namespace lumora::test
