#include "support/support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace lumora::test {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (true) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string tempDir()
{
    std::string pattern = "/tmp/lumora-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        kill();
        pid_ = other.pid_;
        status_ = other.status_;
        outPath_ = std::move(other.outPath_);
        errPath_ = std::move(other.errPath_);
        other.pid_ = -1;
    }
    return *this;
}

Process::~Process() { kill(); }

Process Process::start(const std::vector<std::string>& argv,
                       const std::map<std::string, std::optional<std::string>>& env, std::vector<int> keepFds)
{
    std::sort(keepFds.begin(), keepFds.end());
    Process p;
    const std::string dir = tempDir();
    p.outPath_ = dir + "/stdout";
    p.errPath_ = dir + "/stderr";
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0);
        const int out = ::open(p.outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(p.errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // A test's own ends (a pseudo-terminal's sides, pipes) must not live on in the child.
        unsigned first = 3;
        for (int keep : keepFds) {
            if (static_cast<unsigned>(keep) > first)
                ::close_range(first, static_cast<unsigned>(keep) - 1, 0);
            first = static_cast<unsigned>(keep) + 1;
        }
        ::close_range(first, ~0u, 0);
        for (const auto& [name, value] : env) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    p.pid_ = pid;
    return p;
}

bool Process::running()
{
    if (pid_ < 0 || status_)
        return false;
    int st = 0;
    const pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    return true;
}

std::optional<int> Process::wait(std::chrono::milliseconds bound)
{
    waitFor([this] { return !running(); }, bound);
    return status_;
}

void Process::signal(int sig)
{
    if (running())
        ::kill(pid_, sig);
}

void Process::kill()
{
    if (pid_ > 0 && running()) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

std::string Process::output() const { return readFile(outPath_); }

std::string Process::errorOutput() const { return readFile(errPath_); }

std::chrono::milliseconds Process::cpuTime() const { return cpuTimeOf(pid_); }

std::chrono::milliseconds cpuTimeOf(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return std::chrono::milliseconds(0);
    // Fields 14 and 15 (user and system time in clock ticks); the text after ')' starts at field 3.
    std::istringstream rest(line.substr(close + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        rest >> skip;
    long utime = 0, stime = 0;
    rest >> utime >> stime;
    return std::chrono::milliseconds((utime + stime) * 1000 / sysconf(_SC_CLK_TCK));
}

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    slavePath_ = ptsname(master_);
    // Raw on the slave side too, so that the program's bytes arrive unchanged even before it
    // sets its own line settings.
    slaveKeep_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(slaveKeep_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveKeep_, TCSANOW, &tio);
}

Pty::~Pty()
{
    closeMaster();
    if (slaveKeep_ >= 0)
        ::close(slaveKeep_);
}

void Pty::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

std::vector<std::uint8_t> Pty::read(std::chrono::milliseconds bound)
{
    std::vector<std::uint8_t> out;
    pollfd pfd{master_, POLLIN, 0};
    if (master_ < 0 || poll(&pfd, 1, static_cast<int>(bound.count())) <= 0)
        return out;
    std::uint8_t buf[4096];
    while (true) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<std::vector<std::uint8_t>> packets(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::vector<std::uint8_t>> out;
    EXPECT_EQ(bytes.size() % 5, 0u) << "stream is not a whole number of packets";
    for (std::size_t i = 0; i + 5 <= bytes.size(); i += 5) {
        std::vector<std::uint8_t> p(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i) + 5);
        EXPECT_LE(p[0], 3) << "bad channel at byte " << i;
        EXPECT_EQ(p[4], 13) << "bad end mark at byte " << i;
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace lumora::test
