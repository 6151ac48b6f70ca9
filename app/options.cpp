#include "options.hpp"

#include <stdexcept>

namespace lumora {

namespace {

Capture captureNamed(const std::string& option, const std::string& name)
{
    if (name == "x11")
        return Capture::X11;
    if (name == "portal")
        return Capture::Portal;
    if (name == "auto")
        return Capture::Auto;
    throw std::invalid_argument("option " + option + " takes x11, portal or auto, not '" + name + "'");
}

} // namespace

Options parseOptions(const std::vector<std::string>& args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--port" || a == "-p") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                throw std::invalid_argument("option " + a + " needs the path of the board's port, e.g. --port /dev/ttyACM0");
            o.port = args[++i];
        } else if (a.rfind("--port=", 0) == 0 && a.size() > 7) {
            o.port = a.substr(7);
        } else if (a == "--capture") {
            if (i + 1 >= args.size())
                throw std::invalid_argument("option --capture needs x11, portal or auto");
            o.capture = captureNamed(a, args[++i]);
        } else if (a.rfind("--capture=", 0) == 0) {
            o.capture = captureNamed("--capture", a.substr(10));
        } else if (a == "--monitor") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                throw std::invalid_argument("option --monitor needs a monitor's name, as xrandr --listmonitors shows it");
            o.monitor = args[++i];
        } else if (a.rfind("--monitor=", 0) == 0 && a.size() > 10) {
            o.monitor = a.substr(10);
        } else {
            throw std::invalid_argument("unknown option '" + a + "' (see --help)");
        }
    }
    return o;
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
    return "Usage: lumora-driver [--port PATH] [--capture x11|portal|auto] [--monitor NAME]\n"
           "Drives the Lumora ambient-lighting board (firmware 1.2) on a serial port.\n"
           "\n"
           "  -p, --port PATH   the board's serial port (default /dev/ttyUSB0)\n"
           "      --capture HOW how AUTO mode reads the screen: x11 (X11 or XWayland), portal (the\n"
           "                    desktop portal of a Wayland desktop, which asks the user once), or auto\n"
           "                    (the default: the portal in a Wayland session, X11 otherwise)\n"
           "      --monitor NAME\n"
           "                    the monitor whose edges carry the lamps, as xrandr --listmonitors\n"
           "                    names it (X11 only; default: the primary monitor)\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "The port is opened at 19200 baud, 8 data bits, no parity, 1 stop bit. To open it without\n"
           "root, add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.\n";
}

std::string versionText() { return "lumora-driver 1.2\n"; }

} // namespace lumora
