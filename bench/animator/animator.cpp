// lumora-bench-animator: a full-screen window that changes its colour, either on every frame the
// display server asks for or black/white by a schedule, and prints one line per colour on
// standard output, flushed at once:
//
//     SECONDS RRGGBB
//
// SECONDS is CLOCK_MONOTONIC, taken once the frame was handed to the display server: after the
// backing store's flush and QGuiApplication::sync. On X11 that sync is a round trip, so the new
// pixels are already in the screen's image, where any reader sees them. On Wayland (Qt 6.4) it
// sends nothing: the stamp follows the surface commit, which Qt writes to the compositor's socket
// as the event loop goes idle right after (microseconds); the compositor shows the buffer at its
// next output frame, and a delay measured from the stamp includes that wait.
//
//   lumora-bench-animator [--every-frame [--fps N] | --period MS [--jitter MS]] [--changes N]
//
// --every-frame (the default) paints a new grey level whenever the display server is ready for a
// frame (Qt's update requests: frame callbacks on Wayland, a timer on X11); with --fps, on a timer
// of 1000/N ms instead, for a server that paces nothing (Xvfb). --period alternates
// black and white every MS ms plus a random 0..jitter ms, so the changes fall at every phase of
// the reader's ticks. --changes ends the program after N colours.
#include <QBackingStore>
#include <QCommandLineParser>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <time.h>

#include <cstdio>
#include <random>

namespace {

class Animator : public QWindow {
public:
    Animator(bool everyFrame, int periodMs, int jitterMs, long changes)
        : backingStore_(this), everyFrame_(everyFrame), periodMs_(periodMs), jitterMs_(jitterMs), changes_(changes)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { showNext(); });
    }

protected:
    void exposeEvent(QExposeEvent*) override
    {
        if (!isExposed())
            return;
        if (!started_) {
            started_ = true;
            showNext();
        } else {
            paint(); // the same colour again: an expose is no change of ours
        }
    }

    void resizeEvent(QResizeEvent*) override { backingStore_.resize(size()); }

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::UpdateRequest && everyFrame_) {
            showNext();
            return true;
        }
        return QWindow::event(e);
    }

private:
    void showNext()
    {
        if (everyFrame_) {
            level_ = (level_ + 37) % 256; // a large step, so every frame differs from the one before
            colour_ = QColor(level_, level_, level_);
        } else {
            colour_ = colour_ == Qt::white ? QColor(Qt::black) : QColor(Qt::white);
        }
        paint();
        QGuiApplication::sync();
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("%lld.%06ld %02x%02x%02x\n", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000, colour_.red(),
                    colour_.green(), colour_.blue());
        std::fflush(stdout);
        if (changes_ > 0 && ++shown_ >= changes_) {
            QGuiApplication::quit();
            return;
        }
        if (everyFrame_ && periodMs_ <= 0)
            requestUpdate();
        else if (everyFrame_)
            timer_.start(periodMs_);
        else
            timer_.start(periodMs_ + (jitterMs_ > 0 ? static_cast<int>(random_() % static_cast<unsigned>(jitterMs_ + 1)) : 0));
    }

    void paint()
    {
        const QRect rect(QPoint(), size());
        backingStore_.beginPaint(rect);
        {
            QPainter painter(backingStore_.paintDevice());
            painter.fillRect(rect, colour_);
        }
        backingStore_.endPaint();
        backingStore_.flush(rect);
    }

    QBackingStore backingStore_;
    QTimer timer_;
    std::minstd_rand random_{20261207};
    const bool everyFrame_;
    const int periodMs_;
    const int jitterMs_;
    const long changes_;
    long shown_ = 0;
    bool started_ = false;
    int level_ = 0;
    QColor colour_ = Qt::white; // the first scheduled colour is black
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A full-screen window that changes colour and prints when each colour went up.");
    parser.addHelpOption();
    const QCommandLineOption everyFrame("every-frame", "A new grey level on every frame (the default).");
    const QCommandLineOption period("period", "Alternate black and white every MS ms.", "MS");
    const QCommandLineOption jitter("jitter", "Add a random 0..MS ms to each period.", "MS", "0");
    const QCommandLineOption fps("fps", "With --every-frame: N frames per second by a timer.", "N", "0");
    const QCommandLineOption changes("changes", "End after N colours (0: never).", "N", "0");
    parser.addOptions({everyFrame, fps, period, jitter, changes});
    parser.process(app);

    const bool scheduled = parser.isSet(period) && !parser.isSet(everyFrame);
    const int rate = parser.value(fps).toInt();
    const int periodMs = scheduled ? parser.value(period).toInt() : rate > 0 ? 1000 / rate : 0;
    if (scheduled && periodMs <= 0) {
        std::fprintf(stderr, "lumora-bench-animator: --period needs a positive number of ms\n");
        return 2;
    }
    Animator window(!scheduled, periodMs, parser.value(jitter).toInt(), parser.value(changes).toLong());
    window.setSurfaceType(QSurface::RasterSurface);
    window.setFlag(Qt::FramelessWindowHint);
    window.setGeometry(window.screen()->geometry()); // no window manager on Xvfb sizes it for us
    window.showFullScreen();
    return app.exec();
}
