// Self-pipe for termination signals.
#include "platform/posix/signal_watcher.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace lumora {

namespace {

volatile sig_atomic_t gWriteFd = -1;

// SIGHUP too: closing the terminal a program was started from must not kill it mid-packet.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onTerminationSignal(int sig)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    if (gWriteFd >= 0)
        [[maybe_unused]] const ssize_t n = ::write(gWriteFd, &byte, 1);
    errno = savedErrno;
}

void setHandler(int sig, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
    readEnd_.reset(fds[0]);
    writeEnd_.reset(fds[1]);
    gWriteFd = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatcher::onPipeReadable);
    for (const int sig : kSignals)
        setHandler(sig, onTerminationSignal);
}

SignalWatcher::~SignalWatcher()
{
    for (const int sig : kSignals)
        setHandler(sig, SIG_DFL);
    gWriteFd = -1;
}

void SignalWatcher::onPipeReadable()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(readEnd_.get(), &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit terminationRequested(last);
}

} // namespace lumora
