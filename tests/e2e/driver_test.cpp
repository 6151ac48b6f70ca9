// The real lumora-driver with a pseudo-terminal standing in for the board: AUTO on the wire,
// its endings, ports and monitors it cannot open, the command lines of both
// programs, losing the board mid-run, finding or awaiting the board's port, and the driver on the
// real board emulator.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

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

// However the driver ends, the zones go dark first: the stream ends with their off packets, once,
// every packet whole. SIGTERM closes the window as the user would; Qt ends the program itself when
// its display goes away, as at logout.
TEST(DriverEndings, SignalsAndTheDisplayGoingAwayLeaveTheZonesDark)
{
    const std::pair<const char*, std::function<void(DriverRun&)>> endings[] = {
        {"SIGTERM", [](DriverRun& d) { d.program.signal(SIGTERM); }},
        {"SIGHUP", [](DriverRun& d) { d.program.signal(SIGHUP); }},
        {"the X server going away", [](DriverRun& d) { d.xvfb.kill(); }},
    };
    for (const auto& [name, end] : endings) {
        SCOPED_TRACE(name);
        DriverRun d;
        d.paint("#c86432");
        d.click(kAutoButton);
        ASSERT_TRUE(d.settlesOn({same(126, 22, 4)})) << d.lastTickText();
        end(d);
        EXPECT_NE(d.program.wait(), -1) << "ended by the signal: " << d.program.err();
        d.pty->read(d.stream, 300);
        expectEndsDark(d.stream);
    }
}

// A port it cannot open or a monitor that is not there: a message box, the reason on standard
// error, and the program ends.
TEST(Driver, PortOrMonitorItCannotOpenAndCommandLineMistakesAreExplained)
{
    Pty busy;
    const int lock = ::open(busy.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    const std::tuple<QStringList, std::string, std::string> cases[] = {
        {{}, "/dev/null", "not a serial port"}, {{}, busy.path(), "in use by another program"},
        {{"--monitor", "HDMI-9"}, "", "no monitor named 'HDMI-9' on display ':"}};
    for (const auto& [args, port, reason] : cases) {
        SCOPED_TRACE(reason);
        DriverRun d(args, port);
        d.xvfb.x("xdotool", {"key", "--window", d.window(), "Return"}); // answers the message box
        EXPECT_EQ(d.program.wait(), 1);
        EXPECT_NE(d.program.err().find(port.empty() ? "the monitors are: screen (1920x1080+0+0)" : port), std::string::npos) << d.program.err();
        EXPECT_NE(d.program.err().find(reason), std::string::npos) << d.program.err();
    }
    ::close(lock);
    const QString driver = LUMORA_DRIVER_PATH, sim = LUMORA_SIM_PATH;
    const struct { QString program; QStringList args; int status; const char *out, *err; } commands[] = {
        {driver, {"--help"}, 0, "--port PATH", ""},           {driver, {"--version"}, 0, "lumora-driver 1.2", ""},
        {driver, {"--port"}, 2, "", "needs the path"},        {driver, {"--frobnicate"}, 2, "", "unknown option"},
        {driver, {"--capture", "wayland"}, 2, "", "takes x11, portal or auto"}, {driver, {"--monitor"}, 2, "", "needs a monitor's name"},
        {sim, {"--help"}, 0, "--link PATH", ""},              {sim, {"--bogus"}, 2, "", "unknown argument: --bogus"},
        {sim, {"--link="}, 2, "", "--link needs a path"},     {sim, {"--headless", "--link", "/nonexistent/board"}, 1, "", "cannot create the link"}};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    for (const auto& command : commands) {
        SCOPED_TRACE(command.args.join(' ').toStdString());
        Program p(command.program, command.args, env);
        EXPECT_EQ(p.wait(), command.status);
        EXPECT_NE(p.out().find(command.out), std::string::npos) << p.out();
        EXPECT_NE(p.err().find(command.err), std::string::npos) << p.err();
    }
}

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1), ++n) {}
    return n;
}

// A folder standing in for /dev/serial/by-id, named to the driver by LUMORA_SERIAL_BY_ID: links to
// pseudo-terminals under USB adapters' names. Not there until the first link, as udev removes the
// folder with the last one.
struct AdapterFolder {
    std::string link(const std::string& name) const { return path + "/" + name; }
    void plug(const std::string& name, const Pty& board) { std::filesystem::create_directories(path), std::filesystem::create_symlink(board.path(), link(name)); }

    QTemporaryDir root;
    const std::string path = root.filePath("by-id").toStdString();
    const QProcessEnvironment env = [this] {
        QProcessEnvironment env;
        env.insert("LUMORA_SERIAL_BY_ID", QString::fromStdString(path));
        return env;
    }();
};

const std::string kAdapterA = "usb-Lumora_Lamp_Board_A1B2C3-if00-port0", kAdapterB = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// Reads until the driver has sent the off packets and then ten ticks of OFF mode (bounded); returns
// whether they came in that order.
bool offPacketsThenTicks(DriverRun& d)
{
    if (!d.readUntil([&] { return d.count() >= 3 + 10; }))
        return false;
    const auto sent = d.sent();
    return Bytes(d.stream.begin(), d.stream.begin() + 15) == kOffPackets &&
           std::all_of(sent.begin() + 3, sent.end(), [](const Bytes& p) { return p == Bytes{3, 0, 0, 0, 13}; });
}

// Losing the board: the far end of a pseudo-terminal closes and the adapter's link goes, as when it
// is unplugged; it comes back under another name (another device) or its own, and every reopen
// looks in the folder again. The only adapter there at start-up is the board.
TEST(DriverLinkLoss, LostBoardIsReportedOnceAndABoardBackUnderAnyNameGetsWholeTicks)
{
    AdapterFolder adapters;
    auto board = std::make_unique<Pty>();
    adapters.plug(kAdapterA, *board);
    DriverRun d({}, kAutoPort, adapters.env);
    d.pty = std::move(board);
    const auto reported = [&](const char* line, std::size_t times) {
        return QTest::qWaitFor([&] { return occurrences(d.program.err(), line) >= times; }, kBound);
    };
    // Unplugs the adapter named `from` and plugs a new board in under `to` (the new one made first,
    // so that its device differs from the old one's).
    const auto replug = [&](const std::string& from, const std::string& to, std::size_t losses) {
        auto next = std::make_unique<Pty>();
        std::filesystem::remove(adapters.link(from));
        d.pty->closeBoardSide();
        d.stream.clear();
        const bool lost = reported("lost the board on ", losses);
        d.pty = std::move(next);
        adapters.plug(to, *d.pty);
        return lost;
    };

    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 10; })) << d.program.err();
    // In OFF mode the returning board is switched off first, then the ticks go on.
    ASSERT_TRUE(replug(kAdapterA, kAdapterB, 1)) << d.program.err();
    EXPECT_TRUE(offPacketsThenTicks(d)) << testing::PrintToString(d.sent()) << d.program.err();
    EXPECT_TRUE(reported("the board is connected", 1));

    // A second loss, in FIXED mode: whole ticks from the first byte on (keyboard, zones 0, 1, 2).
    d.click(kFixedButton);
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 80; }));
    ASSERT_TRUE(replug(kAdapterB, kAdapterA, 2)) << d.program.err();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 80; })) << d.program.err();
    const auto sent = d.sent();
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i][0], i % 4 == 0 ? 3 : i % 4 - 1) << "packet " << i;

    // Closing with the board gone ends the program.
    d.pty->closeBoardSide();
    ASSERT_TRUE(reported("lost the board on ", 3)) << d.program.err();
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    // Each loss is reported once, however often the port was tried while away (counted in tests/unit).
    EXPECT_EQ(occurrences(d.program.err(), "lost the board on "), 3u) << d.program.err();
}

// No board at start-up: the driver starts all the same (no message box: its ticks reach the board
// once it is there) and says once what it waits for; the board, once there, is switched off first.
TEST(DriverPortChoice, ABoardNotThereYetIsAwaitedAndSwitchedOffFirstWhenItAppears)
{
    const struct { const char* what; bool automatic, folderThere; } cases[] = {
        {"no adapter folder yet", true, false}, {"an empty adapter folder", true, true}, {"--port to a path not there yet", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AdapterFolder adapters;
        if (c.folderThere)
            std::filesystem::create_directory(adapters.path);
        const std::string port = c.automatic ? kAutoPort : adapters.root.filePath("ttyUSB7").toStdString();
        DriverRun d({}, port, adapters.env);
        const std::string awaited = c.automatic ? adapters.path : port;
        ASSERT_TRUE(QTest::qWaitFor([&] { return d.program.err().find(awaited) != std::string::npos; }, kBound)) << d.program.err();
        ASSERT_TRUE(d.program.running()) << d.program.err();
        c.automatic ? adapters.plug(kAdapterA, *d.pty) : std::filesystem::create_symlink(d.pty->path(), port);
        EXPECT_TRUE(offPacketsThenTicks(d)) << testing::PrintToString(d.sent()) << d.program.err();
        EXPECT_EQ(occurrences(d.program.err(), awaited), 1u) << d.program.err();
        d.program.signal(SIGTERM);
        EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    }
}

// Only the user knows which adapter is the board: the driver refuses to start, says how to choose
// (the rule and its message are tested in tests/unit), and sends nothing to any.
TEST(DriverPortChoice, SeveralAdaptersAreRefused)
{
    AdapterFolder adapters;
    Pty board, other;
    adapters.plug(kAdapterA, board);
    adapters.plug(kAdapterB, other);
    DriverRun d({}, kAutoPort, adapters.env);
    d.xvfb.x("xdotool", {"key", "--window", d.window(), "Return"}); // answers the message box
    EXPECT_EQ(d.program.wait(), 1);
    EXPECT_NE(d.program.err().find("--port PATH"), std::string::npos) << d.program.err();
    Bytes toBoard, toOther;
    board.read(toBoard, 0), other.read(toOther, 0);
    EXPECT_EQ(std::tuple(toBoard, toOther), std::tuple(Bytes{}, Bytes{}));
}

// The driver on the board emulator: the emulated board reads what the driver sends (its keyboard
// packets, then the zones switched off as it ends), and the emulator removes its link when it ends.
// What each choice in the window sends is tested on the pseudo-terminal and the bus above.
TEST(DriverOnEmulator, TheEmulatedBoardReadsWhatTheDriverSends)
{
    QTemporaryDir dir;
    const std::string link = dir.filePath("board").toStdString();
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    headless.remove("DISPLAY");
    Program emulator(LUMORA_SIM_PATH, {"--headless", "--dump", "--link", QString::fromStdString(link)}, headless);
    ASSERT_TRUE(QTest::qWaitFor([&] { return emulator.err().find("emulated board on") != std::string::npos; }, kBound));
    DriverRun d({}, link);
    // The packets the emulated board has read, one "c r g b 13" line each.
    const auto lines = [&] { return QString::fromStdString(emulator.out()).trimmed().split('\n'); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().size() >= 10; }, kBound)) << d.program.err();
    EXPECT_EQ(lines().first(10), QStringList(10, "3 0 0 0 13"));

    d.program.signal(SIGINT);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().back() == "2 0 0 0 13"; }, kBound));
    EXPECT_EQ(lines().mid(lines().size() - 3).join(", ").toStdString(), "0 0 0 0 13, 1 0 0 0 13, 2 0 0 0 13");
    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.wait(), 0) << emulator.err();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

} // namespace
} // namespace lumora::test
