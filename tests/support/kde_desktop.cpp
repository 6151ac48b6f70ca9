#include "support/kde_desktop.hpp"

#include <QDataStream>
#include <QFile>
#include <QRegularExpression>

#include <stdexcept>

namespace lumora::test {

namespace {

// The backend as the bus would start it: the Exec line of its D-Bus service file.
QString backendProgram()
{
    QFile service("/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service");
    const QString text = service.open(QIODevice::ReadOnly) ? QString::fromUtf8(service.readAll()) : QString();
    const QRegularExpressionMatch m = QRegularExpression("^Exec=(\\S+)", QRegularExpression::MultilineOption).match(text);
    if (!m.hasMatch())
        throw std::runtime_error("no Exec line in " + service.fileName().toStdString());
    return m.captured(1);
}

} // namespace

KdeDesktop::KdeDesktop(const QString& size) : PortalDesktop("KDE")
{
    const QStringList wh = size.split('x');
    QProcessEnvironment kwinEnv = env_;
    kwinEnv.insert("KWIN_WAYLAND_NO_PERMISSION_CHECKS", "1"); // the portal uses kwin's own screen-cast protocol
    kwinEnv.insert("LIBGL_ALWAYS_SOFTWARE", "1");
    compositor_.emplace(stackDir() + "/kde/kwin_wayland",
                        QStringList{"--virtual", "--width", wh.value(0), "--height", wh.value(1), "--socket", "wayland-kde",
                                    "--no-lockscreen", "--no-global-shortcuts", "--no-kactivities"},
                        kwinEnv);
    await(*compositor_, "kwin_wayland", [&] { return QFile::exists(env_.value("XDG_RUNTIME_DIR") + "/wayland-kde"); });
    env_.insert("WAYLAND_DISPLAY", "wayland-kde");
    QProcessEnvironment backendEnv = env_;
    backendEnv.insert("QT_QPA_PLATFORM", "wayland"); // without it the Qt 5 backend looks for an X display and aborts
    runBackend(backendProgram(), {}, "org.freedesktop.impl.portal.desktop.kde", backendEnv);
    startPortal();
}

void KdeDesktop::keepMonitorChoice() const
{
    // xdg-desktop-portal-kde 5.27 keeps ("KDE", version 1, a byte array): a QVariantMap written by
    // Qt 5's QDataStream, whose "outputs" name each output by its top-left corner ("0x0").
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_15);
    stream << QVariantMap{{"outputs", QVariantList{QString("0x0")}}, {"windows", QStringList{}}};
    QStringList bytes;
    for (const char byte : payload)
        bytes << QString("0x%1").arg(static_cast<unsigned char>(byte), 2, 16, QChar('0'));
    keepScreenCastChoice("('KDE', uint32 1, <[byte " + bytes.join(", ") + "]>)");
}

} // namespace lumora::test
