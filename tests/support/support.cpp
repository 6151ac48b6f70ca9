#include "support/support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lumora::test {

Program::Program(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    process_.setProcessEnvironment(env);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.setStandardOutputFile(dir_.filePath("out"));
    process_.setStandardErrorFile(dir_.filePath("err"));
    process_.start(program, args);
    EXPECT_TRUE(process_.waitForStarted()) << program.toStdString();
}

Program::~Program()
{
    process_.kill();
    process_.waitForFinished();
}

int Program::wait(int ms)
{
    if (!process_.waitForFinished(ms) && process_.state() != QProcess::NotRunning)
        return -2;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void Program::signal(int sig)
{
    if (running())
        ::kill(static_cast<pid_t>(pid()), sig);
}

std::string Program::read(const char* name) const
{
    QFile f(dir_.filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

QString run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool done = p.waitForFinished(kBound) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

Xvfb::Xvfb(const QString& screen, const QStringList& extra)
{
    // The server writes its display number to standard output once it accepts connections.
    process_.start("Xvfb", QStringList{"-displayfd", "1", "-noreset", "-s", "0", "-nolisten", "tcp", "-screen", "0", screen} + extra);
    QByteArray number;
    while (!number.contains('\n') && process_.waitForReadyRead(kBound))
        number += process_.readAllStandardOutput();
    if (!number.contains('\n'))
        throw std::runtime_error("Xvfb did not come up: " + process_.readAllStandardError().toStdString());
    display_ = ":" + QString::fromUtf8(number).trimmed();
}

QString Xvfb::x(const QString& program, const QStringList& args) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    return run(program, args, env);
}

Pty::Pty()
{
    board_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); // the program must not hold it too
    if (board_ < 0 || grantpt(board_) != 0 || unlockpt(board_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = ptsname(board_);
    // Raw from the start, so that the program's bytes arrive unchanged before it sets the line up.
    keep_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(keep_, &tio);
    cfmakeraw(&tio);
    tcsetattr(keep_, TCSANOW, &tio);
}

Pty::~Pty()
{
    closeBoardSide();
    ::close(keep_);
}

void Pty::closeBoardSide()
{
    if (board_ >= 0)
        ::close(board_);
    board_ = -1;
}

void Pty::read(Bytes& to, int ms)
{
    pollfd pfd{board_, POLLIN, 0};
    if (board_ < 0 || poll(&pfd, 1, ms) <= 0)
        return;
    std::uint8_t buf[4096];
    for (ssize_t n; (n = ::read(board_, buf, sizeof buf)) > 0;)
        to.insert(to.end(), buf, buf + n);
}

std::vector<Bytes> packets(const Bytes& stream)
{
    std::vector<Bytes> out;
    for (std::size_t i = 0; i + 5 <= stream.size(); i += 5) {
        out.emplace_back(stream.begin() + static_cast<long>(i), stream.begin() + static_cast<long>(i) + 5);
        EXPECT_TRUE(out.back()[0] <= 3 && out.back()[4] == 13) << "badly framed packet at byte " << i;
    }
    return out;
}

// Fields 14 and 15 of /proc/PID/stat.
double cpuSeconds(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2)); // fields from the third on
    std::string skip;
    for (int i = 3; i < 14; ++i)
        rest >> skip;
    long utime = 0, stime = 0;
    rest >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace lumora::test
