#include "support/screen_painter.hpp"

#include "support/support.hpp"

#include <QFile>

#include <stdexcept>

namespace lumora::test {

ScreenPainter::ScreenPainter(const QProcessEnvironment& env)
{
    QProcessEnvironment painterEnv = env;
    painterEnv.insert("QT_QPA_PLATFORM", "wayland");
    process_.setProcessEnvironment(painterEnv);
    process_.setStandardOutputFile(dir_.filePath("out"));
    process_.setStandardErrorFile(dir_.filePath("err"));
    process_.start(LUMORA_PAINTER_PATH, QStringList{});
    if (!process_.waitForStarted())
        throw std::runtime_error("the painter did not start: " + process_.errorString().toStdString());
    awaitPainted("#000000");
}

ScreenPainter::~ScreenPainter()
{
    process_.kill();
    process_.waitForFinished();
}

void ScreenPainter::paint(const QString& colour)
{
    process_.write(colour.toLatin1() + "\n");
    awaitPainted(colour.toLower());
}

void ScreenPainter::awaitPainted(const QString& colour)
{
    // Only lines after those seen before count, so painting the same colour twice waits twice.
    const auto painted = [&] {
        QFile out(dir_.filePath("out"));
        if (!out.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> lines = out.readAll().split('\n');
        for (int i = lines_; i + 1 < lines.size(); ++i) // the last piece is not a whole line yet
            if (lines[i].startsWith("painted " + colour.toLatin1() + " "))
                return lines_ = i + 1, true;
        return false;
    };
    if (!QTest::qWaitFor([&] { return process_.state() != QProcess::Running || painted(); }, kBound) ||
        process_.state() != QProcess::Running) {
        QFile err(dir_.filePath("err"));
        err.open(QIODevice::ReadOnly);
        throw std::runtime_error("the painter did not paint " + colour.toStdString() + ": " + err.readAll().toStdString());
    }
}

} // namespace lumora::test
