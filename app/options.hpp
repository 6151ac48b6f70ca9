// The command line: which port the board is on, and the usual --help and --version.
#pragma once

#include <string>
#include <vector>

namespace lumora {

struct Options {
    std::string port = "/dev/ttyUSB0";
    bool help = false;
    bool version = false;
};

// Throws std::invalid_argument with a message for the user on an unknown or incomplete option.
Options parseOptions(const std::vector<std::string>& args);

std::string usageText();
std::string versionText();

} // namespace lumora
