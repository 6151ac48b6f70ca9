#include "support/portal_stack.hpp"

#include <unistd.h>

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace lumora::test {

PortalStack::PortalStack(const QString& size) : PortalDesktop("sway")
{
    // sway refuses to run as root; it runs as "nobody" then, in a folder of its own.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && ::chown(swayDir_.path().toLocal8Bit().constData(), 65534, 65534) != 0)
        throw std::runtime_error("cannot give sway's runtime folder to its user");
    writeFile(swayDir_.filePath("config"), "xwayland disable\noutput HEADLESS-1 resolution " + size.toUtf8() + " bg #000000 solid_color\n");
    QFile::setPermissions(swayDir_.filePath("config"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QProcessEnvironment swayEnv = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        swayEnv.remove(name);
    for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", swayDir_.path()}, {"HOME", swayDir_.path()},
                                      {"WLR_BACKENDS", "headless"}, {"WLR_LIBINPUT_NO_DEVICES", "1"}, {"WLR_RENDERER", "pixman"}})
        swayEnv.insert(name, value);
    const QStringList swayArgs{"sway", "-c", swayDir_.filePath("config")};
    compositor_.emplace(asRoot ? "setpriv" : "sway",
                        asRoot ? QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + swayArgs : swayArgs.mid(1), swayEnv);
    // sway opens its control socket once its display is up.
    await(*compositor_, "sway", [&] { return !QDir(swayDir_.path()).entryList({"sway-ipc.*"}, QDir::System).isEmpty(); });
    env_.insert("WAYLAND_DISPLAY", swayDir_.filePath("wayland-1"));
    writeFile(dir_.filePath("xdpw.conf"), "[screencast]\noutput_name=HEADLESS-1\nchooser_type=none\n");
    runBackend(stackDir() + "/xdpw/xdg-desktop-portal-wlr", {"-c", dir_.filePath("xdpw.conf"), "-l", "INFO", "-r"},
               "org.freedesktop.impl.portal.desktop.wlr", env_);
    startPortal(stackDir() + "/portals");
}

} // namespace lumora::test
