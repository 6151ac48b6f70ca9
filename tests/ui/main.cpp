// The window tests need one QApplication for the whole run, made before any test builds a window.
// Without a display they fall back to Qt's offscreen platform; the tests that read the X server's
// own pixels then skip. Without a runtime folder (as in CI) they get a private one for the run, where
// Qt would otherwise make /tmp/runtime-USER and leave it behind.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QTemporaryDir runtime; // mode 0700, as Qt wants a runtime folder
    if (!std::getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
