#include "portal_stack.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace lumora::test {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// sway refuses to run as root; it runs as "nobody" then.
constexpr uid_t kUnprivileged = 65534;

std::string stackDir()
{
    if (const char* d = std::getenv("LUMORA_STACK_DIR"); d && *d)
        return d;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/root") + "/.cache/lumora/wayland-stack";
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// Runs a short command to its end; returns its standard output, or nullopt if it failed.
std::optional<std::string> run(const std::vector<std::string>& argv, const Environment& env)
{
    Process p = Process::start(argv, env);
    return p.wait(10s) == 0 ? std::optional(p.output()) : std::nullopt;
}

std::string tail(const std::string& text, std::size_t n = 1500)
{
    return text.size() <= n ? text : "..." + text.substr(text.size() - n);
}

// Waits until `ready` holds; throws with the daemon's own words if it ends first or the bound passes.
void awaitStart(Process& daemon, const std::string& name, const std::function<bool()>& ready)
{
    if (!waitFor([&] { return ready() || !daemon.running(); }, 20s) || !daemon.running())
        throw std::runtime_error(name + " did not start: " + tail(daemon.errorOutput() + daemon.output()));
}

} // namespace

std::string portalStackUnavailable(bool busOnly)
{
    std::vector<std::string> programs{"dbus-daemon", "dbus-send"};
    if (!busOnly) {
        const std::string status = stackDir() + "/status";
        std::ifstream in(status);
        std::string line;
        if (!std::getline(in, line))
            return "the headless Wayland desktop was not prepared (" + status +
                   " is missing): run scripts/install-wayland-stack.sh, as make test does";
        if (line != "ok")
            return "the headless Wayland desktop is " + line; // "unavailable: why"
        programs.insert(programs.end(), {"sway", "swaybg", "swaymsg", "pipewire", "wireplumber", "pw-cli",
                                         "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-permission-store"});
        if (::geteuid() == 0)
            programs.emplace_back("setpriv");
    }
    for (const auto& p : programs)
        if (!run({"sh", "-c", "command -v " + p}, {}))
            return p + " is missing (make test installs it)";
    return {};
}

SessionBus::SessionBus(const std::string& folder)
{
    const std::string socket = folder + "/bus";
    const std::string config = folder + "/bus.conf";
    // Any user may connect: the compositor may run as another user than its clients.
    writeFile(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>unix:path=" + socket + "</listen>"
              "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
              "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
              "</policy></busconfig>\n");
    process_ = Process::start({"dbus-daemon", "--config-file=" + config, "--nofork", "--nopidfile"});
    address_ = "unix:path=" + socket;
    awaitStart(process_, "the session bus", [&] { return hasOwner("org.freedesktop.DBus"); });
}

bool SessionBus::hasOwner(const std::string& name) const
{
    const auto reply = run({"dbus-send", "--bus=" + address_, "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name},
                           {});
    return reply && reply->find("boolean true") != std::string::npos;
}

PortalStack::PortalStack() : dir_(tempDir()), stackDir_(stackDir())
{
    runtime_ = dir_ + "/runtime";
    for (const char* sub : {"/runtime", "/home", "/state", "/driver-runtime"})
        fs::create_directory(dir_ + sub);
    for (const char* sub : {"/runtime", "/driver-runtime"})
        ::chmod((dir_ + sub).c_str(), 0700);

    // sway's folder lies outside the test's private one, which its user could not enter.
    std::string pattern = "/tmp/lumora-sway-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make sway's runtime folder");
    swayDir_ = pattern;
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && ::chown(swayDir_.c_str(), kUnprivileged, kUnprivileged) != 0)
        throw std::runtime_error("cannot give sway's runtime folder to its user");
    writeFile(swayDir_ + "/config", "xwayland disable\noutput HEADLESS-1 resolution " + std::to_string(kWidth) + "x" +
                                        std::to_string(kHeight) + " bg #000000 solid_color\n");
    ::chmod((swayDir_ + "/config").c_str(), 0644);

    bus_.emplace(runtime_);

    std::vector<std::string> swayArgs{"sway", "-c", swayDir_ + "/config"};
    if (asRoot)
        swayArgs.insert(swayArgs.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    sway_ = Process::start(swayArgs, {{"XDG_RUNTIME_DIR", swayDir_}, {"HOME", swayDir_},
                                      {"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                      {"WLR_RENDERER", "pixman"}, {"WAYLAND_DISPLAY", std::nullopt},
                                      {"DISPLAY", std::nullopt}, {"DBUS_SESSION_BUS_ADDRESS", std::nullopt}});
    awaitStart(sway_, "sway", [&] { return !swaySocket().empty(); });

    const Environment env = daemonEnvironment();
    pipewire_ = Process::start({"pipewire"}, env);
    awaitStart(pipewire_, "pipewire", [&] { return fs::exists(runtime_ + "/pipewire-0"); });
    wireplumber_ = Process::start({"wireplumber"}, env);
    // The session manager links the screen's node to its readers once it has exported itself.
    awaitStart(wireplumber_, "wireplumber", [&] {
        const auto clients = run({"pw-cli", "ls", "Client"}, env);
        return clients && clients->find("WirePlumber [export]") != std::string::npos;
    });

    permissions_ = Process::start({"/usr/libexec/xdg-permission-store", "--replace"}, env);
    startBackend();
    Environment portalEnv = env;
    portalEnv["XDG_DESKTOP_PORTAL_DIR"] = stackDir_ + "/portals";
    portal_ = Process::start({"/usr/libexec/xdg-desktop-portal", "--replace", "--verbose"}, portalEnv);
    awaitStart(portal_, "xdg-desktop-portal", [&] { return bus_->hasOwner("org.freedesktop.portal.Desktop"); });
}

PortalStack::~PortalStack()
{
    // Readers first, the compositor and the bus last; each by its process id (and group).
    for (Process* p : {&portal_, &backend_, &permissions_, &wireplumber_, &pipewire_, &sway_})
        p->kill();
    bus_.reset();
    std::error_code ignored;
    fs::remove_all(swayDir_, ignored);
    fs::remove_all(dir_, ignored);
}

Environment PortalStack::daemonEnvironment() const
{
    return {{"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
            {"XDG_RUNTIME_DIR", runtime_},
            {"HOME", dir_ + "/home"},
            {"XDG_CONFIG_HOME", dir_ + "/home/.config"},
            {"XDG_DATA_HOME", dir_ + "/home/.local/share"},
            {"XDG_STATE_HOME", dir_ + "/home/.local/state"},
            {"XDG_CURRENT_DESKTOP", "sway"},
            {"WAYLAND_DISPLAY", swayDir_ + "/wayland-1"},
            {"DISPLAY", std::nullopt},
            {"SWAYSOCK", swaySocket()}};
}

Environment PortalStack::clientEnvironment() const
{
    return {{"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
            {"XDG_RUNTIME_DIR", dir_ + "/driver-runtime"},
            {"XDG_STATE_HOME", dir_ + "/state"},
            {"WAYLAND_DISPLAY", std::nullopt}};
}

std::string PortalStack::swaySocket() const
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(swayDir_, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("sway-ipc.", 0) == 0 && fs::exists(swayDir_ + "/wayland-1"))
            return e.path().string();
    }
    return {};
}

void PortalStack::setBackground(const std::string& hex)
{
    if (!run({"swaymsg", "-s", swaySocket(), "output", "HEADLESS-1", "bg", hex, "solid_color"}, {}))
        throw std::runtime_error("swaymsg could not set the background to " + hex);
}

void PortalStack::stopBackend() { backend_.kill(); }

void PortalStack::startBackend(bool refusing)
{
    const std::string config = dir_ + "/xdpw.conf";
    writeFile(config, refusing ? "[screencast]\nchooser_type=simple\nchooser_cmd=false\n"
                               : "[screencast]\noutput_name=HEADLESS-1\nchooser_type=none\n");
    backend_ = Process::start({stackDir_ + "/xdpw/xdg-desktop-portal-wlr", "-c", config, "-l", "INFO", "-r"},
                              daemonEnvironment());
    awaitStart(backend_, "xdg-desktop-portal-wlr", [&] { return bus_->hasOwner("org.freedesktop.impl.portal.desktop.wlr"); });
}

bool PortalStack::backendStreaming() const
{
    return backendLog().find("stream state changed to \"streaming\"") != std::string::npos;
}

std::string PortalStack::logs() const
{
    return "--- sway:\n" + tail(sway_.errorOutput()) + "\n--- pipewire:\n" + tail(pipewire_.errorOutput()) +
           "\n--- wireplumber:\n" + tail(wireplumber_.errorOutput()) + "\n--- portal:\n" +
           tail(portal_.errorOutput()) + "\n--- backend:\n" + tail(backendLog());
}

} // namespace lumora::test
