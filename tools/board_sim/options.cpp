// The emulator's command line: a handful of flags and one path. QCommandLineParser reads it; the
// help text is written out by hand because it also explains the packets the emulator decodes.
#include "options.hpp"

#include <QCommandLineParser>

namespace lumora::sim {

ParseResult parseOptions(const std::vector<std::string>& args)
{
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version("version");
    const QCommandLineOption link("link", QString(), "PATH");
    const QCommandLineOption pace("pace");
    const QCommandLineOption dump("dump");
    const QCommandLineOption dumpTimes("dump-times");
    const QCommandLineOption headless("headless");
    QCommandLineParser parser;
    parser.addOptions({help, version, link, pace, dump, dumpTimes, headless});
    QStringList arguments{"lumora-board-sim"};
    for (const std::string& arg : args)
        arguments.append(QString::fromStdString(arg));

    if (!parser.parse(arguments)) {
        if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
            return UsageError{"unknown argument: " + cli::dashed(unknown.first())};
        if (cli::endsWithoutValue(link, args))
            return UsageError{"--link needs a path"};
        QString text = parser.errorText(); // e.g. "Unexpected value after '--help'."
        if (text.endsWith('.'))
            text.chop(1);
        return UsageError{text.left(1).toLower().toStdString() + text.mid(1).toStdString()};
    }
    if (const QStringList stray = parser.positionalArguments(); !stray.isEmpty())
        return UsageError{"unknown argument: " + stray.first().toStdString()};
    if (parser.isSet(help))
        return ShowHelp{};
    if (parser.isSet(version))
        return ShowVersion{};

    Options options;
    if (parser.isSet(link)) {
        options.linkPath = parser.value(link).toStdString();
        if (options.linkPath.empty())
            return UsageError{"--link needs a path"};
    }
    options.pace = parser.isSet(pace);
    options.dumpTimes = parser.isSet(dumpTimes);
    options.dump = parser.isSet(dump) || options.dumpTimes;
    options.headless = parser.isSet(headless);
    return options;
}

std::string helpText()
{
    return std::string(
               "Usage: lumora-board-sim [--link PATH] [--pace] [--dump] [--dump-times] [--headless]\n"
               "\n"
               "Emulates the Lumora lamp board on a pseudo-terminal, so the driver can run\n"
               "without hardware. Point the driver at the link path as if it were the board's\n"
               "serial port.\n"
               "\n"
               "  --link PATH  publish the port as a symbolic link at PATH (default ")
        + kDefaultLinkPath
        + "); the link\n"
          "               is replaced atomically at start and removed on exit\n"
          "  --pace       read at the real line's speed (19200 baud, 8N1: 1920 bytes/s), so\n"
          "               the writer meets the same backpressure as on the board\n"
          "  --dump       print every packet on standard output as five decimal numbers,\n"
          "               one packet per line, for example: 3 0 255 0 13\n"
          "  --dump-times as --dump, each line followed by the time its last byte was\n"
          "               read, in seconds of CLOCK_MONOTONIC: 3 0 255 0 13 8123.456789\n"
          "  --headless   run without a window\n"
          "  -h, --help   show this text and exit\n"
          "  --version    show the version and exit\n"
          "\n"
          "Packets are 5 bytes: channel, red, green, blue, 13. Channels 0, 1, 2 are the left,\n"
          "top and right lamp zones; channel 3 is the keyboard backlight, its level in the\n"
          "green byte. Framing is by length alone, as in the firmware: 5 bytes whose last is\n"
          "13 and whose first is 0..3 make a packet. Anything else counts as one badly framed\n"
          "packet, and the receiver resynchronises by dropping bytes up to and including the\n"
          "next 13 (the first among the 5 collected, or the next to arrive). Levels may be 13,\n"
          "so a resync can misframe a few packets before the stream settles.\n"
          "\n"
          "The window shows a monitor with its left, top and right lamp strips in their\n"
          "current colours, the keyboard backlight level, packets per second per channel and\n"
          "the count of badly framed packets. SIGINT or SIGTERM ends the emulator cleanly.\n";
}

std::string versionText() { return "lumora-board-sim " LUMORA_VERSION "\n"; }

} // namespace lumora::sim
