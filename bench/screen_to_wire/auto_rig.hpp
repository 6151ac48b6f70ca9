// The driver in AUTO mode reading a moving screen, on either capture path, against the board
// emulator at the real line's speed: on X11 the screen is a private Xvfb that also holds the
// driver's window; on Wayland it is a private headless sway behind the desktop portal, and the
// driver's window lives on an Xvfb of its own. The animator fills the screen being read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "statistics.hpp"
#include "support/portal_stack.hpp"
#include "support/support.hpp"

namespace lumora::bench {

enum class CapturePath { X11, Portal };

const char* pathName(CapturePath path);

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

private:
    QTemporaryDir dir_;
    std::optional<test::PortalStack> stack_;
    std::optional<test::Xvfb> xvfb_; // the driver's window; on X11 also the screen that is read
    std::optional<test::Program> emulator_, driver_, animator_;
    double streamStart_ = 0;
};

} // namespace lumora::bench
