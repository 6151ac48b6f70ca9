// Real parts for the tests that need them: programs of the test's own, private X servers and D-Bus
// buses, pseudo-terminals standing in for the board. Waiting is QTest::qWaitFor with a bound.
#pragma once

#include "platform/posix/pseudo_terminal.hpp"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumora::test {

using Bytes = std::vector<std::uint8_t>;
constexpr int kBound = 20000; // ms; only so that a broken program fails instead of hanging

// A program of the test's own, its output kept in files of a private folder; the destructor ends
// it by its process id if it still runs.
class Program {
public:
    Program(const QString& program, const QStringList& args,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program();

    qint64 pid() const { return process_.processId(); }
    bool running() { return process_.state() != QProcess::NotRunning && !process_.waitForFinished(0); }
    // The exit status within `ms`: -1 for a crash, -2 when it still runs.
    int wait(int ms = kBound);
    void signal(int sig);
    std::string out() const { return read("out"); }
    std::string err() const { return read("err"); }

private:
    std::string read(const char* name) const;
    QTemporaryDir dir_;
    QProcess process_;
};

// Runs a short command to its end; its standard output, or an empty text when it failed.
QString run(const QString& program, const QStringList& args,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// The text of a file, or an empty text when it cannot be read.
std::string contents(const QString& path);

// A private Xvfb server that picks a free display itself (-displayfd).
class Xvfb {
public:
    explicit Xvfb(const QString& screen = "1920x1080x24", const QStringList& extra = {});
    ~Xvfb() { process_.terminate(), process_.waitForFinished(); }
    const QString& display() const { return display_; }
    qint64 pid() const { return process_.processId(); }
    // xdotool, xsetroot and the like on this display.
    QString x(const QString& program, const QStringList& args) const;
    void kill() { process_.kill(), process_.waitForFinished(); }

private:
    QProcess process_;
    QString display_;
};

// A private D-Bus daemon that lets anyone own any name and starts no services of its own, so that
// nothing outlives it; the destructor ends it by its process id and removes its folder.
class PrivateBus {
public:
    PrivateBus(); // throws std::runtime_error when the daemon does not come up
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }
    // A new connection to this bus, closed with it.
    QDBusConnection connect();

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString address_;
    QStringList connections_;
};

// The emulator's pseudo-terminal: the test holds the board's side, the program opens path().
class Pty {
public:
    const std::string& path() const { return terminal_.slavePath(); }
    // Appends what arrives within `ms` (returns as soon as some bytes are there) to `to`.
    void read(Bytes& to, int ms = 20);
    void closeBoardSide() { terminal_.closeMaster(); }

private:
    PseudoTerminal terminal_;
};

// CPU time (user + system) that a process has used so far, in seconds.
double cpuSeconds(qint64 pid);

// The 5-byte packets of a stream, each checked for its channel and end mark.
std::vector<Bytes> packets(const Bytes& stream);

} // namespace lumora::test
