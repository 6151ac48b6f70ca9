// The options the X11 benchmarks share, read with Qt's parser: the screen, the AUTO steps, how
// long each run lasts and how many runs give the median.
#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace lumora::bench {

struct RunOptions {
    int width = 1920, height = 1080;
    int steps = 0; // 0: the AUTO page's defaults, 25 and 50
    int seconds = 10;
    int repeat = 3;
};

// Reads --size WxH, --steps N, --seconds S, --repeat N and the `flags` given (their names and
// help); ends the program with a usage line on anything else or on a value that is not a number.
inline RunOptions readRunOptions(QCoreApplication& app, QCommandLineParser& parser,
                                 std::initializer_list<QCommandLineOption> flags = {})
{
    const QCommandLineOption size("size", "screen size", "WxH", "1920x1080"), steps("steps", "AUTO steps (0: 25/50)", "N", "0"),
        seconds("seconds", "seconds a run", "S", "10"), repeat("repeat", "runs for the median", "N", "3");
    parser.addHelpOption();
    parser.addOptions({size, steps, seconds, repeat});
    for (const QCommandLineOption& flag : flags)
        parser.addOption(flag);
    parser.process(app);
    RunOptions o;
    bool ok[3] = {};
    o.steps = parser.value(steps).toInt(&ok[0]);
    o.seconds = parser.value(seconds).toInt(&ok[1]);
    o.repeat = parser.value(repeat).toInt(&ok[2]);
    const bool sized = std::sscanf(parser.value(size).toUtf8().constData(), "%dx%d", &o.width, &o.height) == 2;
    if (!sized || !ok[0] || !ok[1] || !ok[2] || o.repeat < 1 || o.seconds < 1) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        std::exit(2);
    }
    return o;
}

// The whole number an option was given, at least `least`; throws std::invalid_argument naming
// the option otherwise.
inline int numberOf(const QCommandLineParser& parser, const QCommandLineOption& option, int least)
{
    bool ok = false;
    const int n = parser.value(option).toInt(&ok);
    if (!ok || n < least)
        throw std::invalid_argument("--" + option.names().front().toStdString() + " takes a number of " +
                                    std::to_string(least) + " or more");
    return n;
}

} // namespace lumora::bench
