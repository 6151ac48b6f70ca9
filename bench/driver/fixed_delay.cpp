// lumora-fixed-delay: how long a slider move takes to reach the board once FIXED output has run
// for a while. The driver runs on a private X server against the board emulator reading at the
// line's real speed (--pace); after the warm-up the master red slider is clicked again and again,
// and each time the delay is measured from the click to the emulator printing zone 2's packet with
// the new level (zone 2 is the last packet of a tick, so this is the slowest of the three zones).
//
//   lumora-fixed-delay [WARMUP_SECONDS [SAMPLES]]      (defaults: 60 and 40)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "statistics.hpp"
#include "support/support.hpp"

using namespace lumora::test;
using Clock = std::chrono::steady_clock;
using lumora::bench::median;
using namespace std::chrono_literals;

namespace {

// The emulator with its packet dump on a pipe, so each packet is seen the moment it is printed.
class Emulator {
public:
    explicit Emulator(const std::string& link)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::execl(LUMORA_SIM_PATH, LUMORA_SIM_PATH, "--link", link.c_str(), "--pace", "--dump", "--headless",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
        ::fcntl(out_, F_SETFL, O_NONBLOCK);
    }
    ~Emulator()
    {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::close(out_);
    }

    // The next packet printed, as its five numbers, or nothing within `bound`.
    std::optional<std::vector<int>> next(std::chrono::milliseconds bound)
    {
        const auto deadline = Clock::now() + bound;
        while (true) {
            const auto eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                std::istringstream line(buffer_.substr(0, eol));
                buffer_.erase(0, eol + 1);
                std::vector<int> p(5);
                for (int& v : p)
                    line >> v;
                return p;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd pfd{out_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[65536];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n > 0)
                buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// The value at index q * n (its figures in BENCHMARKS.md were taken with this rule).
double percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    const int warmup = argc > 1 ? std::atoi(argv[1]) : 60;
    const int samples = argc > 2 ? std::atoi(argv[2]) : 40;

    QCoreApplication app(argc, argv);
    Xvfb xvfb("1280x1024x24");
    QTemporaryDir dir;
    const std::string link = dir.filePath("board").toStdString();
    Emulator board(link);
    if (!QTest::qWaitFor([&] { return ::access(link.c_str(), F_OK) == 0; }, kBound)) {
        std::fprintf(stderr, "the emulator did not publish %s\n", link.c_str());
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", xvfb.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    Program driver(LUMORA_DRIVER_PATH, {"--port", QString::fromStdString(link)}, env);
    const QString window = xvfb.x("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(driver.pid()),
                                              "--name", "^Lumora Driver 1.2$"}).section('\n', 0, 0);
    if (window.isEmpty()) {
        std::fprintf(stderr, "no driver window: %s\n", driver.err().c_str());
        return 1;
    }
    const auto click = [&](const char* x, const char* y) { xvfb.x("xdotool", {"mousemove", "--window", window, x, y, "click", "1"}); };
    click("60", "124"); // FIXED

    // Warm-up: FIXED output for the given time, every packet read as the emulator prints it.
    long packets = 0, outOfOrder = 0;
    int expected = 3; // keyboard first, then zones 0, 1, 2
    int lastRed2 = -1;
    const auto warmStart = Clock::now();
    while (Clock::now() - warmStart < std::chrono::seconds(warmup)) {
        const auto p = board.next(100ms);
        if (!p)
            continue;
        if (lastRed2 < 0 && (*p)[0] != 2)
            continue; // keyboard-only ticks of OFF, or a FIXED tick read from its middle
        if (lastRed2 < 0) {
            lastRed2 = (*p)[1];
            continue;
        }
        ++packets;
        outOfOrder += (*p)[0] != expected ? 1 : 0;
        expected = (*p)[0] == 3 ? 0 : (*p)[0] == 2 ? 3 : (*p)[0] + 1;
        if ((*p)[0] == 2)
            lastRed2 = (*p)[1];
    }
    const double warmSeconds = std::chrono::duration<double>(Clock::now() - warmStart).count();

    // The master red slider (FIXED page, "Все вместе" frame): a click right of its handle raises
    // it by one page step, which the window copies to the three zones.
    std::mt19937 rng(12345);
    std::vector<double> delays;
    for (int i = 0; i < samples; ++i) {
        // A random pause, so the clicks fall at every phase of the 10 ms tick.
        const auto pauseEnd = Clock::now() + std::chrono::milliseconds(150 + rng() % 100);
        while (Clock::now() < pauseEnd)
            if (const auto p = board.next(5ms); p && (*p)[0] == 2)
                lastRed2 = (*p)[1];
        const int before = lastRed2;
        const auto clicked = Clock::now();
        click("585", "66");
        bool seen = false;
        while (!seen && Clock::now() - clicked < 5s) {
            const auto p = board.next(100ms);
            if (p && (*p)[0] == 2 && (*p)[1] != before) {
                lastRed2 = (*p)[1];
                seen = true;
            }
        }
        if (!seen) {
            std::fprintf(stderr, "sample %d: no new level within 5 s\n", i);
            return 1;
        }
        delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - clicked).count());
    }

    std::printf("warm-up: %.1f s of FIXED output, %ld packets (%.1f packets/s, %.0f bytes/s), %ld out of tick order\n",
                warmSeconds, packets, static_cast<double>(packets) / warmSeconds,
                5.0 * static_cast<double>(packets) / warmSeconds, outOfOrder);
    std::printf("slider to board delay over %zu moves: median %.1f ms, p90 %.1f ms, max %.1f ms (min %.1f ms)\n",
                delays.size(), median(delays), percentile(delays, 0.9), *std::max_element(delays.begin(), delays.end()),
                *std::min_element(delays.begin(), delays.end()));
    driver.signal(SIGTERM);
    driver.wait();
    return 0;
}
