#include "platform/desktop/autostart_entry.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace lumora {

namespace {

// One argument of an Exec line, quoted where the desktop entry rules need it.
QString execArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    if (!arg.isEmpty() && std::none_of(arg.begin(), arg.end(), [](QChar c) { return reserved.contains(c); }))
        return arg;
    QString quoted = arg;
    for (const char* c : {"\\", "\"", "`", "$"})
        quoted.replace(c, QString("\\") + c);
    // The file's own escapes come on top of the Exec line's: a backslash is written twice again.
    quoted.replace("\\", "\\\\");
    return '"' + quoted.replace("%", "%%") + '"';
}

} // namespace

QString AutostartEntry::path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/autostart/" + kFileName;
}

bool AutostartEntry::exists() { return QFileInfo::exists(path()); }

QString AutostartEntry::write(const QString& program, const QStringList& args)
{
    QStringList exec{execArgument(program)};
    for (const QString& arg : args)
        exec.append(execArgument(arg));
    const QString text = "[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Lumora Driver\n"
                         "Comment=Light the lamps at the screen's edges from what the screen shows\n"
                         "Icon=net.example.lumora.Driver\n"
                         "Exec=" + exec.join(' ') + "\n"
                         "Terminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n";
    const QString file = path();
    if (!QDir().mkpath(QFileInfo(file).path()))
        return "cannot create the folder of " + file;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        return "cannot write " + file + ": " + out.errorString();
    return {};
}

QString AutostartEntry::remove()
{
    const QString file = path();
    if (QFile::exists(file) && !QFile::remove(file))
        return "cannot remove " + file;
    return {};
}

} // namespace lumora
