#include "support/gnome_desktop.hpp"

namespace lumora::test {

GnomeDesktop::GnomeDesktop(const QString& size) : PortalDesktop("GNOME")
{
    env_.insert("GSETTINGS_BACKEND", "memory"); // no dconf daemon on the private bus
    compositor_.emplace("mutter", QStringList{"--headless", "--virtual-monitor", size, "--wayland", "--no-x11",
                                              "--wayland-display=wayland-gnome"},
                        env_);
    await(*compositor_, "mutter", [&] { return onBus("org.gnome.Mutter.ScreenCast"); });
    env_.insert("WAYLAND_DISPLAY", "wayland-gnome");
    runBackend("/usr/libexec/xdg-desktop-portal-gnome", {"--verbose"}, "org.freedesktop.impl.portal.desktop.gnome", env_);
    startPortal();
}

void GnomeDesktop::keepMonitorChoice() const
{
    // xdg-desktop-portal-gnome 43 restores (created, last used, [(stream, source type 1 = monitor,
    // the monitor's match string)]) for the session type "GNOME", version 1. The match string is
    // "vendor:product:serial", which mutter 43 gives its first virtual monitor as below.
    keepScreenCastChoice("('GNOME', uint32 1, <(int64 0, int64 0, [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:0x00'>)])>)");
}

} // namespace lumora::test
