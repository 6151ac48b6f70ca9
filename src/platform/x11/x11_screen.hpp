// The screen of an X11 display (also XWayland): a capture's sampled lines are gathered by the
// server and read with one image request, through shared memory where it can be.
#pragma once

#include "platform/x11/x11_system_calls.hpp"
#include "sampling/screen.hpp"

#include <memory>
#include <string>

namespace lumora {

class X11Screen final : public Screen {
public:
    // Connects to `displayName`, or to $DISPLAY when it is empty, and reads the RandR monitor
    // named `monitor` (as `xrandr --listmonitors` names it), or when it is empty or gone the
    // primary monitor, else the one at the origin, else the whole root window. Sizes,
    // captures and markers are in the monitor's own coordinates. Never fails: without a usable
    // display the screen reads as {0, 0}, every capture stays failed, problem() says why, and
    // renew() tries again.
    explicit X11Screen(std::string displayName = {}, std::string monitor = {}, x11::SystemCalls sys = {});
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    ScreenSize size() override;
    // Gives back the graphics context, the pixmap and the shared-memory segment and takes them
    // anew, chooses the monitor and reads its size again, and reconnects if the connection is
    // missing or broken.
    void renew() override;
    bool capture(std::span<Snapshot* const> snapshots) override;
    // Kept, not sent: markers leave with the next capture, ahead of its image requests, or with the
    // next renewal, through the graphics context they were drawn with.
    void drawPoint(int x, int y) override;
    // Also says when the monitor asked for is gone and which one is read instead.
    UserText problem() const override;

    // For start-up: when the monitor asked for is not on the display, why, naming the monitors
    // there are; empty when it is there, when none was asked for, or without a connection.
    std::string chosenMonitorMissing() const;

    // Whether captures currently go through a shared-memory segment (for diagnostics and tests).
    bool usesSharedMemory() const;
    // Why they do not while the screen is readable: the server lacks MIT-SHM 1.2, or setting up
    // or attaching the segment failed (naming the step and the error). Empty when they do, and
    // when the screen cannot be read at all (problem() says why then).
    std::string sharedMemoryProblem() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace lumora
