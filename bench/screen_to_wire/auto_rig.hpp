// The driver in AUTO mode reading a moving screen, on any capture path, against the board
// emulator at the real line's speed: on X11 the screen is a private Xvfb that also holds the
// driver's window; on Wayland it is a private headless desktop (sway, or GNOME's mutter) behind the
// desktop portal, and the driver's window lives on an Xvfb of its own. The animator fills the
// screen being read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "statistics.hpp"
#include "support/portal_desktop.hpp"
#include "support/support.hpp"

namespace lumora::bench {

// Sway: headless sway with the portal's wlroots backend; Gnome: headless mutter with GNOME's.
enum class CapturePath { X11, Sway, Gnome };

// "x11", "sway", "gnome".
const char* pathName(CapturePath path);
// The path of a name: pathName's, or "portal" for sway (the name it had before GNOME ran);
// throws std::invalid_argument otherwise.
CapturePath pathNamed(const QString& name);

struct RigOptions {
    CapturePath path = CapturePath::X11;
    int width = 1920;
    int height = 1080;
    int steps = 0;         // both AUTO steps; 0 keeps the defaults
    QStringList animation; // the animator's options, e.g. {"--every-frame"}
    QString driver = LUMORA_DRIVER_PATH; // another build's driver, to compare two in one series
};

// One packet as the emulator read it, stamped on CLOCK_MONOTONIC.
struct TimedPacket {
    double seconds;
    int channel, red, green, blue;
};

// One colour the animator put up, stamped on CLOCK_MONOTONIC.
struct TimedColour {
    double seconds;
    unsigned rgb; // 0xRRGGBB
};

double monotonicSeconds();

class AutoRig {
public:
    // Starts everything and returns once AUTO runs on the moving screen (for the portal, once
    // its stream is up); throws std::runtime_error with the programs' own words otherwise.
    // Needs a QCoreApplication.
    explicit AutoRig(const RigOptions& options);
    // Members end in reverse order: the animator, the driver, the emulator, then the displays and
    // the desktop's daemons, each by its process id; the temporary folder goes last.
    ~AutoRig() = default;

    qint64 driverPid() const { return driver_->pid(); }
    // The display server that is read and, on Wayland, the daemons behind the screen cast.
    std::vector<qint64> desktopPids() const;
    // When the portal's stream started (CLOCK_MONOTONIC seconds); for X11, when AUTO was chosen.
    double streamStart() const { return streamStart_; }
    bool animatorRunning() { return animator_->running(); }

    // Ends the driver as the desktop would (SIGTERM) and returns its standard error.
    std::string stopDriver();

    std::vector<TimedPacket> packets() const;
    std::vector<TimedColour> colours() const;
    // The same as the programs wrote them, to keep for a closer look.
    std::string packetText() const { return emulator_->out(); }
    std::string colourText() const { return animator_->out(); }

private:
    QTemporaryDir dir_;
    std::unique_ptr<test::PortalDesktop> desktop_;
    std::optional<test::Xvfb> xvfb_; // the driver's window; on X11 also the screen that is read
    std::optional<test::Program> emulator_, driver_, animator_;
    double streamStart_ = 0;
};

} // namespace lumora::bench
