#include "sampling/auto_branch.hpp"

#include "sampling/auto_colour.hpp"

namespace lumora {

namespace {

class ScreenMarkers : public MarkerSink {
public:
    explicit ScreenMarkers(Screen& screen) : screen_(screen) {}
    void drawPoint(int x, int y) override { screen_.drawPoint(x, y); }

private:
    Screen& screen_;
};

} // namespace

ScanSettings scanSettings(const AutoState& state, bool processing, bool markers)
{
    return {state.Delta, state.Min1, state.Min2, processing, markers};
}

ScanGrid zoneGrid(const AutoState& state, int zone)
{
    const auto i = static_cast<std::size_t>(zone);
    return {state.ZoneX1.at(i), state.ZoneX2.at(i), state.ZoneY1.at(i), state.ZoneY2.at(i), state.StepX, state.StepY};
}

void AutoBranch::tick(AutoState& state, Screen& screen, const ScanSettings& settings,
                      const std::function<void(int zone)>& zoneSendStep)
{
    std::array<ScanGrid, kZoneCount> grids{};
    std::array<Snapshot*, kZoneCount> requests{};
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const auto i = static_cast<std::size_t>(zone);
        grids[i] = zoneGrid(state, zone);
        layoutSnapshot(grids[i], snapshots_[i]);
        requests[i] = &snapshots_[i];
    }
    const bool changed = screen.capture(requests);
    const bool reuse = !changed && !settings.markers && last_ && last_->grids == grids && last_->settings == settings;
    Scanned scanned = reuse ? *last_ : Scanned{grids, settings, {}};
    last_.reset(); // kept again once all three scans are made: a scan may throw

    ScreenMarkers markers(screen);
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const auto i = static_cast<std::size_t>(zone);
        if (!reuse)
            scanned.results[i] = ScanArea(grids[i], snapshots_[i], settings, &markers);
        const ScanResult& r = scanned.results[i];
        state.ScanR = r.ScanR;
        state.ScanG = r.ScanG;
        state.ScanB = r.ScanB;
        state.ScanBright = r.ScanBright;
        correctZone(state, zone);
        smoothZone(state, zone);
        if (zoneSendStep)
            zoneSendStep(zone);
    }
    last_ = scanned;
}

} // namespace lumora
