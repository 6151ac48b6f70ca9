// lumora-test-painter #rrggbb: one full-screen window of that colour on a Wayland desktop, so that
// a test decides what the screen shows. It prints "painted" as the pixels go to the compositor,
// and runs until it is ended.
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Painter : public QRasterWindow {
public:
    explicit Painter(const QColor& colour) : colour_(colour) {}

protected:
    // The window hands the pixels over as soon as this returns.
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), colour_);
        std::puts("painted");
        std::fflush(stdout);
    }

private:
    QColor colour_;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Painter window(QColor(QString::fromLatin1(argc > 1 ? argv[1] : "")));
    window.setFlag(Qt::FramelessWindowHint);
    window.showFullScreen();
    return app.exec();
}
