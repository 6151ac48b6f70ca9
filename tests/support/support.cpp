#include "support/support.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QFile>

#include <atomic>

#include <ctime>
#include <fstream>
#include <stdexcept>

namespace lumora::test {

std::string contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

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
    return contents(dir_.filePath(name));
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

PrivateBus::PrivateBus()
{
    const QString config = dir_.filePath("bus.conf");
    std::ofstream(config.toStdString()) << "<busconfig><type>session</type><listen>unix:dir=" << dir_.path().toStdString()
                                        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow own=\"*\"/>"
                                           "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n";
    // The daemon prints its address once it listens; its complaints go to a file, so that it never
    // blocks on a full pipe, and it dies with this process, should the test crash.
    process_.setStandardErrorFile(dir_.filePath("err"));
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address"});
    QByteArray out;
    while (!out.contains('\n') && process_.waitForReadyRead(kBound))
        out += process_.readAllStandardOutput();
    if (!out.contains('\n'))
        throw std::runtime_error("dbus-daemon did not come up: " + contents(dir_.filePath("err")));
    address_ = QString::fromUtf8(out).trimmed();
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : connections_)
        QDBusConnection::disconnectFromBus(name);
    process_.kill();
    process_.waitForFinished();
}

QDBusConnection PrivateBus::connect()
{
    static std::atomic<int> count{0};
    connections_.append(QStringLiteral("lumora-test-%1").arg(++count));
    return QDBusConnection::connectToBus(address_, connections_.back());
}

void Pty::read(Bytes& to, int ms)
{
    pollfd pfd{terminal_.masterFd(), POLLIN, 0};
    if (pfd.fd < 0 || poll(&pfd, 1, ms) <= 0)
        return;
    std::uint8_t buf[4096];
    for (PseudoTerminal::ReadResult r; (r = terminal_.read(buf, sizeof buf)).bytes > 0;)
        to.insert(to.end(), buf, buf + r.bytes);
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
    // The process's CPU clock counts in nanoseconds; /proc's times only in clock ticks (10 ms).
    clockid_t clock{};
    timespec t{};
    if (clock_getcpuclockid(static_cast<pid_t>(pid), &clock) != 0 || clock_gettime(clock, &t) != 0)
        throw std::runtime_error("cannot read the CPU time of process " + std::to_string(pid));
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace lumora::test
