// The real lumora-driver on a private X server, its packets read from a pseudo-terminal that
// stands in for the board, and its window driven as a user would.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "support/support.hpp"
#include "support/x11_input.hpp"
#include "support/xvfb.hpp"

namespace lumora::test {

using Bytes = std::vector<std::uint8_t>;
using Environment = std::map<std::string, std::optional<std::string>>;
using ZoneColours = std::array<std::array<int, 3>, 3>; // red, green, blue of zones 0, 1, 2

inline const Bytes kOffPackets{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13};
inline const Bytes kKeyboardPacket{3, 0, 0, 0, 13};

// The centres of the mode buttons in the window, in pixels.
struct ButtonAt {
    int x, y;
};
inline constexpr ButtonAt kFixedButton{60, 124}, kRndButton{60, 148}, kAutoButton{60, 172}, kOffButton{60, 196};

inline std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct DriverRun {
    // Starts the driver on `pty`, or on `port` when one is given ("-": no --port at all), with
    // `env` on top of the test's environment.
    explicit DriverRun(const std::vector<std::string>& args = {}, const std::string& port = {},
                       const Environment& env = {})
        : xvfb({"-screen", "0", "1920x1080x24"}), input(xvfb.display())
    {
        std::vector<std::string> argv{LUMORA_DRIVER_PATH};
        if (port != "-")
            argv.insert(argv.end(), {"--port", port.empty() ? pty->slavePath() : port});
        argv.insert(argv.end(), args.begin(), args.end());
        Environment all = env;
        all.try_emplace("WAYLAND_DISPLAY", std::nullopt);
        all["DISPLAY"] = xvfb.display();
        all["QT_QPA_PLATFORM"] = "xcb";
        process = Process::start(argv, all);
    }

    // The driver's window once it shows (or its message box, which has the same title).
    std::uint32_t window()
    {
        if (!window_) {
            window_ = input.waitForWindow(process.pid(), "Lumora Driver 1.2");
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
                const auto chunk = pty->read(std::chrono::milliseconds(20));
                stream.insert(stream.end(), chunk.begin(), chunk.end());
                return done();
            },
            bound);
    }

    // Reads until the line has been quiet for a while: whatever was still in flight.
    void readRest()
    {
        for (auto chunk = pty->read(std::chrono::milliseconds(300)); !chunk.empty();
             chunk = pty->read(std::chrono::milliseconds(300)))
            stream.insert(stream.end(), chunk.begin(), chunk.end());
    }

    std::size_t packetCount() const { return stream.size() / 5; }
    // The whole packets read so far, from packet `from` on (each checked for its framing).
    std::vector<Bytes> sent(std::size_t from = 0) const
    {
        from = std::min(from, packetCount());
        return packets(Bytes(stream.begin() + static_cast<long>(5 * from),
                             stream.begin() + static_cast<long>(5 * packetCount())));
    }

    // The zone colours of the newest whole tick read so far: a keyboard packet, then zones 0, 1, 2.
    std::optional<ZoneColours> lastTick() const
    {
        const auto last = sent(packetCount() >= 8 ? packetCount() - 8 : 0);
        const auto zone = [&](std::size_t i) { return std::array<int, 3>{last[i][1], last[i][2], last[i][3]}; };
        for (std::size_t k = last.size(); k-- > 0;)
            if (k + 3 < last.size() && last[k][0] == 3 && last[k + 1][0] == 0 && last[k + 2][0] == 1 && last[k + 3][0] == 2)
                return ZoneColours{zone(k + 1), zone(k + 2), zone(k + 3)};
        return std::nullopt;
    }

    bool lastTickShows(std::initializer_list<ZoneColours> any) const
    {
        const auto tick = lastTick();
        return tick && std::find(any.begin(), any.end(), *tick) != any.end();
    }

    // For failure messages.
    std::string describeLastTick() const { return "last tick: " + testing::PrintToString(lastTick()); }

    // Reads until the newest tick shows one of these sets of zone colours (bounded).
    bool settlesOn(std::initializer_list<ZoneColours> any, std::chrono::milliseconds bound = std::chrono::seconds(30))
    {
        return readUntil([&] { return lastTickShows(any); }, bound);
    }

    Xvfb xvfb;
    X11Input input;
    std::unique_ptr<Pty> pty = std::make_unique<Pty>(); // the board's side; a test may swap in another
    Process process;
    Bytes stream;

private:
    std::optional<std::uint32_t> window_;
};

} // namespace lumora::test
