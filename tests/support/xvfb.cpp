// Starting and stopping private Xvfb servers. The server reports its display number on a pipe
// (-displayfd) once it accepts connections, so nothing here waits on a guess.
#include "support/xvfb.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace lumora::test {

namespace {

struct PipeEnd {
    int fd = -1;
    ~PipeEnd() { close(); }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

// Reads the display number the server writes, or returns nullopt if it ends or the bound passes.
std::optional<int> readDisplayNumber(int fd, std::chrono::milliseconds bound)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        char buf[32];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return std::nullopt; // the server ended before it was ready
        text.append(buf, static_cast<std::size_t>(n));
    }
    return std::stoi(text);
}

} // namespace

Xvfb::Xvfb(const std::vector<std::string>& extraArgs, std::optional<int> number)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("cannot make a pipe for Xvfb");
    PipeEnd readEnd{fds[0]};
    PipeEnd writeEnd{fds[1]};
    ::fcntl(readEnd.fd, F_SETFD, FD_CLOEXEC); // only the server inherits the write end

    std::vector<std::string> argv{"Xvfb"};
    if (number)
        argv.push_back(":" + std::to_string(*number));
    argv.insert(argv.end(), {"-displayfd", std::to_string(writeEnd.fd), "-noreset", "-s", "0", "-nolisten", "tcp"});
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());

    process_ = Process::start(argv, {}, {writeEnd.fd});
    writeEnd.close(); // so that the pipe reports the end of a server that dies early
    const auto reported = readDisplayNumber(readEnd.fd, std::chrono::seconds(20));
    if (!reported) {
        process_.kill();
        throw std::runtime_error("Xvfb did not come up: " + process_.errorOutput());
    }
    number_ = *reported;
    display_ = ":" + std::to_string(number_);
}

Xvfb::~Xvfb() { stop(); }

void Xvfb::kill() { process_.kill(); }

void Xvfb::stop()
{
    process_.signal(SIGTERM);
    if (!process_.wait(std::chrono::seconds(5)))
        process_.kill();
}

} // namespace lumora::test
