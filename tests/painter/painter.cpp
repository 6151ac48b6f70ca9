// lumora-test-painter: one full-screen window of one colour on a Wayland desktop, so that a test
// decides what the screen shows. Each line on standard input ("#rrggbb") repaints the window; once
// the new pixels are handed to the compositor it prints "painted #rrggbb WxH", flushed at once.
// It ends when standard input closes.
#include <QBackingStore>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <unistd.h>

#include <cstdio>

namespace {

class Painter : public QWindow {
public:
    Painter() : store_(this) {}

    void show(const QColor& colour)
    {
        colour_ = colour;
        paint();
    }

protected:
    void exposeEvent(QExposeEvent*) override { paint(); }
    void resizeEvent(QResizeEvent*) override { store_.resize(size()); }

private:
    void paint()
    {
        if (!isExposed())
            return; // the expose that follows paints it
        const QRect all(QPoint(), size());
        store_.beginPaint(all);
        {
            QPainter p(store_.paintDevice());
            p.fillRect(all, colour_);
        }
        store_.endPaint();
        store_.flush(all);
        std::printf("painted %s %dx%d\n", colour_.name().toLatin1().constData(), width(), height());
        std::fflush(stdout);
    }

    QBackingStore store_;
    QColor colour_ = Qt::black;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Painter window;
    window.setSurfaceType(QSurface::RasterSurface);
    window.setFlag(Qt::FramelessWindowHint);
    window.setGeometry(window.screen()->geometry());
    window.showFullScreen();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return QGuiApplication::quit();
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QColor colour(QString::fromLatin1(pending.left(end).trimmed()));
            if (colour.isValid())
                window.show(colour);
        }
    });
    return app.exec();
}
