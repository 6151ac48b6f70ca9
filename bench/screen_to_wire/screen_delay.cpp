// lumora-screen-delay: how long a change of the screen takes to reach the board in AUTO mode.
// The animator alternates the whole screen between black and white at random phases; each delay
// runs from the animator's stamp for a colour to the first zone packet, read by the emulator at
// the line's real speed, whose level moved from the zone's resting level toward the new colour.
//
//   lumora-screen-delay [--path x11|sway|gnome|both|all|LIST] [--size WxH] [--changes N] [--period MS]
//                       [--repeat N] [--driver PATH [--driver PATH2]] [--logs DIR]
//
// Runs alternate: each round runs every path with every driver once, so drift in the machine's
// other load touches all alike. "portal" names the sway path too; "both" is x11 and sway, "all"
// adds gnome. --logs keeps each run's stamps, packets and the driver's standard error in DIR.
//
// Why "moved toward": AUTO moves each zone half-way to the screen's colour per tick, so the first
// tick that has seen the new frame lands at the midpoint, where rounding would decide a midpoint
// test; any step toward the new colour shows that the tick had read it.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "auto_rig.hpp"
#include "run_options.hpp"

using namespace lumora::bench;

namespace {

struct Options {
    std::vector<CapturePath> paths{CapturePath::X11, CapturePath::Sway};
    int width = 1920, height = 1080;
    int changes = 60;
    int period = 250; // long enough for the zones to come to rest (half-way per 10 ms tick)
    int repeat = 1;
    QStringList drivers{LUMORA_DRIVER_PATH}; // other builds' drivers, to compare them
    QString logs;                             // where to keep each run's records, if anywhere
};

struct Delays {
    std::vector<double> ms;
    int notAtRest = 0; // changes skipped because a zone was still moving when the colour changed
    int unseen = 0;    // changes no zone packet showed before the next one
};

int level(const TimedPacket& p) { return p.red + p.green + p.blue; }

Delays measure(const std::vector<TimedColour>& colours, const std::vector<TimedPacket>& packets)
{
    Delays d;
    // The first colour finds the zones wherever the driver's window left them.
    for (std::size_t i = 1; i < colours.size(); ++i) {
        const double at = colours[i].seconds;
        const double next = i + 1 < colours.size() ? colours[i + 1].seconds : at + 1.0;
        const bool toWhite = colours[i].rgb == 0xffffff;
        int rest[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}}; // each zone's last two levels before the change
        std::size_t k = 0;
        for (; k < packets.size() && packets[k].seconds <= at; ++k)
            if (packets[k].channel < 3) {
                rest[packets[k].channel][0] = rest[packets[k].channel][1];
                rest[packets[k].channel][1] = level(packets[k]);
            }
        bool atRest = true;
        for (const auto& z : rest)
            atRest = atRest && z[0] >= 0 && z[0] == z[1];
        if (!atRest) {
            ++d.notAtRest;
            continue;
        }
        bool seen = false;
        for (; k < packets.size() && packets[k].seconds < next && !seen; ++k) {
            const TimedPacket& p = packets[k];
            if (p.channel >= 3)
                continue;
            const int was = rest[p.channel][1];
            if (toWhite ? level(p) > was : level(p) < was) {
                d.ms.push_back(1000.0 * (p.seconds - at));
                seen = true;
            }
        }
        d.unseen += seen ? 0 : 1;
    }
    return d;
}

// Reads the options with Qt's parser; throws std::invalid_argument naming a value it cannot use.
Options parse(QCoreApplication& app, QCommandLineParser& parser)
{
    parser.setApplicationDescription("How long a change of the screen takes to reach the board in AUTO mode.");
    parser.addHelpOption();
    const QCommandLineOption path("path", "x11, sway (or portal), gnome, a list of them, both (x11,sway) or all", "PATH", "both"),
        size("size", "screen size", "WxH", "1920x1080"), changes("changes", "changes timed a run", "N", "60"),
        period("period", "milliseconds between changes (plus up to a fifth)", "MS", "250"), repeat("repeat", "runs", "N", "1"),
        driver("driver", "the driver to measure (default: this build's); twice or more to alternate builds", "PATH"),
        logs("logs", "keep each run's stamps, packets and driver output in DIR", "DIR");
    parser.addOptions({path, size, changes, period, repeat, driver, logs});
    parser.process(app);
    Options o;
    const QString paths = parser.value(path);
    if (paths == "both")
        o.paths = {CapturePath::X11, CapturePath::Sway};
    else if (paths == "all")
        o.paths = {CapturePath::X11, CapturePath::Sway, CapturePath::Gnome};
    else {
        o.paths.clear();
        for (const QString& name : paths.split(','))
            o.paths.push_back(pathNamed(name));
    }
    if (std::sscanf(parser.value(size).toUtf8().constData(), "%dx%d", &o.width, &o.height) != 2)
        throw std::invalid_argument("--size takes WxH");
    o.changes = numberOf(parser, changes, 1), o.period = numberOf(parser, period, 1), o.repeat = numberOf(parser, repeat, 1);
    if (parser.isSet(driver))
        o.drivers = parser.values(driver);
    o.logs = parser.value(logs);
    return o;
}

// One run: the animator's changes on `path`, read by `driver`; throws std::runtime_error when a
// part of the rig fails. With `logs`, the run's records are kept under that name.
Delays runOnce(const Options& o, CapturePath path, const QString& driver, const std::string& logs)
{
    AutoRig rig({path, o.width, o.height, 0,
                 {"--period", QString::number(o.period), "--jitter", QString::number(o.period / 5), "--changes",
                  QString::number(o.changes + 1)},
                 driver});
    const int bound = (o.changes + 2) * (o.period + o.period / 5) + 30000;
    if (!QTest::qWaitFor([&] { return !rig.animatorRunning(); }, bound))
        throw std::runtime_error("the animator did not finish its changes");
    // The last change's packets: wait until the line shows a packet well after it.
    const auto colours = rig.colours();
    const double last = colours.empty() ? 0 : colours.back().seconds;
    const bool after = QTest::qWaitFor([&] {
        const auto p = rig.packets();
        return !p.empty() && p.back().seconds > last + 0.2;
    }, 10000);
    if (!after)
        throw std::runtime_error("the line stopped before the last change");
    const auto packets = rig.packets();
    if (!logs.empty()) {
        std::ofstream(logs + ".colours") << rig.colourText();
        std::ofstream(logs + ".packets") << rig.packetText();
        std::ofstream(logs + ".driver") << rig.stopDriver();
    }
    return measure(colours, packets);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    Options o;
    try {
        o = parse(app, parser);
    } catch (const std::exception& e) {
        std::cerr << "lumora-screen-delay: " << e.what() << '\n' << qPrintable(parser.helpText());
        return 2;
    }
    const bool several = o.drivers.size() > 1;
    std::printf("screen change to first zone packet on the paced line, AUTO, default steps, %dx%d, "
                "%d changes per run, every %d..%d ms\n",
                o.width, o.height, o.changes, o.period, o.period + o.period / 5);
    for (int i = 0; several && i < o.drivers.size(); ++i)
        std::printf("driver %d: %s\n", i + 1, qPrintable(o.drivers[i]));
    std::printf("\n| path | %srun | changes timed | median | p90 | max | min |\n|---|%s---|---|---|---|---|---|\n",
                several ? "driver | " : "", several ? "---|" : "");
    struct Series {
        std::vector<double> medians, p90s, maxima, all;
    };
    std::map<std::pair<int, int>, Series> series; // by path and driver
    const auto rowHead = [&](CapturePath path, int driver) {
        return std::string(pathName(path)) + (several ? " | " + std::to_string(driver + 1) : "");
    };
    for (int run = 1; run <= o.repeat; ++run)
        for (const CapturePath path : o.paths)
            for (int k = 0; k < o.drivers.size(); ++k) {
                Delays d;
                try {
                    const std::string logs = o.logs.isEmpty() ? std::string()
                        : QString("%1/%2-%3-%4").arg(o.logs, pathName(path)).arg(k + 1).arg(run).toStdString();
                    d = runOnce(o, path, o.drivers[k], logs);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "%s run %d: %s\n", pathName(path), run, e.what());
                    return 1;
                }
                if (d.ms.empty()) {
                    std::fprintf(stderr, "%s run %d: no change reached the line (%d unseen, %d not at rest)\n",
                                 pathName(path), run, d.unseen, d.notAtRest);
                    return 1;
                }
                const double mx = *std::max_element(d.ms.begin(), d.ms.end());
                std::printf("| %s | %d | %zu (%d unseen, %d not at rest) | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n",
                            rowHead(path, k).c_str(), run, d.ms.size(), d.unseen, d.notAtRest, median(d.ms),
                            percentile(d.ms, 0.9), mx, *std::min_element(d.ms.begin(), d.ms.end()));
                std::fflush(stdout);
                Series& s = series[{static_cast<int>(path), k}];
                s.medians.push_back(median(d.ms));
                s.p90s.push_back(percentile(d.ms, 0.9));
                s.maxima.push_back(mx);
                s.all.insert(s.all.end(), d.ms.begin(), d.ms.end());
            }
    if (o.repeat > 1) {
        std::printf("\n| path | %smedian of the runs' medians | of their p90s | of their maxima | all changes: median | p90 | max |\n"
                    "|---|%s---|---|---|---|---|---|\n",
                    several ? "driver | " : "", several ? "---|" : "");
        for (const CapturePath path : o.paths)
            for (int k = 0; k < o.drivers.size(); ++k) {
                const Series& s = series[{static_cast<int>(path), k}];
                std::printf("| %s | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", rowHead(path, k).c_str(),
                            median(s.medians), median(s.p90s), median(s.maxima), median(s.all), percentile(s.all, 0.9),
                            *std::max_element(s.all.begin(), s.all.end()));
            }
    }
    return 0;
}
