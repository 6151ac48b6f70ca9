// Runs the real driver in AUTO mode on a private Xvfb against a pseudo-terminal and reports its
// tick rate (from the packets, plus the ticks the link skipped for the line's speed), the
// driver's CPU time per tick and the X server's share of a core. Medians of --repeat runs.
//
//   lumora_auto_rate [--size 1920x1080] [--steps N] [--seconds 10] [--repeat 3] [--driver PATH] [--fixed]
//
// --fixed runs the same ticks and packets in FIXED mode, which reads no screen: the driver's cost
// beneath the capture, so that AUTO's figure less this one is what reading the screen costs.
// --steps sets both AUTO steps through the window. The baseline of one pixel per round trip is
// not a mode of the driver: lumora_capture_rate --per-pixel measures it beside the driver's capture.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

#include <QCoreApplication>

#include "run_options.hpp"
#include "statistics.hpp"
#include "support/support.hpp"

namespace {

using namespace lumora::test;
using Clock = std::chrono::steady_clock;
using lumora::bench::median;

struct Result {
    double ticksPerSecond = 0;
    double wireTicksPerSecond = 0;
    double cpuMsPerTick = 0;
    double driverCpuShare = 0;
    double serverCpuShare = 0;
};

struct Options : lumora::bench::RunOptions {
    QString driver = LUMORA_DRIVER_PATH; // another build's driver, to compare two in one series
    bool fixed = false;
};

Result runOnce(const Options& o)
{
    Xvfb xvfb(QString("%1x%2x24").arg(o.width).arg(o.height));
    Pty pty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", xvfb.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    Program driver(o.driver, {"--port", QString::fromStdString(pty.path())}, env);
    const QString window = xvfb.x("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(driver.pid()),
                                              "--name", "^Lumora Driver 1.2$"}).section('\n', 0, 0);
    if (window.isEmpty())
        throw std::runtime_error("the driver's window did not show: " + driver.err());
    const auto n = [](int v) { return QString::number(v); };
    // The middle of the bottom two thirds is sampled by no zone.
    xvfb.x("xdotool", {"windowmove", "--sync", window, n(o.width / 2 - 308), n(o.height - 340)});
    xvfb.x("xsetroot", {"-solid", "#e08020"});
    xvfb.x("xdotool", {"mousemove", "--window", window, "60", o.fixed ? "124" : "172", "click", "1"}); // FIXED or AUTO
    if (o.steps > 0 && !o.fixed) {
        for (int y : {177, 193}) // txtStepX, txtStepY
            xvfb.x("xdotool", {"mousemove", "--window", window, "192", n(y), "click", "1", "key", "ctrl+a", "type", n(o.steps)});
        xvfb.x("xdotool", {"mousemove", "--window", window, "172", "228", "click", "1"}); // cmdAUTOset
    }
    std::vector<std::uint8_t> stream;
    const auto t0 = Clock::now();
    const double driver0 = cpuSeconds(driver.pid());
    const double server0 = cpuSeconds(xvfb.pid());
    while (Clock::now() - t0 < std::chrono::seconds(o.seconds)) {
        pty.read(stream, 50);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const double driverCpu = cpuSeconds(driver.pid()) - driver0;
    const double serverCpu = cpuSeconds(xvfb.pid()) - server0;
    driver.signal(SIGTERM);
    driver.wait();
    std::smatch m;
    const std::string err = driver.err();
    const double skipped = std::regex_search(err, m, std::regex("skipped (\\d+) ticks")) ? std::stod(m[1]) : 0;

    double zone0 = 0;
    for (std::size_t i = 0; i + 5 <= stream.size(); i += 5)
        zone0 += stream[i] == 0 && stream[i + 4] == 13;
    Result r;
    r.wireTicksPerSecond = zone0 / elapsed;
    r.ticksPerSecond = (zone0 + skipped) / elapsed;
    r.cpuMsPerTick = 1000.0 * driverCpu / std::max(1.0, zone0 + skipped);
    r.driverCpuShare = 100.0 * driverCpu / elapsed;
    r.serverCpuShare = 100.0 * serverCpu / elapsed;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption driver("driver", "the driver to measure (default: this build's)", "PATH", LUMORA_DRIVER_PATH);
    const QCommandLineOption fixed("fixed", "FIXED mode instead of AUTO: the same ticks, no screen read");
    Options o{lumora::bench::readRunOptions(app, parser, {driver, fixed}), {}, {}};
    o.driver = parser.value(driver);
    o.fixed = parser.isSet(fixed);
    std::vector<double> rate, wire, perTick, driverShare, serverShare;
    for (int i = 0; i < o.repeat; ++i) {
        const Result r = runOnce(o);
        std::printf("run %d: %.1f ticks/s (%.1f on the wire), %.3f ms CPU/tick, driver %.1f %%, X server %.1f %%\n", i + 1,
                    r.ticksPerSecond, r.wireTicksPerSecond, r.cpuMsPerTick, r.driverCpuShare, r.serverCpuShare);
        rate.push_back(r.ticksPerSecond);
        wire.push_back(r.wireTicksPerSecond);
        perTick.push_back(r.cpuMsPerTick);
        driverShare.push_back(r.driverCpuShare);
        serverShare.push_back(r.serverCpuShare);
    }
    std::printf("median of %d: %s %dx%d steps %s: %.1f ticks/s (%.1f on the wire), %.3f ms CPU/tick, driver %.1f %% of a "
                "core, X server %.1f %%\n",
                o.repeat, o.fixed ? "FIXED" : "AUTO", o.width, o.height, o.steps ? std::to_string(o.steps).c_str() : "25/50", median(rate), median(wire), median(perTick), median(driverShare),
                median(serverShare));
    return 0;
}
