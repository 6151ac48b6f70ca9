// The screen of a Wayland desktop, read through the desktop portal's screen cast: the user lets
// the program see one monitor, whose frames arrive over PipeWire.
#pragma once

#include "sampling/screen.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace lumora {

class PortalScreen final : public Screen {
public:
    // Asks the portal on the session bus for a monitor at once, offering the restore token kept
    // in `tokenFolder` (see RestoreTokenStore), and returns without waiting: until the stream runs
    // the size is {0, 0} (or the last known one), every capture stays failed and problem() says
    // what is awaited. Needs a running Qt event loop for the answers to arrive.
    explicit PortalScreen(std::filesystem::path tokenFolder);
    ~PortalScreen() override; // closes the stream and the portal session
    PortalScreen(const PortalScreen&) = delete;
    PortalScreen& operator=(const PortalScreen&) = delete;

    // The size in pixels of the captured monitor's frames.
    ScreenSize size() override;
    // A running stream is kept (a new one would show nothing until the screen changes); one that
    // stopped is released here. While AUTO is chosen and the permission is kept, it is asked for
    // again after 1, 2, 4, 8, then every 12 renewals (5 s each), as long as none comes back; else
    // only activate() asks.
    void renew() override;
    // Samples the newest frame in place (every point failed while there is none, or once the
    // stream has stopped); waits for the compositor never, for PipeWire's thread at most while it
    // swaps in a newer frame.
    bool capture(std::span<Snapshot* const> snapshots) override;
    // A Wayland client cannot draw on the desktop: markers are not shown.
    void drawPoint(int x, int y) override;
    UserText problem() const override;
    // Asks again when the capture was refused, failed or stopped; a live one is left alone.
    void activate() override;
    void deactivate() override;

    // For diagnostics and tests: frames received from the stream now running.
    std::uint64_t framesReceived() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumora
