// The real lumora-driver on a private X server, its packets read from a pseudo-terminal that
// stands in for the board, and its window driven as a user would.
#pragma once

#include <gtest/gtest.h>

#include "support/support.hpp"
#include "support/x11_input.hpp"
#include "support/xvfb.hpp"

namespace lumora::test {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kOffPackets{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13};
inline constexpr const char* kDriverTitle = "Lumora Driver 1.2";

// Where the mode buttons sit in the window (their centres, in pixels).
struct ButtonAt {
    int x, y;
};
inline constexpr ButtonAt kFixedButton{60, 124};
inline constexpr ButtonAt kRndButton{60, 148};
inline constexpr ButtonAt kAutoButton{60, 172};
inline constexpr ButtonAt kOffButton{60, 196};

struct DriverRun {
    // Starts the driver on this run's pseudo-terminal, or on `port` when one is given.
    explicit DriverRun(const std::vector<std::string>& args = {}, const std::string& port = {},
                       const std::string& screen = "1920x1080x24")
        : xvfb({"-screen", "0", screen}), input(xvfb.display())
    {
        std::vector<std::string> argv{LUMORA_DRIVER_PATH};
        if (port != "-") {
            argv.push_back("--port");
            argv.push_back(port.empty() ? pty.slavePath() : port);
        }
        argv.insert(argv.end(), args.begin(), args.end());
        process = Process::start(argv, {{"DISPLAY", xvfb.display()}, {"QT_QPA_PLATFORM", "xcb"},
                                        {"WAYLAND_DISPLAY", std::nullopt}});
    }

    // The driver's window once it shows (or its message box, which has the same title).
    std::uint32_t window()
    {
        if (!window_) {
            window_ = input.waitForWindow(process.pid(), kDriverTitle);
            EXPECT_TRUE(window_.has_value()) << process.errorOutput();
        }
        return window_.value_or(0);
    }

    void click(ButtonAt at) { input.click(window(), at.x, at.y); }

    // Reads what the program writes until `done` holds (bounded); returns whether it did.
    bool readUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = std::chrono::seconds(20))
    {
        return waitFor(
            [&] {
                const auto chunk = pty.read(std::chrono::milliseconds(20));
                stream.insert(stream.end(), chunk.begin(), chunk.end());
                return done();
            },
            bound);
    }

    // Reads until the line has been quiet for a while: whatever was still in flight.
    void readRest()
    {
        while (true) {
            const auto chunk = pty.read(std::chrono::milliseconds(300));
            if (chunk.empty())
                return;
            stream.insert(stream.end(), chunk.begin(), chunk.end());
        }
    }

    // The whole packets read so far, from packet `from` on.
    std::vector<Bytes> packetsFrom(std::size_t from = 0) const
    {
        const Bytes whole(stream.begin(), stream.begin() + static_cast<long>(stream.size() / 5 * 5));
        auto all = packets(whole);
        return std::vector<Bytes>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
    std::size_t packetCount() const { return stream.size() / 5; }

    Xvfb xvfb;
    X11Input input;
    Pty pty;
    Process process;
    Bytes stream;

private:
    std::optional<std::uint32_t> window_;
};

} // namespace lumora::test
