// lumora-auto-load: the driver's load in AUTO mode while the whole screen changes on every frame,
// on the X11 path (Xvfb) and the portal paths (headless sway, headless GNOME) side by side, at each
// size and steps asked for. Runs are interleaved (every configuration with every driver once, then
// again), so a change in the machine's other load touches all rows alike; each figure is the
// median of --repeat runs.
//
//   lumora-auto-load [--seconds 10] [--repeat 3] [--paths x11,sway,gnome] [--sizes 1920x1080,3840x2160]
//                    [--steps 0,1] [--driver PATH [--driver PATH2]]   (steps 0: the defaults, 25/50)
//
// Frames received are the driver's own count (its last line on standard error, portal paths
// only), over the time from the stream's start to the driver's end. The X11 path has no frames:
// its "per frame" figure is per tick. CPU per tick is the driver's CPU time over all its ticks,
// those the link skipped included. Ticks are counted by the emulator (zone 0's packets at the
// line's real speed) plus the ticks the link skipped. "portal" names the sway path too.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <regex>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "auto_rig.hpp"
#include "run_options.hpp"

using namespace lumora::bench;

namespace {

struct Config {
    CapturePath path;
    int width, height, steps;
    int driver; // which of the drivers asked for
};

struct Sample {
    double framesPerSecond = NAN; // received by the driver (portal)
    double animatorFps = 0;       // put up by the animator
    double driverCpuShare = 0;    // % of one core
    double cpuMsPerFrame = 0;     // per frame received (portal) or per tick (X11)
    double cpuMsPerTick = 0;      // over all ticks, the skipped ones too
    double ticksPerSecond = 0;    // on the wire plus skipped
    double wireTicksPerSecond = 0;
    double desktopCpuShare = 0; // display server (and for the portal: PipeWire, the portal and its backend)
};

double cpuSeconds(const std::vector<qint64>& pids)
{
    double sum = 0;
    for (const qint64 pid : pids)
        sum += lumora::test::cpuSeconds(pid);
    return sum;
}

double countFrom(const std::string& text, const char* pattern)
{
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? std::stod(m[1]) : 0;
}

Sample runOnce(const Config& c, int seconds, int warmup, const QString& driver)
{
    // The compositor paces the animator at its output's 60 Hz; Xvfb paces nothing, so a timer does.
    QStringList animation{"--every-frame"};
    if (c.path == CapturePath::X11)
        animation << "--fps" << "60";
    AutoRig rig({c.path, c.width, c.height, c.steps, animation, driver});
    // Fixed spans of time to measure over, not waits for a condition.
    QTest::qWait(1000 * warmup);
    const std::vector<qint64> desktop = rig.desktopPids();
    const double t0 = monotonicSeconds();
    const double driver0 = lumora::test::cpuSeconds(rig.driverPid());
    const double desktop0 = cpuSeconds(desktop);
    QTest::qWait(1000 * seconds);
    const double t1 = monotonicSeconds();
    const double driverCpu = lumora::test::cpuSeconds(rig.driverPid()) - driver0;
    const double desktopCpu = cpuSeconds(desktop) - desktop0;
    const std::string err = rig.stopDriver();
    const double end = monotonicSeconds();
    const double window = t1 - t0;

    double wire = 0;
    for (const auto& p : rig.packets())
        wire += p.channel == 0 && p.seconds >= t0 && p.seconds < t1;
    double shown = 0;
    for (const auto& col : rig.colours())
        shown += col.seconds >= t0 && col.seconds < t1;
    const double lifetime = end - rig.streamStart();

    Sample s;
    s.wireTicksPerSecond = wire / window;
    s.ticksPerSecond = s.wireTicksPerSecond + countFrom(err, "skipped (\\d+) ticks") / lifetime;
    s.animatorFps = shown / window;
    s.driverCpuShare = 100.0 * driverCpu / window;
    s.desktopCpuShare = 100.0 * desktopCpu / window;
    s.cpuMsPerTick = s.ticksPerSecond > 0 ? 1000.0 * driverCpu / (s.ticksPerSecond * window) : NAN;
    if (c.path != CapturePath::X11) {
        s.framesPerSecond = countFrom(err, "received (\\d+) frames") / lifetime;
        s.cpuMsPerFrame = s.framesPerSecond > 0 ? 1000.0 * driverCpu / (s.framesPerSecond * window) : NAN;
    } else {
        s.cpuMsPerFrame = s.cpuMsPerTick;
    }
    return s;
}

std::string stepsName(int steps) { return steps > 0 ? std::to_string(steps) + "/" + std::to_string(steps) : "25/50"; }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The driver's load in AUTO while the whole screen changes on every frame.");
    parser.addHelpOption();
    const QCommandLineOption secondsOption("seconds", "seconds measured a run", "S", "10"),
        repeatOption("repeat", "runs for the median", "N", "3"), warmupOption("warmup", "seconds before measuring", "S", "2"),
        pathsOption("paths", "x11, sway (or portal), gnome", "LIST", "x11,sway"), sizesOption("sizes", "screen sizes", "WxH,...", "1920x1080,3840x2160"),
        stepsOption("steps", "AUTO steps (0: the defaults, 25/50)", "LIST", "0,1"),
        driverOption("driver", "the driver to measure (default: this build's); twice or more to alternate builds", "PATH");
    parser.addOptions({secondsOption, repeatOption, warmupOption, pathsOption, sizesOption, stepsOption, driverOption});
    parser.process(app);
    int seconds = 0, repeat = 0, warmup = 0;
    std::vector<CapturePath> paths;
    std::vector<std::pair<int, int>> sizes;
    std::vector<int> stepList;
    const QStringList drivers = parser.isSet(driverOption) ? parser.values(driverOption) : QStringList{LUMORA_DRIVER_PATH};
    const bool several = drivers.size() > 1;
    try {
        seconds = numberOf(parser, secondsOption, 1), repeat = numberOf(parser, repeatOption, 1);
        warmup = numberOf(parser, warmupOption, 0);
        for (const QString& p : parser.value(pathsOption).split(','))
            paths.push_back(pathNamed(p));
        for (const QString& size : parser.value(sizesOption).split(',')) {
            int w = 0, h = 0;
            if (std::sscanf(size.toUtf8().constData(), "%dx%d", &w, &h) != 2)
                throw std::invalid_argument("--sizes takes WxH,WxH");
            sizes.emplace_back(w, h);
        }
        for (const QString& steps : parser.value(stepsOption).split(',')) {
            bool ok = false;
            stepList.push_back(steps.toInt(&ok));
            if (!ok)
                throw std::invalid_argument("--steps takes numbers, 0 for the defaults");
        }
    } catch (const std::exception& e) {
        std::cerr << "lumora-auto-load: " << e.what() << "\n" << qPrintable(parser.helpText());
        return 2;
    }

    std::vector<Config> configs;
    for (const auto path : paths)
        for (const auto& [w, h] : sizes)
            for (const int steps : stepList)
                for (int k = 0; k < drivers.size(); ++k)
                    configs.push_back({path, w, h, steps, k});
    std::map<std::size_t, std::vector<Sample>> samples;
    for (int run = 1; run <= repeat; ++run)
        for (std::size_t i = 0; i < configs.size(); ++i) {
            const Config& c = configs[i];
            try {
                const Sample s = runOnce(c, seconds, warmup, drivers[c.driver]);
                std::fprintf(stderr,
                             "run %d %s %dx%d %s driver %d: %.1f frames/s (animator %.1f), driver %.1f %%, %.3f ms/frame, "
                             "%.3f ms/tick, %.1f ticks/s (%.1f on the wire), desktop %.1f %%\n",
                             run, pathName(c.path), c.width, c.height, stepsName(c.steps).c_str(), c.driver + 1,
                             s.framesPerSecond, s.animatorFps, s.driverCpuShare, s.cpuMsPerFrame, s.cpuMsPerTick,
                             s.ticksPerSecond, s.wireTicksPerSecond, s.desktopCpuShare);
                samples[i].push_back(s);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "run %d %s %dx%d: %s\n", run, pathName(c.path), c.width, c.height, e.what());
            }
        }

    std::printf("AUTO under a screen that changes on every frame; medians of %d runs of %d s\n\n", repeat, seconds);
    for (int k = 0; several && k < drivers.size(); ++k)
        std::printf("driver %d: %s\n", k + 1, qPrintable(drivers[k]));
    std::printf("| path | screen | steps | %sframes/s received | animator frames/s | driver CPU | driver CPU per frame "
                "| driver CPU per tick | ticks/s | on the wire | desktop CPU |\n|---|---|---|%s---|---|---|---|---|---|---|---|\n",
                several ? "driver | " : "", several ? "---|" : "");
    for (std::size_t i = 0; i < configs.size(); ++i) {
        const Config& c = configs[i];
        const auto& v = samples[i];
        const auto med = [&](double Sample::*field) {
            std::vector<double> x;
            for (const auto& s : v)
                x.push_back(s.*field);
            return median(x);
        };
        const std::string driverColumn = several ? std::to_string(c.driver + 1) + " | " : "";
        if (v.empty()) {
            std::printf("| %s | %d × %d | %s | %s(no run succeeded) | | | | | | | |\n", pathName(c.path), c.width, c.height,
                        stepsName(c.steps).c_str(), driverColumn.c_str());
            continue;
        }
        char frames[32];
        if (c.path != CapturePath::X11)
            std::snprintf(frames, sizeof frames, "%.1f", med(&Sample::framesPerSecond));
        else
            std::snprintf(frames, sizeof frames, "—");
        std::printf("| %s | %d × %d | %s | %s%s | %.1f | %.1f %% | %.3f ms%s | %.3f ms | %.1f | %.1f | %.1f %% |\n",
                    pathName(c.path), c.width, c.height, stepsName(c.steps).c_str(), driverColumn.c_str(), frames,
                    med(&Sample::animatorFps), med(&Sample::driverCpuShare), med(&Sample::cpuMsPerFrame),
                    c.path == CapturePath::X11 ? " (tick)" : "", med(&Sample::cpuMsPerTick), med(&Sample::ticksPerSecond),
                    med(&Sample::wireTicksPerSecond), med(&Sample::desktopCpuShare));
    }
    return 0;
}
