// The link to the lamp board: sends whole packets on a serial line that carries 1920 bytes/s,
// never lets a backlog grow, and survives the board going away.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>
#include <functional>
#include <string>

#include "link/packets.hpp"
#include "link/serial_line.hpp"

namespace lumora {

class LampLink {
public:
    // Bytes per second that 19200 baud with 8 data bits, no parity and 1 stop bit carries.
    static constexpr double kLineBytesPerSecond = 1920.0;
    // A tick's periodic packets go out only while the line's backlog is at most this many bytes
    // (two packets, about 5 ms of line time); otherwise the whole tick is skipped.
    static constexpr double kBacklogBound = 10.0;
    static constexpr auto kReopenInterval = std::chrono::seconds(1);

    // `onStateChange` is told, once per change, why the board is not connected and what the link
    // does about it, or an empty text when it is connected.
    LampLink(SerialLine& line, const Clock& clock, std::function<void(const UserText&)> onStateChange = {});

    // Opens the line at start-up. A board that is not there yet is waited for: the wait is
    // reported, and the board is looked for about once a second, as after a loss. A port that is
    // there but cannot be used throws LinkError naming the port, the reason and the fix.
    void open();

    // Starts a tick: retries a lost board about once a second, then says whether this tick's
    // periodic packets can go out. A tick that cannot is counted as skipped; the caller does none
    // of its work, so the board sees every tick it is sent and nothing of those it is not.
    [[nodiscard]] bool beginTick();
    // A packet of a tick that beginTick() let through (keyboard or zone), queued whole. A tick's
    // packets go to the line together at endTick(), as every write wakes the line's driver; but
    // the first goes at once when the line would otherwise run dry before the tick ends (judged
    // by how long the last tick took), so that the line carries as much as it did packet by packet.
    void sendPeriodic(const Packet& packet);
    // Ends the tick: hands the line what the tick queued. Does nothing after a refused tick.
    void endTick();
    // A command packet (off packets): never dropped while the board is connected, and handed to
    // the line at once, behind whatever was queued before it.
    void sendCommand(const Packet& packet);

    // Waits at most `bound` until every packet sent so far has left the line; the line stays open.
    // Returns whether everything left in time (false when the board is not connected).
    bool drain(std::chrono::milliseconds bound);
    // Drains as above, then closes the line for good. Returns whether everything left in time.
    bool shutdown(std::chrono::milliseconds bound);

    bool connected() const { return connected_; }
    const std::string& port() const { return line_.path(); }
    // The levels last handed to the line for zones 0, 1 and 2 (red, green, blue).
    const std::array<std::array<std::uint8_t, 3>, 3>& lastZones() const { return lastZones_; }
    const UserText& problem() const { return problem_; }
    std::uint64_t skippedTicks() const { return skippedTicks_; }
    // True once after the board came back, so that the caller can restore its state.
    bool takeReconnected();

    // The estimated bytes still on their way out of the line, by its speed since each write.
    double backlog() const;
    // How long until that estimate falls to `bytes`, with nothing more handed to the line: zero
    // when it is there already, and while the board is not connected.
    std::chrono::nanoseconds untilBacklogAtMost(double bytes) const;

private:
    void enqueue(const Packet& packet);
    void accept(const Packet& packet);
    void flush();
    void fail(const LinkError& error);
    void tryReopen();
    // What the user is told after `error`: the board is awaited, lost, or its port unusable.
    UserText stateAfter(const LinkError& error) const;
    // Tells onStateChange, unless the user was last told the same: a wait or a loss is told once,
    // however often the port is tried.
    void report(UserText state);

    SerialLine& line_;
    const Clock& clock_;
    std::function<void(const UserText&)> onStateChange_;

    std::vector<std::uint8_t> queue_; // accepted packets not yet taken by the line, in order
    std::array<std::array<std::uint8_t, 3>, 3> lastZones_{};
    double lineBytes_ = 0.0;         // backlog estimate at lineStamp_
    std::chrono::steady_clock::time_point lineStamp_{};
    bool tickOpen_ = false; // the running tick may send
    std::chrono::steady_clock::time_point tickStart_{};
    std::chrono::steady_clock::duration lastTickLength_{}; // from beginTick() to endTick()
    std::uint64_t skippedTicks_ = 0;

    bool connected_ = false;
    bool reconnected_ = false;
    UserText problem_; // empty while connected
    std::chrono::steady_clock::time_point lastAttempt_{};
};

} // namespace lumora
