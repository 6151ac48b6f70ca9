#include "platform/cli/command_line.hpp"

#include <QCommandLineOption>
#include <QString>

namespace lumora::cli {

bool endsWithoutValue(const QCommandLineOption& option, const std::vector<std::string>& args)
{
    if (args.empty())
        return false;
    const QString last = QString::fromStdString(args.back());
    for (const QString& name : option.names()) {
        const bool shortName = name.size() == 1;
        if (shortName ? last.size() >= 2 && last.startsWith('-') && last[1] != '-' && last.endsWith(name)
                      : last == "--" + name)
            return true;
    }
    return false;
}

std::string dashed(const QString& name) { return ((name.size() == 1 ? "-" : "--") + name).toStdString(); }

} // namespace lumora::cli
