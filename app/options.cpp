// The driver's command line, read by QCommandLineParser; the usage text is written out by hand
// because it also says how to get the right to open the port.
#include "options.hpp"

#include <QCommandLineParser>

#include "control/mode_names.hpp"

#include <optional>

namespace lumora {

namespace {

std::optional<Capture> captureNamed(const QString& name)
{
    if (name == "x11")
        return Capture::X11;
    if (name == "portal")
        return Capture::Portal;
    if (name == "auto")
        return Capture::Auto;
    return std::nullopt;
}

const char* const kPortNeeded = "option --port needs the path of the board's port, e.g. --port /dev/ttyACM0";
const char* const kCaptureNeeded = "option --capture needs x11, portal or auto";
const char* const kMonitorNeeded = "option --monitor needs a monitor's name, as xrandr --listmonitors shows it";
const char* const kModeNeeded = "option --mode needs off, fixed, rnd or auto";
const char* const kAutostartNeeded = "option --autostart needs on or off";


} // namespace

ParseResult parseOptions(const std::vector<std::string>& args)
{
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version("version");
    const QCommandLineOption port(QStringList{"p", "port"}, QString(), "PATH");
    const QCommandLineOption capture("capture", QString(), "HOW");
    const QCommandLineOption monitor("monitor", QString(), "NAME");
    const QCommandLineOption keepLit("keep-lit-when-locked");
    const QCommandLineOption mode("mode", QString(), "MODE");
    const QCommandLineOption hidden("hidden");
    const QCommandLineOption autostart("autostart", QString(), "ON|OFF");
    QCommandLineParser parser;
    parser.addOptions({help, version, port, capture, monitor, keepLit, mode, hidden, autostart});
    QStringList arguments{"lumora-driver"};
    for (const std::string& arg : args)
        arguments.append(QString::fromStdString(arg));

    if (!parser.parse(arguments)) {
        if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
            return UsageError{"unknown option '" + cli::dashed(unknown.first()) + "'"};
        if (cli::endsWithoutValue(port, args))
            return UsageError{kPortNeeded};
        if (cli::endsWithoutValue(capture, args))
            return UsageError{kCaptureNeeded};
        if (cli::endsWithoutValue(monitor, args))
            return UsageError{kMonitorNeeded};
        if (cli::endsWithoutValue(mode, args))
            return UsageError{kModeNeeded};
        if (cli::endsWithoutValue(autostart, args))
            return UsageError{kAutostartNeeded};
        QString text = parser.errorText(); // e.g. "Unexpected value after '--help'."
        if (text.endsWith('.'))
            text.chop(1);
        return UsageError{text.left(1).toLower().toStdString() + text.mid(1).toStdString()};
    }
    if (const QStringList stray = parser.positionalArguments(); !stray.isEmpty())
        return UsageError{"unexpected argument '" + stray.first().toStdString() + "'"};
    if (parser.isSet(help))
        return ShowHelp{};
    if (parser.isSet(version))
        return ShowVersion{};

    Options options;
    if (parser.isSet(port)) {
        const std::string path = parser.value(port).toStdString();
        if (path.empty())
            return UsageError{kPortNeeded};
        if (path != "auto")
            options.port = path;
    }
    if (parser.isSet(capture)) {
        const QString name = parser.value(capture);
        const std::optional<Capture> chosen = captureNamed(name);
        if (!chosen)
            return UsageError{"option --capture takes x11, portal or auto, not '" + name.toStdString() + "'"};
        options.capture = *chosen;
    }
    if (parser.isSet(monitor)) {
        options.monitor = parser.value(monitor).toStdString();
        if (options.monitor.empty())
            return UsageError{kMonitorNeeded};
    }
    options.keepLitWhenLocked = parser.isSet(keepLit);
    if (parser.isSet(mode)) {
        options.mode = modeNamed(parser.value(mode).toStdString());
        if (!options.mode)
            return UsageError{"option --mode takes off, fixed, rnd or auto, not '" + parser.value(mode).toStdString() + "'"};
    }
    options.hidden = parser.isSet(hidden);
    if (parser.isSet(autostart)) {
        const QString value = parser.value(autostart);
        if (value != "on" && value != "off")
            return UsageError{"option --autostart takes on or off, not '" + value.toStdString() + "'"};
        options.autostart = value == "on";
    }
    return options;
}

Capture chooseCapture(Capture requested, std::string_view sessionType, std::string_view waylandDisplay,
                      std::string_view x11Display)
{
    if (requested != Capture::Auto)
        return requested;
    if (!waylandDisplay.empty() && sessionType != "x11")
        return Capture::Portal;
    if (sessionType == "wayland" && x11Display.empty())
        return Capture::Portal;
    return Capture::X11;
}

std::string usageText()
{
    return "Usage: lumora-driver [--port PATH|auto] [--capture x11|portal|auto] [--monitor NAME]\n"
           "                    [--keep-lit-when-locked] [--mode MODE] [--hidden]\n"
           "       lumora-driver --autostart on|off [--mode MODE]\n"
           "Drives the Lumora ambient-lighting board (firmware 1.2) on a serial port.\n"
           "\n"
           "  -p, --port PATH     the board's serial port, or auto (the default): the one USB\n"
           "                      serial adapter in /dev/serial/by-id/, looked for again at every\n"
           "                      reconnection; with several there, choose one with --port PATH\n"
           "      --capture HOW   how AUTO mode reads the screen: x11 (X11 or XWayland), portal\n"
           "                      (the desktop portal of a Wayland desktop, which asks the user\n"
           "                      once), or auto (the default: the portal in a Wayland session,\n"
           "                      X11 otherwise)\n"
           "      --monitor NAME  the monitor whose edges carry the lamps, as xrandr --listmonitors\n"
           "                      names it (X11 only; default: the primary monitor)\n"
           "      --keep-lit-when-locked\n"
           "                      leave the lamps lit while the screen is locked (by default\n"
           "                      they go dark, as they do while the computer sleeps or shuts down)\n"
           "      --mode MODE     start in this mode: off, fixed, rnd or auto (default off); when\n"
           "                      a driver already runs, switch it to this mode instead\n"
           "      --hidden        start with the window hidden in the tray (where the desktop has\n"
           "                      none, the window shows)\n"
           "      --autostart on|off\n"
           "                      start the driver at login, hidden, in --mode (or the running\n"
           "                      driver's mode), or stop doing so; then exit. It writes or removes\n"
           "                      ~/.config/autostart/net.example.lumora.Driver.desktop\n"
           "  -h, --help          show this help and exit\n"
           "      --version       show the version and exit\n"
           "\n"
           "The port is opened at 19200 baud, 8 data bits, no parity, 1 stop bit. To open it without\n"
           "root, add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.\n"
           "Without the board the driver starts all the same and says in its window what it waits\n"
           "for; it connects when the board is plugged in, and again after it was unplugged.\n"
           "\n"
           "However the driver ends (its window closed, SIGTERM, SIGINT or SIGHUP, the session logging\n"
           "out and taking the display with it) it switches the zone lamps off first. While it runs it\n"
           "holds off sleep and shut-down (logind) for as long as it takes to switch the lamps off, and\n"
           "lights them again on waking; the screen lock darkens them too.\n"
           "\n"
           "One driver runs per desktop session: a second start hands its --mode to the running one,\n"
           "brings its window to the front and exits. The running driver is on the session bus as\n"
           "net.example.lumora.Driver, object /net/example/lumora/Driver, interface\n"
           "net.example.lumora.Driver1, for example:\n"
           "  busctl --user call net.example.lumora.Driver /net/example/lumora/Driver \\\n"
           "      net.example.lumora.Driver1 SetMode s auto\n"
           "  busctl --user call net.example.lumora.Driver /net/example/lumora/Driver \\\n"
           "      net.example.lumora.Driver1 SetFixedColour iyyy 3 255 120 0\n"
           "  busctl --user get-property net.example.lumora.Driver /net/example/lumora/Driver \\\n"
           "      net.example.lumora.Driver1 Zones\n";
}

std::string versionText() { return "lumora-driver " LUMORA_VERSION "\n"; }

} // namespace lumora
