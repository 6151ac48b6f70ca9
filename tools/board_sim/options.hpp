// The emulator's command line.
#pragma once

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
    bool headless = false; // no window
};

struct ShowHelp {};

struct UsageError {
    std::string message;
};

using ParseResult = std::variant<Options, ShowHelp, UsageError>;

// `args` excludes the program name.
ParseResult parseOptions(const std::vector<std::string>& args);

std::string helpText();

} // namespace lumora::sim
