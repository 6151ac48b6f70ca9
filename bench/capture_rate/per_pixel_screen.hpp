// The screen read one pixel per round trip, as the baseline the driver's capture is measured
// against: every sampled point is a request of its own, its reply awaited before the next is sent.
#pragma once

#include "platform/x11/x11_display.hpp"
#include "sampling/screen.hpp"

#include <string>

namespace lumora::bench {

// Reads the whole root window; markers are not drawn. Nothing here is fit for the driver: a
// 1920 x 1080 screen at the default steps takes hundreds of round trips per tick.
class PerPixelScreen final : public Screen {
public:
    explicit PerPixelScreen(const std::string& display); // throws when the screen cannot be read

    ScreenSize size() override { return size_; }
    void renew() override {}
    // Only the points a scan reads (every columnStep() along a row) are requested; the others,
    // and any whose request fails, read as failed.
    bool capture(std::span<Snapshot* const> snapshots) override;
    void drawPoint(int, int) override {}
    UserText problem() const override { return {}; }

private:
    x11::DisplaySetup display_;
    ScreenSize size_;
};

} // namespace lumora::bench
