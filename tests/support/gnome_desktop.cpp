#include "support/gnome_desktop.hpp"

#include <QRegularExpression>

#include <stdexcept>

namespace lumora::test {

GnomeDesktop::GnomeDesktop(const QString& size) : PortalDesktop("GNOME")
{
    env_.insert("GSETTINGS_BACKEND", "memory"); // no dconf daemon on the private bus
    compositor_.emplace("mutter", QStringList{"--headless", "--virtual-monitor", size, "--wayland", "--no-x11",
                                              "--wayland-display=wayland-gnome"},
                        env_);
    await(*compositor_, "mutter", [&] { return onBus("org.gnome.Mutter.ScreenCast") && onBus("org.gnome.Mutter.DisplayConfig"); });
    env_.insert("WAYLAND_DISPLAY", "wayland-gnome");

    // The monitor's connector, vendor, product and serial come first in the display state.
    const QString state = run("gdbus", {"call", "--session", "--dest", "org.gnome.Mutter.DisplayConfig", "--object-path",
                                        "/org/gnome/Mutter/DisplayConfig", "--method", "org.gnome.Mutter.DisplayConfig.GetCurrentState"},
                              env_);
    const QRegularExpressionMatch m = QRegularExpression(R"(\[\(\('[^']*', '([^']*)', '([^']*)', '([^']*)'\))").match(state);
    if (!m.hasMatch())
        throw std::runtime_error("mutter did not describe its monitor: " + state.toStdString());
    monitor_ = m.captured(1) + ":" + m.captured(2) + ":" + m.captured(3);

    startBackend();
    startPortal();
    startPainter();
}

void GnomeDesktop::startBackend()
{
    runBackend("/usr/libexec/xdg-desktop-portal-gnome", {"--verbose"}, "org.freedesktop.impl.portal.desktop.gnome", env_);
}

QString GnomeDesktop::keepMonitorChoice() const
{
    // xdg-desktop-portal-gnome 43 restores (created, last used, [(stream, source type 1 = monitor,
    // the monitor's match string)]) for the session type "GNOME", version 1.
    return keepScreenCastChoice("('GNOME', uint32 1, <(int64 0, int64 0, [(uint32 0, uint32 1, <'" + monitor_ + "'>)])>)");
}

} // namespace lumora::test
