#include "auto_rig.hpp"

#include <signal.h>
#include <time.h>

#include <QFile>

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

const char* pathName(CapturePath path) { return path == CapturePath::X11 ? "x11" : "portal"; }

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

AutoRig::AutoRig(const RigOptions& options)
{
    const bool portal = options.path == CapturePath::Portal;
    const QString size = QString("%1x%2").arg(options.width).arg(options.height);
    if (portal) {
        if (const std::string why = test::PortalStack::unavailable(); !why.empty())
            throw std::runtime_error(why);
        stack_.emplace(size);
    }
    xvfb_.emplace((portal ? QString("1920x1080") : size) + "x24");

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
    if (portal) {
        env.insert(stack_->clientEnvironment());
        animatorEnv = env;
        animatorEnv.remove("DISPLAY");
        animatorEnv.insert("WAYLAND_DISPLAY", stack_->waylandDisplay());
        animatorEnv.insert("QT_QPA_PLATFORM", "wayland");
    }
    driver_.emplace(options.driver, QStringList{"--port", link, "--capture", portal ? "portal" : "x11"}, env);
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

    const auto streaming = [&] { return stack_->backendLog().find("stream state changed to \"streaming\"") != std::string::npos; };
    if (portal && !QTest::qWaitFor(streaming, 30000))
        throw std::runtime_error("the portal's stream did not start: " + driver_->err() + stack_->logs());
    streamStart_ = monotonicSeconds();
}

std::vector<qint64> AutoRig::desktopPids() const { return stack_ ? stack_->pids() : std::vector<qint64>{xvfb_->pid()}; }

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
