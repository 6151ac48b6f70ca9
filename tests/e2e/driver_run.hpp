// The real lumora-driver on a private X server, its packets read from a pseudo-terminal that
// stands in for the board, and its window driven as a user would.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

#include "support/support.hpp"
#include "support/x11_input.hpp"
#include "support/xvfb.hpp"

namespace lumora::test {

using Bytes = std::vector<std::uint8_t>;
using Environment = std::map<std::string, std::optional<std::string>>;
// Red, green, blue of zones 0, 1, 2.
using ZoneColours = std::array<std::array<int, 3>, 3>;

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
    // Starts the driver on this run's pseudo-terminal, or on `port` when one is given ("-": no
    // --port at all), with `env` on top of the test's environment.
    explicit DriverRun(const std::vector<std::string>& args = {}, const std::string& port = {},
                       const std::string& screen = "1920x1080x24", const Environment& env = {})
        : xvfb({"-screen", "0", screen}), input(xvfb.display())
    {
        std::vector<std::string> argv{LUMORA_DRIVER_PATH};
        if (port != "-") {
            argv.push_back("--port");
            argv.push_back(port.empty() ? pty.slavePath() : port);
        }
        argv.insert(argv.end(), args.begin(), args.end());
        Environment all{{"WAYLAND_DISPLAY", std::nullopt}};
        for (const auto& [name, value] : env)
            all[name] = value;
        all["DISPLAY"] = xvfb.display();
        all["QT_QPA_PLATFORM"] = "xcb";
        process = Process::start(argv, all);
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

    // The zone colours of the tick that the keyboard packet at `keyboard` opens, if it is whole.
    static std::optional<ZoneColours> tickAt(const std::vector<Bytes>& sent, std::size_t keyboard)
    {
        if (keyboard + 3 >= sent.size() || sent[keyboard][0] != 3)
            return std::nullopt;
        ZoneColours zones{};
        for (std::size_t z = 0; z < 3; ++z) {
            const Bytes& p = sent[keyboard + 1 + z];
            if (p[0] != z)
                return std::nullopt;
            zones[z] = {p[1], p[2], p[3]};
        }
        return zones;
    }

    // The newest whole tick read so far.
    std::optional<ZoneColours> lastTick() const
    {
        const auto sent = packetsFrom(packetCount() >= 8 ? packetCount() - 8 : 0);
        for (std::size_t i = sent.size(); i-- > 0;)
            if (const auto tick = tickAt(sent, i))
                return tick;
        return std::nullopt;
    }

    // Whether the newest whole tick shows one of these sets of zone colours.
    bool lastTickShows(std::initializer_list<ZoneColours> any) const
    {
        const auto tick = lastTick();
        return tick && std::find(any.begin(), any.end(), *tick) != any.end();
    }

    // The newest whole tick as text, for failure messages.
    std::string describeLastTick() const
    {
        const auto tick = lastTick();
        if (!tick)
            return "no whole tick read (" + std::to_string(packetCount()) + " packets)";
        std::string text = "last tick:";
        for (const auto& z : *tick)
            text += " (" + std::to_string(z[0]) + "," + std::to_string(z[1]) + "," + std::to_string(z[2]) + ")";
        return text;
    }

    // Reads until the newest tick shows one of these sets of zone colours (bounded).
    bool settlesOn(std::initializer_list<ZoneColours> any, std::chrono::milliseconds bound = std::chrono::seconds(30))
    {
        return readUntil([&] { return lastTickShows(any); }, bound);
    }

    Xvfb xvfb;
    X11Input input;
    Pty pty;
    Process process;
    Bytes stream;

private:
    std::optional<std::uint32_t> window_;
};

} // namespace lumora::test
