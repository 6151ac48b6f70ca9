// What reading a program's command line can end in, and the parts of turning the parser's errors
// into messages that the driver and the board emulator share, so both keep one convention.
#pragma once

#include <string>
#include <variant>
#include <vector>

class QCommandLineOption;
class QString;

namespace lumora::cli {

// Print the program's help on standard output and exit with status 0.
struct ShowHelp {};
// Print the program's version on standard output and exit with status 0.
struct ShowVersion {};
// Print the message on standard error, in one line, and exit with status 2.
struct UsageError {
    std::string message;
};

template <typename Options>
using ParseResult = std::variant<Options, ShowHelp, ShowVersion, UsageError>;

// Whether the failed parse ended on `option` with no value after it: the parser says so only in
// its own words, and the program's message should say what the value is.
bool endsWithoutValue(const QCommandLineOption& option, const std::vector<std::string>& args);

// An option's name as typed: -p, --port.
std::string dashed(const QString& name);

} // namespace lumora::cli
