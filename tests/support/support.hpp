// Helpers for tests that use real parts: waiting on a condition with a bound, child processes,
// pseudo-terminals standing in for the board.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

// Polls `condition` until it holds or `bound` passes; returns whether it held. Never a timing
// assertion: the bound is only there so that a broken program fails instead of hanging the suite.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds bound = std::chrono::seconds(20));

// A child process with its standard output and error captured to files.
class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process(); // kills the process if it still runs

    // Starts `argv` with extra environment variables (value std::nullopt removes one). The child
    // gets none of this process's descriptors but its standard streams and `keepFds`.
    static Process start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::optional<std::string>>& env = {},
                         std::vector<int> keepFds = {});

    int pid() const { return pid_; }
    bool running();
    // Waits at most `bound` for the exit; returns the exit status, or nullopt if it still runs.
    std::optional<int> wait(std::chrono::milliseconds bound = std::chrono::seconds(20));
    void signal(int sig);
    void kill();

    std::string output() const;      // standard output so far
    std::string errorOutput() const; // standard error so far
    // CPU time (user + system) the process has used so far, from /proc.
    std::chrono::milliseconds cpuTime() const;

private:
    int pid_ = -1;
    std::optional<int> status_;
    std::string outPath_;
    std::string errPath_;
};

// CPU time (user + system) that process `pid` has used so far, from /proc.
std::chrono::milliseconds cpuTimeOf(int pid);

// A pseudo-terminal: the test holds the master (the board's side), the program opens slavePath().
class Pty {
public:
    Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty();

    const std::string& slavePath() const { return slavePath_; }
    // Reads whatever has arrived within `bound` (returns as soon as some bytes are there).
    std::vector<std::uint8_t> read(std::chrono::milliseconds bound);
    // Closes the master: the far end goes away.
    void closeMaster();

private:
    int master_ = -1;
    int slaveKeep_ = -1; // keeps the slave alive until the program has opened it
    std::string slavePath_;
};

// Splits a byte stream into 5-byte packets; fails the calling test if a packet is badly framed.
std::vector<std::vector<std::uint8_t>> packets(const std::vector<std::uint8_t>& bytes);

std::string tempDir(); // a fresh private folder under the system's temp folder

} // namespace lumora::test
