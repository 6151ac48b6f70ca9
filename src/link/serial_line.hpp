// A serial line to the lamp board, as the link needs it: open, write without blocking, drain, close.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/user_text.hpp"

namespace lumora {

// A failure of the line, naming the port, the reason and, where there is one, the fix.
class LinkError : public std::runtime_error {
public:
    enum class Kind {
        Absent,   // no board where the line looks (yet): it may be plugged in later
        Unusable, // a port is there but cannot be used until the user acts (rights, another program, a choice)
        Lost,     // the line failed while in use
    };

    LinkError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens the line raw at 19200 baud, 8 data bits, no parity, 1 stop bit. Throws LinkError:
    // Absent when the board is not there, Unusable when its port cannot be used.
    virtual void open() = 0;
    virtual bool isOpen() const = 0;

    // Hands bytes to the line without waiting; returns how many it took (maybe fewer than given,
    // maybe 0 when its buffer is full). Throws LinkError (Lost) when the line has failed or gone away.
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;

    // Bytes written but still waiting in the driver, or -1 when the line cannot tell.
    virtual long pending() const = 0;

    // Waits at most `timeout` until everything written has left; returns whether it did.
    virtual bool drain(std::chrono::milliseconds timeout) = 0;

    virtual void close() = 0;

    virtual const std::string& path() const = 0;
    // What open() looks for, for the user: the port's path, or where the board's adapter is
    // looked for.
    virtual UserText sought() const = 0;
};

// The link's notion of time, so that its accounting can be tested with a fake clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) const = 0;
};

class SteadyClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) const override { std::this_thread::sleep_for(duration); }
};

} // namespace lumora
