// Starting and stopping private Xvfb servers. The server reports its display number on a pipe
// (-displayfd) once it accepts connections, so nothing here waits on a guess.
#include "support/xvfb.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace lumora::test {

Xvfb::Xvfb(const std::vector<std::string>& extraArgs, std::optional<int> number)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("cannot make a pipe for Xvfb");
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    std::vector<std::string> argv{"Xvfb"};
    if (number)
        argv.push_back(":" + std::to_string(*number));
    argv.insert(argv.end(), {"-displayfd", std::to_string(fds[1]), "-noreset", "-s", "0", "-nolisten", "tcp"});
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());

    process_ = Process::start(argv, {}, {fds[1]}); // the child keeps only the write end
    ::close(fds[1]); // so that the pipe reports the end of a server that dies early
    std::string text;
    waitFor(
        [&] {
            char buf[32];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            text.append(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            return n == 0 || text.find('\n') != std::string::npos; // 0: the server ended before it was ready
        },
        std::chrono::seconds(20));
    ::close(fds[0]);
    if (text.find('\n') == std::string::npos) {
        process_.kill();
        throw std::runtime_error("Xvfb did not come up: " + process_.errorOutput());
    }
    number_ = std::stoi(text);
    display_ = ":" + std::to_string(number_);
}

Xvfb::~Xvfb()
{
    process_.signal(SIGTERM);
    if (!process_.wait(std::chrono::seconds(5)))
        process_.kill();
}

} // namespace lumora::test
