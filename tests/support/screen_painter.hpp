// A full-screen window of one colour on a Wayland desktop (tests/painter), for desktops whose
// background a test cannot set by itself. Ended by its process id.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <string>

namespace lumora::test {

class ScreenPainter {
public:
    // Shows the window on the desktop that `env` leads to (WAYLAND_DISPLAY and the rest); returns
    // once it is painted, or throws with its output.
    explicit ScreenPainter(const QProcessEnvironment& env);
    ScreenPainter(const ScreenPainter&) = delete;
    ScreenPainter& operator=(const ScreenPainter&) = delete;
    ~ScreenPainter();

    // Repaints the window `colour` ("#rrggbb"); returns once the pixels went to the compositor.
    void paint(const QString& colour);
    qint64 pid() const { return process_.processId(); }

private:
    void awaitPainted(const QString& colour);
    QProcess process_;
    QTemporaryDir dir_;
    int lines_ = 0; // the lines of output seen so far
};

} // namespace lumora::test
