// The driver as the rest of the desktop reaches it, on a private session bus: one driver per bus
// (a second start hands over and ends), its bus interface on the wire, and its tray icon, which a
// real StatusNotifierWatcher on the bus takes in.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QRegularExpression>

#include <filesystem>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

const char* const kName = "net.example.lumora.Driver";
const char* const kPath = "/net/example/lumora/Driver";
const char* const kInterface = "net.example.lumora.Driver1";

QProcessEnvironment on(const PrivateBus& bus, const QString& config = {})
{
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    if (!config.isEmpty())
        env.insert("XDG_CONFIG_HOME", config);
    return env;
}

QDBusMessage call(QDBusConnection& bus, const char* method, const QVariantList& args, const char* interface = kInterface)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kName, kPath, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, kBound);
}

// A tick's zone colours as they stand on the wire: FIXED sends the sliders' colours every tick.
bool ticksShow(DriverRun& d, int keyboard, const Zones& zones)
{
    return d.readUntil([&] {
        const auto all = d.sent();
        return all.size() >= 4 && all[all.size() - 4] == Bytes{3, 0, static_cast<std::uint8_t>(keyboard), 0, 13} && d.lastTick() == zones;
    });
}

TEST(DriverOnTheBus, MethodsChangeTheWireAsClicksWouldAndBadArgumentsChangeNothing)
{
    PrivateBus bus;
    QDBusConnection client = bus.connect();
    DriverRun d({}, {}, on(bus));
    d.window();
    Program monitor("dbus-monitor", {"--address", bus.address(), "type='signal',interface='org.freedesktop.DBus.Properties'"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.out().find("NameLost") != std::string::npos; }, kBound)) << "the monitor listens";

    EXPECT_EQ(call(client, "SetMode", {"fixed"}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(client, "SetFixedColour", {3, QVariant::fromValue(uchar{200}), QVariant::fromValue(uchar{100}), QVariant::fromValue(uchar{13})}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(client, "SetFixedColour", {1, QVariant::fromValue(uchar{1}), QVariant::fromValue(uchar{2}), QVariant::fromValue(uchar{3})}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(client, "SetKeyboardLevel", {QVariant::fromValue(uchar{50})}).type(), QDBusMessage::ReplyMessage);
    const Zones set{{{200, 100, 13}, {1, 2, 3}, {200, 100, 13}}};
    ASSERT_TRUE(ticksShow(d, 50, set)) << d.lastTickText();
    // The window shows what was chosen: its FIXED page is up, as after a click on FIXED.
    EXPECT_NE(d.xvfb.x("xdotool", {"search", "--onlyvisible", "--name", "^Lumora Driver 1.2$"}), "");

    const std::tuple<const char*, QVariantList> refused[] = {
        {"SetMode", {"purple"}}, {"SetFixedColour", {7, QVariant::fromValue(uchar{9}), QVariant::fromValue(uchar{9}), QVariant::fromValue(uchar{9})}},
        {"SetFixedColour", {-1, QVariant::fromValue(uchar{9}), QVariant::fromValue(uchar{9}), QVariant::fromValue(uchar{9})}}};
    for (const auto& [method, args] : refused) {
        SCOPED_TRACE(method);
        const QDBusMessage reply = call(client, method, args);
        EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs") << reply.errorMessage().toStdString();
    }
    d.stream.clear();
    EXPECT_TRUE(ticksShow(d, 50, set)) << "a refused call changed the wire: " << d.lastTickText();

    const QDBusMessage zones = call(client, "Get", {kInterface, "Zones"}, "org.freedesktop.DBus.Properties");
    EXPECT_EQ(zones.type(), QDBusMessage::ReplyMessage) << zones.errorMessage().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.out().find("\"fixed\"") != std::string::npos; }, kBound)) << monitor.out();
    EXPECT_NE(monitor.out().find("PropertiesChanged"), std::string::npos);
    EXPECT_NE(monitor.out().find("KeyboardLevel"), std::string::npos) << monitor.out();

    EXPECT_EQ(call(client, "SetMode", {"off"}).type(), QDBusMessage::ReplyMessage);
    d.program.signal(SIGTERM);
    EXPECT_EQ(d.program.wait(), 0);
}

TEST(DriverOnTheBus, ASecondStartHandsItsModeToTheFirstShowsItsWindowAndEnds)
{
    PrivateBus bus;
    // Hidden, where there is no tray: the window shows all the same.
    DriverRun d({"--hidden"}, {}, on(bus));
    d.window();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", d.xvfb.display());
    env.insert(on(bus));
    Program second(LUMORA_DRIVER_PATH, {"--mode", "rnd"}, env);
    EXPECT_EQ(second.wait(), 0) << second.err();
    EXPECT_TRUE(d.readUntil([&] { return !d.sent().empty() && d.sent().back()[0] == 2 && d.sent().back()[1] > 0; })) << "RND runs";
    EXPECT_EQ(d.xvfb.x("xdotool", {"search", "--name", "^Lumora Driver 1.2$"}).trimmed().count('\n'), 0) << "one window";
    EXPECT_TRUE(d.program.running());
    // Without a session bus each start runs on its own: this one finds the port taken.
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    Program alone(LUMORA_DRIVER_PATH, {"--port", QString::fromStdString(d.pty->path())}, env);
    EXPECT_TRUE(QTest::qWaitFor([&] { return alone.err().find("in use") != std::string::npos; }, kBound)) << alone.err();
}

// A real StatusNotifierWatcher, with the test as the tray that shows the items.
struct Tray {
    explicit Tray(PrivateBus& bus) : watcher("status-notifier-watcher", {}, [&] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(on(bus));
        return env;
    }())
    {
        client = bus.connect();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            QDBusMessage host = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                               "org.kde.StatusNotifierWatcher", "RegisterStatusNotifierHost");
            host.setArguments({"org.kde.StatusNotifierHost-lumora-test"});
            return client.call(host, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage;
        }, kBound)) << watcher.err();
    }
    // The bus name of the first item registered, once there is one.
    QString item()
    {
        QString name;
        (void)QTest::qWaitFor([&] {
            QDBusMessage get = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                              "org.freedesktop.DBus.Properties", "Get");
            get.setArguments({"org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
            const QStringList items = client.call(get, QDBus::Block, 1000).arguments().value(0).value<QDBusVariant>().variant().toStringList();
            return !(name = items.value(0)).isEmpty();
        }, kBound);
        return name;
    }
    // Clicks the menu entry of this label, as the tray would.
    void click(const QString& address, const QString& label)
    {
        const QString layout = run("gdbus", {"call", "--address", address, "-d", item(), "-o", "/MenuBar", "-m",
                                             "com.canonical.dbusmenu.GetLayout", "0", "--", "-1", "[]"});
        const auto match = QRegularExpression("\\((\\d+), \\{[^}]*'label': <'" + label + "'>").match(layout);
        ASSERT_TRUE(match.hasMatch()) << layout.toStdString();
        run("gdbus", {"call", "--address", address, "-d", item(), "-o", "/MenuBar", "-m", "com.canonical.dbusmenu.Event",
                      match.captured(1), "clicked", "<0>", "0"});
    }

    Program watcher;
    QDBusConnection client{QString()};
};

TEST(DriverInTheTray, ItsIconRegistersAndItsMenuChoosesTheModeAndTheStartAtLogin)
{
    PrivateBus bus;
    Tray tray(bus);
    QTemporaryDir config;
    DriverRun d({"--hidden"}, {}, on(bus, config.path()));
    ASSERT_FALSE(tray.item().isEmpty()) << d.program.err();
    ASSERT_TRUE(d.readUntil([&] { return d.count() >= 10; }));
    EXPECT_EQ(d.xvfb.x("xdotool", {"search", "--onlyvisible", "--name", "^Lumora Driver 1.2$"}), "") << "hidden in the tray";

    tray.click(bus.address(), "RND");
    EXPECT_TRUE(d.readUntil([&] { return !d.sent().empty() && d.sent().back()[0] == 2 && d.sent().back()[1] > 0; })) << "RND runs";
    const QString entry = config.filePath("autostart/net.example.lumora.Driver.desktop");
    tray.click(bus.address(), "Запускать при входе");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(entry); }, kBound));
    Program validate("desktop-file-validate", {entry});
    EXPECT_EQ(validate.wait(), 0) << validate.out();
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("--hidden --mode rnd"));
    tray.click(bus.address(), "Запускать при входе");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(entry); }, kBound));
    tray.click(bus.address(), "Показать окно");
    EXPECT_NE(d.xvfb.x("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Lumora Driver 1.2$"}), "");
    d.stream.clear(); // RND's first ticks are black, as alike as off packets
    tray.click(bus.address(), "Выход");
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    d.pty->read(d.stream, 300);
    expectEndsDark(d.stream);
}

} // namespace
} // namespace lumora::test
