// The driver as the rest of the desktop reaches it, on a private session bus: one driver per bus
// (a second start hands over and ends), its bus interface on the wire, and its tray icon, which a
// real StatusNotifierWatcher on the bus takes in.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QRegularExpression>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

const char* const kName = "net.example.lumora.Driver";
const char* const kPath = "/net/example/lumora/Driver";
const char* const kInterface = "net.example.lumora.Driver1";
const char* const kApplication = "org.freedesktop.Application";
const char* const kWatcher = "org.kde.StatusNotifierWatcher";

// `env` with `bus` as its session bus, and as its system bus too: one without logind.
QProcessEnvironment on(const PrivateBus& bus, QProcessEnvironment env = {})
{
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    return env;
}

QDBusMessage call(QDBusConnection& bus, const char* method, const QVariantList& args, const char* interface = kInterface,
                  const char* service = kName, const char* path = kPath)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, kBound);
}

// SetFixedColour's arguments: a zone, and its red, green and blue as bytes.
QVariantList colour(int zone, uchar red, uchar green, uchar blue)
{
    return {zone, QVariant::fromValue(red), QVariant::fromValue(green), QVariant::fromValue(blue)};
}

// A tick's zone colours as they stand on the wire: FIXED sends the sliders' colours every tick.
bool ticksShow(DriverRun& d, int keyboard, const Zones& zones)
{
    return d.readUntil([&] {
        const auto all = d.sent();
        return all.size() >= 4 && all[all.size() - 4] == Bytes{3, 0, static_cast<std::uint8_t>(keyboard), 0, 13} && d.lastTick() == zones;
    });
}

// Reads until RND's fade has left black (bounded).
bool rndRuns(DriverRun& d)
{
    return d.readUntil([&] { return !d.sent().empty() && d.sent().back()[0] == 2 && d.sent().back()[1] > 0; });
}

TEST(DriverOnTheBus, MethodsChangeTheWireAsClicksWouldAndBadArgumentsChangeNothing)
{
    PrivateBus bus;
    QDBusConnection client = bus.connect();
    DriverRun d({}, {}, on(bus));
    d.window();
    Program monitor("dbus-monitor", {"--address", bus.address(), "type='signal',interface='org.freedesktop.DBus.Properties'"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.out().find("NameLost") != std::string::npos; }, kBound)) << "the monitor listens";

    const std::pair<const char*, QVariantList> calls[] = {
        {"SetMode", {"fixed"}}, {"SetFixedColour", colour(3, 200, 100, 13)}, {"SetFixedColour", colour(1, 1, 2, 3)}, {"SetKeyboardLevel", {QVariant::fromValue(uchar{50})}}};
    for (const auto& [method, args] : calls)
        EXPECT_EQ(call(client, method, args).type(), QDBusMessage::ReplyMessage) << method;
    const Zones set{{{200, 100, 13}, {1, 2, 3}, {200, 100, 13}}};
    ASSERT_TRUE(ticksShow(d, 50, set)) << d.lastTickText();

    const std::tuple<const char*, const char*, QVariantList> refused[] = {
        {kInterface, "SetMode", {"purple"}}, {kInterface, "SetFixedColour", colour(4, 9, 9, 9)}, {kInterface, "SetFixedColour", colour(-1, 9, 9, 9)},
        {kApplication, "ActivateAction", {"dance", QVariantList(), QVariantMap()}}};
    for (const auto& [interface, method, args] : refused) {
        const QDBusMessage reply = call(client, method, args, interface);
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << method << ": " << reply.errorMessage().toStdString();
    }
    d.stream.clear();
    EXPECT_TRUE(ticksShow(d, 50, set)) << "a refused call changed the wire: " << d.lastTickText();

    // The properties say what the wire shows, and their changes are announced.
    const QString properties = run("gdbus", {"call", "--address", bus.address(), "-d", kName, "-o", kPath, "-m",
                                             "org.freedesktop.DBus.Properties.GetAll", kInterface});
    for (const char* property : {"'Mode': <'fixed'>", "'KeyboardLevel': <byte 0x32>", "'BoardConnected': <true>",
                                 "'Zones': <[(byte 0xc8, byte 0x64, byte 0x0d), (0x01, 0x02, 0x03), (0xc8, 0x64, 0x0d)]>"})
        EXPECT_TRUE(properties.contains(property)) << property << " in " << properties.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.out().find("\"fixed\"") != std::string::npos; }, kBound)) << monitor.out();
    EXPECT_NE(monitor.out().find("KeyboardLevel"), std::string::npos) << monitor.out();

    // An action is a mode, chosen as SetMode chooses it.
    d.stream.clear();
    EXPECT_EQ(call(client, "ActivateAction", {"off", QVariantList(), QVariantMap()}, kApplication).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(d.readUntil([&] { return std::search(d.stream.begin(), d.stream.end(), kOffPackets.begin(), kOffPackets.end()) != d.stream.end(); }));
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0);
    // All that without logind on the system bus, which the driver said.
    EXPECT_NE(d.program.err().find("logind"), std::string::npos) << d.program.err();
}

TEST(DriverOnTheBus, ASecondStartHandsItsModeToTheFirstShowsItsWindowAndEnds)
{
    PrivateBus bus;
    // Hidden, where there is no tray: the window shows all the same.
    DriverRun d({"--hidden"}, {}, on(bus));
    d.window();
    QProcessEnvironment env = on(bus, QProcessEnvironment::systemEnvironment());
    env.insert("DISPLAY", d.xvfb.display());
    env.insert("XDG_RUNTIME_DIR", d.runtime.path());
    Program second(LUMORA_DRIVER_PATH, {"--mode", "rnd"}, env);
    EXPECT_EQ(second.wait(), 0) << second.err();
    EXPECT_TRUE(rndRuns(d));
    EXPECT_EQ(d.xvfb.x("xdotool", {"search", "--name", "^Lumora Driver 1.2$"}).trimmed().count('\n'), 0) << "one window";
    EXPECT_TRUE(d.program.running());
    // Without a session bus each start runs on its own: this one finds the port taken.
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    Program alone(LUMORA_DRIVER_PATH, {"--port", QString::fromStdString(d.pty->path())}, env);
    EXPECT_TRUE(QTest::qWaitFor([&] { return alone.err().find("in use") != std::string::npos; }, kBound)) << alone.err();
}

// A real StatusNotifierWatcher, with the test as the tray that shows the items.
struct Tray {
    explicit Tray(PrivateBus& bus) : watcher("status-notifier-watcher", {}, on(bus, QProcessEnvironment::systemEnvironment())), address(bus.address()),
                                       client(bus.connect())
    {
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return call(client, "RegisterStatusNotifierHost", {"org.kde.StatusNotifierHost-lumora-test"}, kWatcher, kWatcher, "/StatusNotifierWatcher")
                       .type() == QDBusMessage::ReplyMessage;
        }, kBound)) << watcher.err();
    }
    // The bus name of the first item registered, once there is one.
    QString item()
    {
        QString name;
        (void)QTest::qWaitFor([&] {
            const QDBusMessage got = call(client, "Get", {kWatcher, "RegisteredStatusNotifierItems"}, "org.freedesktop.DBus.Properties", kWatcher,
                                          "/StatusNotifierWatcher");
            return !(name = got.arguments().value(0).value<QDBusVariant>().variant().toStringList().value(0)).isEmpty();
        }, kBound);
        return name;
    }
    // Clicks the menu entry of this label, as the tray would.
    void click(const QString& label)
    {
        const QStringList menu{"call", "--address", address, "-d", item(), "-o", "/MenuBar", "-m"};
        const QString layout = run("gdbus", menu + QStringList{"com.canonical.dbusmenu.GetLayout", "0", "--", "-1", "[]"});
        const auto match = QRegularExpression("\\((\\d+), \\{[^}]*'label': <'" + label + "'>").match(layout);
        ASSERT_TRUE(match.hasMatch()) << layout.toStdString();
        run("gdbus", menu + QStringList{"com.canonical.dbusmenu.Event", match.captured(1), "clicked", "<0>", "0"});
    }

    Program watcher;
    QString address;
    QDBusConnection client;
};

TEST(DriverInTheTray, ItsIconRegistersAndItsMenuChoosesTheModeAndTheStartAtLogin)
{
    PrivateBus bus;
    Tray tray(bus);
    QTemporaryDir config;
    QProcessEnvironment env = on(bus);
    env.insert("XDG_CONFIG_HOME", config.path());
    DriverRun d({"--hidden"}, {}, env);
    ASSERT_FALSE(tray.item().isEmpty()) << d.program.err();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 10; }));
    EXPECT_EQ(d.xvfb.x("xdotool", {"search", "--onlyvisible", "--name", "^Lumora Driver 1.2$"}), "") << "hidden in the tray";

    tray.click("RND");
    EXPECT_TRUE(rndRuns(d));
    const QString entry = config.filePath("autostart/net.example.lumora.Driver.desktop");
    tray.click("Запускать при входе");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(entry); }, kBound));
    Program validate("desktop-file-validate", {entry});
    EXPECT_EQ(validate.wait(), 0) << validate.out();
    EXPECT_NE(contents(entry).find("--hidden --mode rnd"), std::string::npos) << contents(entry);
    tray.click("Запускать при входе");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(entry); }, kBound));
    tray.click("Показать окно");
    EXPECT_NE(d.xvfb.x("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Lumora Driver 1.2$"}), "");
    d.stream.clear(); // RND's first ticks are black, as alike as off packets
    tray.click("Выход");
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    d.pty->read(d.stream, 300);
    expectEndsDark(d.stream);
}

} // namespace
} // namespace lumora::test
