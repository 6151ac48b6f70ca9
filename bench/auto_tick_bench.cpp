// One AUTO tick's in-memory work: filling the three zones' snapshots from a frame buffer, the
// scans, the correction and the smoothing. The real capture's cost is measured separately.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "sampling/auto_branch.hpp"
#include "sampling/auto_settings.hpp"

namespace {

using namespace lumora;

// A screen held in memory: capture copies each sampled row's span out of the frame.
class FrameScreen : public Screen {
public:
    FrameScreen(int width, int height) : width_(width), height_(height), frame_(static_cast<std::size_t>(width) * height)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame_[static_cast<std::size_t>(y) * width + x] = rgb((x * 7) & 255, (y * 3) & 255, (x + y) & 255);
    }

    ScreenSize size() override { return {width_, height_}; }
    void renew() override {}
    bool capture(std::span<Snapshot* const> snapshots) override
    {
        for (Snapshot* s : snapshots) {
            const int from = std::max(s->xFrom(), 0), to = std::min(s->xTo(), width_ - 1);
            for (std::size_t r = 0; r < s->rows().size(); ++r) {
                const int y = s->rows()[r];
                std::fill(s->row(r).begin(), s->row(r).end(), kFailedPixel);
                if (y < 0 || y >= height_ || from > to)
                    continue;
                std::memcpy(s->row(r).data() + (from - s->xFrom()), &frame_[static_cast<std::size_t>(y) * width_ + from],
                            static_cast<std::size_t>(to - from + 1) * sizeof(Colour));
            }
        }
        return true;
    }
    void drawPoint(int, int) override {}
    UserText problem() const override { return {}; }

private:
    int width_, height_;
    std::vector<Colour> frame_;
};

void autoTick(benchmark::State& bench, int width, int height, const char* stepX, const char* stepY, bool processing)
{
    AutoState state;
    if (!applyAutoSettings(state, {stepX, stepY, "30", "50", "100"}).empty()
        || !applyResolution(state, std::to_string(width), std::to_string(height)).empty()) {
        bench.SkipWithError("settings refused");
        return;
    }
    FrameScreen screen(width, height);
    AutoBranch branch;
    const ScanSettings settings = scanSettings(state, processing, false);
    const auto send = [&state](int zone) {
        const auto i = static_cast<std::size_t>(zone);
        for (auto* channel : {&state.CurR, &state.CurG, &state.CurB})
            (*channel)[i] = std::clamp<i16>((*channel)[i], 0, 255);
    };
    for (auto _ : bench) {
        branch.tick(state, screen, settings, send);
        benchmark::DoNotOptimize(state.CurR);
    }
}

BENCHMARK_CAPTURE(autoTick, 1920x1080_steps25x50_processing, 1920, 1080, "25", "50", true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(autoTick, 1920x1080_steps25x50_simple, 1920, 1080, "25", "50", false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(autoTick, 3840x2160_steps25x50_processing, 3840, 2160, "25", "50", true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(autoTick, 1920x1080_steps1x1_processing, 1920, 1080, "1", "1", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(autoTick, 3840x2160_steps1x1_processing, 3840, 2160, "1", "1", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(autoTick, 3840x2160_steps1x1_simple, 3840, 2160, "1", "1", false)->Unit(benchmark::kMillisecond);

} // namespace
