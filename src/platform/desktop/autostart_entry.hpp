// The user's login entry for the driver ($XDG_CONFIG_HOME/autostart, ~/.config/autostart by
// default): the one file the driver writes, and only when the user asks.
#pragma once

#include <QString>
#include <QStringList>

namespace lumora {

class AutostartEntry {
public:
    // The entry's file name: the driver's desktop id, so that it takes the place of a system-wide one.
    static constexpr const char* kFileName = "net.example.lumora.Driver.desktop";

    static QString path();
    static bool exists();
    // Writes the entry, replacing the file whole, to start `program` with `args` at login. Returns
    // an empty text, or why it could not (naming the file).
    static QString write(const QString& program, const QStringList& args);
    // Removes it; an entry that is not there is no failure.
    static QString remove();
};

} // namespace lumora
