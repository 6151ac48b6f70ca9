#include "auto_rig.hpp"

#include <signal.h>
#include <time.h>

#include <QFile>

#include "support/gnome_desktop.hpp"
#include "support/portal_stack.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace lumora::bench {

namespace {

// The driver's controls, in pixels from its window's corner.
const QStringList kAutoButton{"60", "172"}, kStepX{"192", "177"}, kStepY{"192", "193"}, kAutoSet{"172", "228"};

QStringList clickAt(const QString& window, const QStringList& at)
{
    return QStringList{"mousemove", "--window", window} + at + QStringList{"click", "1"};
}

} // namespace

const char* pathName(CapturePath path)
{
    switch (path) {
    case CapturePath::X11: return "x11";
    case CapturePath::Sway: return "sway";
    case CapturePath::Gnome: return "gnome";
    }
    return "?";
}

CapturePath pathNamed(const QString& name)
{
    for (const CapturePath path : {CapturePath::X11, CapturePath::Sway, CapturePath::Gnome})
        if (name == pathName(path))
            return path;
    if (name == "portal")
        return CapturePath::Sway;
    throw std::invalid_argument("unknown capture path " + name.toStdString() + " (x11, sway or portal, gnome)");
}

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

AutoRig::AutoRig(const RigOptions& options)
{
    const bool wayland = options.path != CapturePath::X11;
    const QString size = QString("%1x%2").arg(options.width).arg(options.height);
    if (options.path == CapturePath::Sway) {
        if (const std::string why = test::PortalStack::unavailable(); !why.empty())
            throw std::runtime_error(why);
        desktop_ = std::make_unique<test::PortalStack>(size);
    }
    if (options.path == CapturePath::Gnome) {
        if (const std::string why = test::GnomeDesktop::unavailable(); !why.empty())
            throw std::runtime_error(why);
        auto gnome = std::make_unique<test::GnomeDesktop>(size);
        gnome->keepMonitorChoice(); // nobody answers GNOME's chooser here
        desktop_ = std::move(gnome);
    }
    xvfb_.emplace((wayland ? QString("1920x1080") : size) + "x24");

    const QString link = dir_.filePath("board");
    emulator_.emplace(LUMORA_SIM_PATH, QStringList{"--link", link, "--pace", "--dump-times", "--headless"});
    if (!QTest::qWaitFor([&] { return QFile::exists(link) || !emulator_->running(); }, test::kBound) || !QFile::exists(link))
        throw std::runtime_error("the emulator did not publish its port: " + emulator_->err());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("WAYLAND_DISPLAY");
    env.insert("DISPLAY", xvfb_->display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", dir_.path()); // Qt would make /tmp/runtime-USER otherwise
    QProcessEnvironment animatorEnv = env;
    if (wayland) {
        env.insert(desktop_->clientEnvironment());
        animatorEnv = env;
        animatorEnv.remove("DISPLAY");
        animatorEnv.insert("WAYLAND_DISPLAY", desktop_->waylandDisplay());
        animatorEnv.insert("QT_QPA_PLATFORM", "wayland");
    }
    driver_.emplace(options.driver, QStringList{"--port", link, "--capture", wayland ? "portal" : "x11"}, env);
    const QString window = xvfb_->x("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(driver_->pid()),
                                                "--name", "^Lumora Driver 1.2$"}).section('\n', 0, 0);
    if (window.isEmpty())
        throw std::runtime_error("the driver's window did not show: " + driver_->err());

    // The steps are set before the animator covers the window (on X11 it shares the screen).
    xvfb_->x("xdotool", clickAt(window, kAutoButton));
    if (options.steps > 0) {
        for (const QStringList& box : {kStepX, kStepY})
            xvfb_->x("xdotool", clickAt(window, box) + QStringList{"key", "ctrl+a", "type", QString::number(options.steps)});
        xvfb_->x("xdotool", clickAt(window, kAutoSet));
    }

    animator_.emplace(LUMORA_ANIMATOR_PATH, options.animation, animatorEnv);
    if (!QTest::qWaitFor([&] { return !animator_->out().empty() || !animator_->running(); }, test::kBound) ||
        animator_->out().empty())
        throw std::runtime_error("the animator showed nothing: " + animator_->err());

    if (wayland && !QTest::qWaitFor([&] { return desktop_->screenCastRunning(); }, 30000))
        throw std::runtime_error("the portal's stream did not start: " + driver_->err() + desktop_->logs());
    streamStart_ = monotonicSeconds();
}

std::vector<qint64> AutoRig::desktopPids() const { return desktop_ ? desktop_->pids() : std::vector<qint64>{xvfb_->pid()}; }

std::string AutoRig::stopDriver()
{
    driver_->signal(SIGTERM);
    if (driver_->wait() == -2)
        throw std::runtime_error("the driver did not end on SIGTERM");
    return driver_->err();
}

std::vector<TimedPacket> AutoRig::packets() const
{
    std::vector<TimedPacket> out;
    std::istringstream in(emulator_->out());
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        TimedPacket p{};
        int end = 0;
        if (fields >> p.channel >> p.red >> p.green >> p.blue >> end >> p.seconds)
            out.push_back(p);
    }
    return out;
}

std::vector<TimedColour> AutoRig::colours() const
{
    std::vector<TimedColour> out;
    std::istringstream in(animator_->out());
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        TimedColour c{};
        std::string hex;
        if (fields >> c.seconds >> hex && hex.size() == 6) {
            c.rgb = static_cast<unsigned>(std::stoul(hex, nullptr, 16));
            out.push_back(c);
        }
    }
    return out;
}

} // namespace lumora::bench
