// Runs AUTO ticks back to back (capture of the three zones, then scan, correction and smoothing,
// as the driver's tick does) on a private Xvfb, unpaced, and reports how long a tick takes and
// the CPU it costs this process and the X server. Medians of --repeat runs.
//
//   lumora_capture_rate [--size 1920x1080] [--steps N] [--seconds 10] [--repeat 3] [--per-pixel]
//
// The capture is the driver's own X11 capture, or with --per-pixel one request and reply per
// sampled point, the baseline it is compared with. A point drawn before every tick keeps the
// screen changing, so that every tick reads it.
#include "per_pixel_screen.hpp"
#include "platform/x11/x11_screen.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/auto_settings.hpp"
#include "run_options.hpp"
#include "statistics.hpp"
#include "support/support.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace lumora;
using lumora::bench::median;
using Clock = std::chrono::steady_clock;

struct Options : lumora::bench::RunOptions {
    bool perPixel = false;
};

struct Result {
    double ticksPerSecond = 0;
    double msPerTick = 0;
    double cpuMsPerTick = 0;    // this process
    double serverMsPerTick = 0; // the X server
};

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double serverCpuSeconds(qint64 pid) { return test::cpuSeconds(pid); }

Result runOnce(const Options& o)
{
    test::Xvfb xvfb(QString("%1x%2x24").arg(o.width).arg(o.height));
    xvfb.x("xsetroot", {"-solid", "#e08020"});
    const std::string display = xvfb.display().toStdString();

    std::unique_ptr<Screen> screen;
    if (o.perPixel)
        screen = std::make_unique<bench::PerPixelScreen>(display);
    else
        screen = std::make_unique<X11Screen>(display);
    AutoState state;
    const std::string stepX = o.steps ? std::to_string(o.steps) : "25", stepY = o.steps ? std::to_string(o.steps) : "50";
    std::string refused = applyAutoSettings(state, {stepX, stepY, "30", "50", "100"});
    if (refused.empty())
        refused = applyResolution(state, std::to_string(o.width), std::to_string(o.height));
    if (!refused.empty())
        throw std::invalid_argument(refused);
    const ScanSettings settings = scanSettings(state, true, false);
    AutoBranch branch;

    long ticks = 0;
    const double cpu0 = processCpuSeconds(), server0 = serverCpuSeconds(xvfb.pid());
    const auto t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(o.seconds)) {
        // A point in the middle of the bottom two thirds, which no zone samples, drawn before every
        // tick: the capture reads only a screen drawn on since its last reading, as a moving one is.
        screen->drawPoint(o.width / 2, o.height * 5 / 6);
        branch.tick(state, *screen, settings, nullptr);
        ++ticks;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = processCpuSeconds() - cpu0, server = serverCpuSeconds(xvfb.pid()) - server0;
    const double n = static_cast<double>(std::max(1L, ticks));
    return {n / elapsed, 1000.0 * elapsed / n, 1000.0 * cpu / n, 1000.0 * server / n};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the private X server runs as a QProcess
    QCommandLineParser parser;
    const QCommandLineOption perPixel("per-pixel", "one request and reply per sampled point");
    Options o{lumora::bench::readRunOptions(app, parser, {perPixel}), false};
    o.perPixel = parser.isSet(perPixel);
    std::vector<double> rate, perTick, cpu, server;
    for (int i = 0; i < o.repeat; ++i) {
        const Result r = runOnce(o);
        std::printf("run %d: %.1f ticks/s, %.3f ms per tick, CPU per tick %.3f ms here, %.3f ms in the X server\n", i + 1,
                    r.ticksPerSecond, r.msPerTick, r.cpuMsPerTick, r.serverMsPerTick);
        rate.push_back(r.ticksPerSecond);
        perTick.push_back(r.msPerTick);
        cpu.push_back(r.cpuMsPerTick);
        server.push_back(r.serverMsPerTick);
    }
    std::printf("median of %d: %dx%d steps %s, %s: %.1f ticks/s, %.3f ms per tick, CPU per tick %.3f ms here, %.3f ms "
                "in the X server\n",
                o.repeat, o.width, o.height, o.steps ? std::to_string(o.steps).c_str() : "25/50",
                o.perPixel ? "one pixel per round trip" : "the driver's capture", median(rate), median(perTick), median(cpu),
                median(server));
    return 0;
}
