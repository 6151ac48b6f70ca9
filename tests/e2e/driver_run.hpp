// The real lumora-driver on a private X server, its packets read from a pseudo-terminal that
// stands in for the board, and its window driven with xdotool as a user would.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "support/support.hpp"

namespace lumora::test {

using Zones = std::array<std::array<int, 3>, 3>; // red, green, blue of zones 0, 1, 2
inline const Bytes kOffPackets{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13};

struct At { int x, y; }; // the centre of a control in the window, in pixels
inline constexpr At kFixedButton{60, 124}, kRndButton{60, 148}, kAutoButton{60, 172}, kOffButton{60, 196};

inline const std::string kAutoPort = "auto";

struct DriverRun {
    // Starts the driver on `pty`, or on `port` when one is given, with `extra` in its environment.
    // `port` kAutoPort gives no --port at all: the driver looks for the board's adapter itself.
    explicit DriverRun(const QStringList& args = {}, const std::string& port = {}, const QProcessEnvironment& extra = {})
        : program(LUMORA_DRIVER_PATH,
                  (port == kAutoPort ? QStringList{} : QStringList{"--port", QString::fromStdString(port.empty() ? pty->path() : port)}) + args, [&] {
              QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
              env.remove("WAYLAND_DISPLAY");
              env.insert("DISPLAY", xvfb.display());
              env.insert("XDG_RUNTIME_DIR", runtime.path()); // Qt would make /tmp/runtime-USER otherwise
              env.insert("QT_QPA_PLATFORM", "xcb");
              env.insert(extra);
              return env;
          }())
    {
    }

    // The driver's window once it shows (or its message box, which has the same title).
    QString window()
    {
        if (window_.isEmpty())
            window_ = xvfb.x("xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(program.pid()), "--name", "^Lumora Driver 1.2$"})
                          .section('\n', 0, 0);
        EXPECT_FALSE(window_.isEmpty()) << program.err();
        return window_;
    }
    void click(At at) { xvfb.x("xdotool", {"mousemove", "--window", window(), QString::number(at.x), QString::number(at.y), "click", "1"}); }
    // Paints the screen one colour; the window goes where no zone samples (the middle of the
    // bottom two thirds).
    void paint(const char* colour)
    {
        xvfb.x("xdotool", {"windowmove", "--sync", window(), "650", "700"});
        xvfb.x("xsetroot", {"-solid", colour});
    }

    // Reads what the program writes until `done` holds (bounded); returns whether it did.
    bool readUntil(const std::function<bool()>& done, int ms = kBound) { return QTest::qWaitFor([&] { return pty->read(stream), done(); }, ms); }
    std::size_t count() const { return stream.size() / 5; }
    std::vector<Bytes> sent() const { return packets(stream); }

    // The zone colours of the newest whole tick read so far: a keyboard packet, then zones 0, 1, 2.
    std::optional<Zones> lastTick() const
    {
        const auto all = packets(Bytes(stream.begin() + static_cast<long>(5 * (count() - std::min<std::size_t>(count(), 8))), stream.begin() + static_cast<long>(5 * count())));
        for (std::size_t k = all.size(); k-- > 3;)
            if (all[k - 3][0] == 3 && all[k - 2][0] == 0 && all[k - 1][0] == 1 && all[k][0] == 2)
                return Zones{{{all[k - 2][1], all[k - 2][2], all[k - 2][3]}, {all[k - 1][1], all[k - 1][2], all[k - 1][3]}, {all[k][1], all[k][2], all[k][3]}}};
        return std::nullopt;
    }
    // Reads until the newest tick shows one of these sets of zone colours (bounded).
    bool settlesOn(std::initializer_list<Zones> any, int ms = 30000)
    {
        return readUntil([&] { return lastTick() && std::find(any.begin(), any.end(), *lastTick()) != any.end(); }, ms);
    }
    std::string lastTickText() const { return "last tick: " + testing::PrintToString(lastTick()); }

    Xvfb xvfb;
    QTemporaryDir runtime;
    std::unique_ptr<Pty> pty = std::make_unique<Pty>(); // the board's side; a test may swap in another
    Program program;
    Bytes stream;

private:
    QString window_;
};

// The stream ends with the zones' off packets, and holds them once: the program switched the lamps
// off on its way out, and did not do so twice. packets() checks that every packet is whole.
inline void expectEndsDark(const Bytes& stream)
{
    ASSERT_GE(stream.size(), kOffPackets.size());
    EXPECT_EQ(Bytes(stream.end() - 15, stream.end()), kOffPackets);
    EXPECT_EQ(std::search(stream.begin(), stream.end() - 15, kOffPackets.begin(), kOffPackets.end()), stream.end() - 15);
    EXPECT_EQ(packets(stream).size() * 5, stream.size());
}

// Every tick's zones alike, as on a screen of one colour.
constexpr Zones same(int r, int g, int b) { return {{{r, g, b}, {r, g, b}, {r, g, b}}}; }

} // namespace lumora::test
