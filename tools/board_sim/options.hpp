// The emulator's command line. Parsed with QCommandLineParser, but nothing of Qt shows here, so the
// unit tests of the command line need no Qt of their own.
#pragma once

#include "platform/cli/command_line.hpp"

#include <string>
#include <variant>
#include <vector>

namespace lumora::sim {

inline constexpr const char* kDefaultLinkPath = "/tmp/lumora-board";
inline constexpr int kLineBytesPerSecond = 1920; // 19200 baud, 8N1: ten bit times per byte

struct Options {
    std::string linkPath = kDefaultLinkPath;
    bool pace = false;     // read no faster than the real line carries
    bool dump = false;     // print every packet on standard output
    bool dumpTimes = false; // with dump: each line ends in the CLOCK_MONOTONIC time it was read
    bool headless = false; // no window
};

using cli::ShowHelp;
using cli::ShowVersion;
using cli::UsageError;
using ParseResult = cli::ParseResult<Options>;

// `args` excludes the program name. A mistake anywhere wins over --help, and --help over --version.
ParseResult parseOptions(const std::vector<std::string>& args);

std::string helpText();
std::string versionText(); // the program's name and version, one line

} // namespace lumora::sim
