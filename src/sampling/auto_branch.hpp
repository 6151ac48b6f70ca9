// One AUTO tick over the three zones: capture, scan, correct, smooth, and hand each zone on to be
// clamped and sent.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "sampling/auto_state.hpp"
#include "sampling/scan.hpp"
#include "sampling/screen.hpp"

namespace lumora {

// The scan settings in force: Delta, Min1, Min2 from the state, the style and markers from the
// AUTO page.
ScanSettings scanSettings(const AutoState& state, bool processing, bool markers);

// The grid of one zone with the steps in force.
ScanGrid zoneGrid(const AutoState& state, int zone);

class AutoBranch {
public:
    // Captures the sampled rows of all three zones with one Screen::capture call, then for zone 0,
    // 1, 2 in turn: ScanArea on its snapshot, the results into ScanR, ScanG, ScanB, ScanBright,
    // correctZone, smoothZone, and zoneSendStep(zone), which clamps and sends before the next zone.
    // Markers (processing style with markers on) are drawn through the screen; the points of this
    // tick were captured before, so the scan never reads its own markers back.
    // The snapshots live on between ticks: with stable zones and steps a tick allocates nothing.
    // When the screen says the snapshots hold what they held, and the grids and settings are
    // those of the last tick (markers off), the last tick's scan results stand.
    void tick(AutoState& state, Screen& screen, const ScanSettings& settings,
              const std::function<void(int zone)>& zoneSendStep);

private:
    std::array<Snapshot, kZoneCount> snapshots_;
    struct Scanned {
        std::array<ScanGrid, kZoneCount> grids;
        ScanSettings settings;
        std::array<ScanResult, kZoneCount> results;
    };
    std::optional<Scanned> last_; // the last tick's scans, when all three were made
};

} // namespace lumora
