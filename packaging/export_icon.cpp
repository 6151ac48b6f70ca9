// lumora-export-icon: writes the program's icon as PNG files into an icon theme's folder layout,
// so the desktop shows the same picture the window draws. Run at build time, without a display
// (QT_QPA_PLATFORM=offscreen).
//   lumora-export-icon THEME_DIR ICON_NAME SIZE...
// writes THEME_DIR/SIZExSIZE/apps/ICON_NAME.png for each SIZE; exits non-zero when any file
// cannot be drawn at its size or written.
#include "ui/icon.hpp"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: lumora-export-icon THEME_DIR ICON_NAME SIZE...\n", stderr);
        return 2;
    }
    const QString themeDir = args.at(1);
    const QString name = args.at(2);
    const QIcon icon = lumora::appIcon();
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int side = args.at(i).toInt(&ok);
        if (!ok || side <= 0 || side > 1024) {
            std::fprintf(stderr, "lumora-export-icon: '%s' is not an icon size\n", qPrintable(args.at(i)));
            return 2;
        }
        const QImage image = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
        // A theme's NxN folder must hold an N by N picture: anything else is a fault of the drawing.
        if (image.size() != QSize(side, side)) {
            std::fprintf(stderr, "lumora-export-icon: the icon drawn at %d came out %dx%d\n", side, image.width(),
                         image.height());
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(side);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, name);
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "lumora-export-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
