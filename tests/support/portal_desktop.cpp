#include "support/portal_desktop.hpp"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <stdexcept>

namespace lumora::test {

namespace {

constexpr QFile::Permissions kPrivate = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

QString stackDir()
{
    const QString dir = qEnvironmentVariable("LUMORA_STACK_DIR");
    return dir.isEmpty() ? QDir::homePath() + "/.cache/lumora/wayland-stack" : dir;
}

std::string desktopUnavailable(const QString& status, const char* desktop)
{
    QFile f(stackDir() + "/" + status);
    if (!f.open(QIODevice::ReadOnly))
        return std::string("the headless ") + desktop + " desktop was not prepared: run scripts/install-wayland-stack.sh, as make test does";
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    return line == "ok" ? std::string() : std::string("the headless ") + desktop + " desktop is " + line.toStdString();
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void PortalDesktop::await(Program& daemon, const char* name, const std::function<bool()>& ready)
{
    if (!QTest::qWaitFor([&] { return !daemon.running() || ready(); }, kBound) || !daemon.running())
        throw std::runtime_error(std::string(name) + " did not start: " + daemon.err() + daemon.out());
}

bool PortalDesktop::onBus(const QString& name) const
{
    return run("dbus-send", {"--bus=" + bus_->address(), "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus.NameHasOwner", "string:" + name})
        .contains("boolean true");
}

PortalDesktop::PortalDesktop(const QString& desktop)
{
    const QString runtime = dir_.filePath("runtime"), home = dir_.filePath("home");
    for (const QString& sub : {runtime, home, dir_.filePath("state"), dir_.filePath("driver-runtime")})
        QDir().mkpath(sub);
    QFile::setPermissions(runtime, kPrivate);
    QFile::setPermissions(dir_.filePath("driver-runtime"), kPrivate);

    bus_.emplace(); // starts nothing by itself, so that no stray daemon outlives it

    env_ = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
        env_.remove(name);
    for (const auto& [name, value] : {std::pair{"DBUS_SESSION_BUS_ADDRESS", bus_->address()}, {"XDG_RUNTIME_DIR", runtime}, {"HOME", home},
                                      {"XDG_CONFIG_HOME", home + "/.config"}, {"XDG_DATA_HOME", home + "/.local/share"},
                                      {"XDG_STATE_HOME", home + "/.local/state"}, {"XDG_CACHE_HOME", home + "/.cache"},
                                      {"XDG_CURRENT_DESKTOP", desktop}, {"XDG_SESSION_TYPE", "wayland"}})
        env_.insert(name, value);
    pipewire_.emplace("pipewire", QStringList{}, env_);
    await(*pipewire_, "pipewire", [&] { return QFile::exists(runtime + "/pipewire-0"); });
    wireplumber_.emplace("wireplumber", QStringList{}, env_);
    // The session manager links the screen's node to its readers once it has exported itself.
    await(*wireplumber_, "wireplumber", [&] { return run("pw-cli", {"ls", "Client"}, env_).contains("WirePlumber [export]"); });
    permissions_.emplace("/usr/libexec/xdg-permission-store", QStringList{"--replace"}, env_);
    await(*permissions_, "xdg-permission-store", [&] { return onBus("org.freedesktop.impl.portal.PermissionStore"); });
}

PortalDesktop::~PortalDesktop() { stop(); }

void PortalDesktop::stop()
{
    // Clients and readers first, the compositor and the bus last.
    painter_.reset(), portal_.reset(), backend_.reset(), permissions_.reset(), wireplumber_.reset(), pipewire_.reset(), compositor_.reset();
    bus_.reset();
}

void PortalDesktop::setBackground(const QString& colour)
{
    painter_.reset(); // a new window may open below one that has the focus
    QProcessEnvironment env = env_;
    env.insert("QT_QPA_PLATFORM", "wayland");
    painter_ = std::make_unique<Program>(LUMORA_PAINTER_PATH, QStringList{colour}, env);
    await(*painter_, "the painter", [&] { return painter_->out().find("painted") != std::string::npos; });
}

void PortalDesktop::startPortal(const QString& portalsDir)
{
    QProcessEnvironment portalEnv = env_;
    if (!portalsDir.isEmpty())
        portalEnv.insert("XDG_DESKTOP_PORTAL_DIR", portalsDir);
    portal_.emplace("/usr/libexec/xdg-desktop-portal", QStringList{"--replace", "--verbose"}, portalEnv);
    await(*portal_, "xdg-desktop-portal", [&] { return onBus("org.freedesktop.portal.Desktop"); });
}

void PortalDesktop::runBackend(const QString& program, const QStringList& args, const QString& busName,
                               const QProcessEnvironment& env)
{
    startBackend_ = [=, this] {
        backend_ = std::make_unique<Program>(program, args, env);
        await(*backend_, busName.toUtf8().constData(), [&] { return onBus(busName); });
    };
    startBackend();
}

void PortalDesktop::keepScreenCastChoice(const QString& restoreData) const
{
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (run("gdbus", {"call", "--session", "--dest", "org.freedesktop.impl.portal.PermissionStore", "--object-path",
                      "/org/freedesktop/impl/portal/PermissionStore", "--method", "org.freedesktop.impl.portal.PermissionStore.Set",
                      "screencast", "true", token, "{'': ['yes']}", "<" + restoreData + ">"},
            env_)
            .isEmpty())
        throw std::runtime_error("the permission store did not keep the restore data " + restoreData.toStdString());
    // Where the driver keeps its token: $XDG_STATE_HOME/lumora-driver.
    QDir().mkpath(dir_.filePath("state/lumora-driver"));
    writeFile(dir_.filePath("state/lumora-driver/screencast-restore-token"), token.toUtf8() + "\n");
}

QProcessEnvironment PortalDesktop::clientEnvironment() const
{
    QProcessEnvironment env;
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus_->address());
    env.insert("XDG_RUNTIME_DIR", dir_.filePath("driver-runtime"));
    env.insert("XDG_STATE_HOME", dir_.filePath("state"));
    return env;
}

std::vector<qint64> PortalDesktop::pids() const
{
    return {compositor_->pid(), pipewire_->pid(), wireplumber_->pid(), permissions_->pid(), portal_->pid(), backend_->pid()};
}

int PortalDesktop::screenCasts() const
{
    // PipeWire always has its driver nodes: an empty list means pw-cli could not ask.
    const QString nodes = run("pw-cli", {"ls", "Node"}, env_);
    if (nodes.isEmpty())
        throw std::runtime_error("pw-cli could not list PipeWire's nodes");
    // A backend's screen cast is a video source (sway's) or a video stream that it puts out (mutter's).
    return static_cast<int>(nodes.count("\"Video/Source\"") + nodes.count("\"Stream/Output/Video\""));
}

bool PortalDesktop::screenCastRunning() const
{
    const QJsonArray objects = QJsonDocument::fromJson(run("pw-dump", {}, env_).toUtf8()).array();
    for (const QJsonValue& object : objects) {
        const QJsonObject info = object["info"].toObject();
        if (info["props"]["media.class"] == "Stream/Input/Video" && info["state"] == "running")
            return true;
    }
    return false;
}

std::string PortalDesktop::logs() const
{
    std::string all;
    for (const auto& [name, p] : {std::pair{"compositor", &compositor_}, {"pipewire", &pipewire_}, {"wireplumber", &wireplumber_}, {"portal", &portal_}})
        all += std::string("--- ") + name + ":\n" + (*p ? (*p)->err().substr(0, 3000) : "") + "\n";
    return all + "--- backend:\n" + backendLog().substr(0, 3000);
}

} // namespace lumora::test
