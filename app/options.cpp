#include "options.hpp"

#include <stdexcept>

namespace lumora {

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
        } else {
            throw std::invalid_argument("unknown option '" + a + "' (see --help)");
        }
    }
    return o;
}

std::string usageText()
{
    return "Usage: lumora-driver [--port PATH]\n"
           "Drives the Lumora ambient-lighting board (firmware 1.2) on a serial port.\n"
           "\n"
           "  -p, --port PATH   the board's serial port (default /dev/ttyUSB0)\n"
           "  -h, --help        show this help and exit\n"
           "      --version     show the version and exit\n"
           "\n"
           "The port is opened at 19200 baud, 8 data bits, no parity, 1 stop bit. To open it without\n"
           "root, add your user to the dialout group (sudo usermod -aG dialout $USER) and log in again.\n";
}

std::string versionText() { return "lumora-driver 1.2\n"; }

} // namespace lumora
