#include "support/portal_stack.hpp"

#include <unistd.h>

#include <QDir>
#include <QFile>

#include <filesystem>
#include <stdexcept>

namespace lumora::test {

namespace {

QString stackDir()
{
    const QString dir = qEnvironmentVariable("LUMORA_STACK_DIR");
    return dir.isEmpty() ? QDir::homePath() + "/.cache/lumora/wayland-stack" : dir;
}

void write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace

std::string PortalStack::unavailable()
{
    QFile status(stackDir() + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return "the headless Wayland desktop was not prepared: run scripts/install-wayland-stack.sh, as make test does";
    const QString line = QString::fromUtf8(status.readLine()).trimmed();
    return line == "ok" ? std::string() : "the headless Wayland desktop is " + line.toStdString();
}

void PortalStack::await(Program& daemon, const char* name, const std::function<bool()>& ready)
{
    if (!QTest::qWaitFor([&] { return !daemon.running() || ready(); }, kBound) || !daemon.running())
        throw std::runtime_error(std::string(name) + " did not start: " + daemon.err() + daemon.out());
}

bool PortalStack::onBus(const QString& name) const
{
    return run("dbus-send", {"--bus=" + bus_, "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus.NameHasOwner", "string:" + name})
        .contains("boolean true");
}

PortalStack::PortalStack(const QString& size) : stackDir_(stackDir())
{
    const QString runtime = dir_.filePath("runtime"), home = dir_.filePath("home");
    for (const QString& sub : {runtime, home, dir_.filePath("state"), dir_.filePath("driver-runtime")})
        QDir().mkpath(sub);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(dir_.filePath("driver-runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A bus that starts nothing by itself (no service folders), so that no stray daemon outlives it.
    write(dir_.filePath("bus.conf"), "<busconfig><type>session</type><listen>unix:dir=" + runtime.toUtf8() +
                                         "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                                         "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                         "</policy></busconfig>\n");
    dbus_.emplace("dbus-daemon", QStringList{"--config-file=" + dir_.filePath("bus.conf"), "--nofork", "--nopidfile", "--print-address"});
    await(*dbus_, "the session bus", [&] { return !(bus_ = QString::fromStdString(dbus_->out()).trimmed()).isEmpty(); });

    // sway refuses to run as root; it runs as "nobody" then, in a folder of its own.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && ::chown(swayDir_.path().toLocal8Bit().constData(), 65534, 65534) != 0)
        throw std::runtime_error("cannot give sway's runtime folder to its user");
    write(swayDir_.filePath("config"),
          "xwayland disable\noutput HEADLESS-1 resolution " + size.toUtf8() + " bg #000000 solid_color\n");
    QFile::setPermissions(swayDir_.filePath("config"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QProcessEnvironment swayEnv = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        swayEnv.remove(name);
    for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", swayDir_.path()}, {"HOME", swayDir_.path()},
                                      {"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}})
        swayEnv.insert(name, value);
    const QStringList swayArgs{"sway", "-c", swayDir_.filePath("config")};
    sway_.emplace(asRoot ? "setpriv" : "sway",
                  asRoot ? QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + swayArgs : swayArgs.mid(1), swayEnv);
    const auto socket = [&] {
        for (const QString& name : QDir(swayDir_.path()).entryList({"sway-ipc.*"}, QDir::System))
            if (QFile::exists(swayDir_.filePath("wayland-1")))
                return swayDir_.filePath(name);
        return QString();
    };
    await(*sway_, "sway", [&] { return !socket().isEmpty(); });

    env_ = QProcessEnvironment::systemEnvironment();
    env_.remove("DISPLAY");
    for (const auto& [name, value] : {std::pair{"DBUS_SESSION_BUS_ADDRESS", bus_}, {"XDG_RUNTIME_DIR", runtime}, {"HOME", home},
                                      {"XDG_CONFIG_HOME", home + "/.config"}, {"XDG_DATA_HOME", home + "/.local/share"},
                                      {"XDG_STATE_HOME", home + "/.local/state"}, {"XDG_CURRENT_DESKTOP", "sway"},
                                      {"WAYLAND_DISPLAY", swayDir_.filePath("wayland-1")}, {"SWAYSOCK", socket()}})
        env_.insert(name, value);
    pipewire_.emplace("pipewire", QStringList{}, env_);
    await(*pipewire_, "pipewire", [&] { return QFile::exists(runtime + "/pipewire-0"); });
    wireplumber_.emplace("wireplumber", QStringList{}, env_);
    // The session manager links the screen's node to its readers once it has exported itself.
    await(*wireplumber_, "wireplumber", [&] { return run("pw-cli", {"ls", "Client"}, env_).contains("WirePlumber [export]"); });
    permissions_.emplace("/usr/libexec/xdg-permission-store", QStringList{"--replace"}, env_);
    startBackend();
    QProcessEnvironment portalEnv = env_;
    portalEnv.insert("XDG_DESKTOP_PORTAL_DIR", stackDir_ + "/portals");
    portal_.emplace("/usr/libexec/xdg-desktop-portal", QStringList{"--replace", "--verbose"}, portalEnv);
    await(*portal_, "xdg-desktop-portal", [&] { return onBus("org.freedesktop.portal.Desktop"); });
}

PortalStack::~PortalStack()
{
    // Readers first, the compositor and the bus last.
    portal_.reset(), backend_.reset(), permissions_.reset(), wireplumber_.reset(), pipewire_.reset(), sway_.reset();
    dbus_.reset();
}

QProcessEnvironment PortalStack::clientEnvironment() const
{
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus_);
    env.insert("XDG_RUNTIME_DIR", dir_.filePath("driver-runtime"));
    env.insert("XDG_STATE_HOME", dir_.filePath("state"));
    return env;
}

std::vector<qint64> PortalStack::pids() const
{
    return {sway_->pid(), pipewire_->pid(), wireplumber_->pid(), permissions_->pid(), portal_->pid(), backend_->pid()};
}

void PortalStack::setBackground(const QString& colour)
{
    if (!run("swaymsg", {"-r", "-s", env_.value("SWAYSOCK"), "output", "HEADLESS-1", "bg", colour, "solid_color"}).contains("true"))
        throw std::runtime_error("swaymsg could not set the background to " + colour.toStdString());
}

void PortalStack::startBackend()
{
    write(dir_.filePath("xdpw.conf"), "[screencast]\noutput_name=HEADLESS-1\nchooser_type=none\n");
    backend_ = std::make_unique<Program>(stackDir_ + "/xdpw/xdg-desktop-portal-wlr",
                                         QStringList{"-c", dir_.filePath("xdpw.conf"), "-l", "INFO", "-r"}, env_);
    await(*backend_, "xdg-desktop-portal-wlr", [&] { return onBus("org.freedesktop.impl.portal.desktop.wlr"); });
}

std::string PortalStack::logs() const
{
    std::string all;
    for (const auto& [name, p] : {std::pair{"sway", &sway_}, {"pipewire", &pipewire_}, {"wireplumber", &wireplumber_}, {"portal", &portal_}})
        all += std::string("--- ") + name + ":\n" + (*p ? (*p)->err().substr(0, 3000) : "") + "\n";
    return all + "--- backend:\n" + backendLog().substr(0, 3000);
}

} // namespace lumora::test
