// The screen of a Wayland desktop, read through the desktop portal's screen cast: the user lets
// the program see one monitor, whose frames arrive over PipeWire.
#pragma once

#include "sampling/screen.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class QDBusConnection;

namespace lumora {

class PortalScreen final : public Screen {
public:
    // Asks nothing yet: the desktop shows its chooser and its "screen is shared" indicator only
    // once AUTO is chosen (activate()). The restore token is kept in `tokenFolder` (see
    // RestoreTokenStore); the portal is asked on the session bus, or on `bus`. Until a stream runs
    // the size is {0, 0} (or the last known one) and every capture fails. Needs a running Qt event
    // loop for the answers to arrive.
    explicit PortalScreen(std::filesystem::path tokenFolder);
    PortalScreen(std::filesystem::path tokenFolder, const QDBusConnection& bus);
    ~PortalScreen() override; // closes the stream and the portal session
    PortalScreen(const PortalScreen&) = delete;
    PortalScreen& operator=(const PortalScreen&) = delete;

    // The size in pixels of the captured monitor: the region of its frames that the desktop says
    // shows the screen.
    ScreenSize size() override;
    // A running stream is kept (a new one would show nothing until the screen changes); one that
    // ended is released here. While AUTO is chosen it is asked for again by itself after 1, 2, 4,
    // 8, then every 12 renewals (5 s each), until one runs: always after an outage (nobody
    // answered), and after the desktop ended the stream (monitor off, sleep, another console) when
    // a kept permission lets the desktop answer without its chooser. A user's cancel is asked
    // again only by activate().
    void renew() override;
    // Samples the newest picture in place (every point failed while there is none, or once the
    // stream has stopped); waits for the compositor never, for PipeWire's thread at most while it
    // swaps in a newer frame. Buffers without a picture leave the last one in place.
    bool capture(std::span<Snapshot* const> snapshots) override;
    // A Wayland client cannot draw on the desktop: markers are not shown.
    void drawPoint(int x, int y) override;
    // What the AUTO page says: what the capture waits for, or why it does not run; empty outside
    // AUTO and while it reads.
    UserText problem() const override;
    // Asks for the screen, offering the kept permission, unless a capture is asked for or runs.
    void activate() override;
    // Closes the stream and the portal session, so that the desktop stops showing the screen as
    // shared; the kept permission lets the next activate() restore it without the chooser.
    void deactivate() override;

    // For diagnostics and tests: frames received from the stream now running.
    std::uint64_t framesReceived() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumora
