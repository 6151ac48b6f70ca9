// The emulated board's end of the serial line: a pseudo-terminal whose slave the driver opens as
// its port, published under a stable path.
#pragma once

#include "platform/unique_fd.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumora::sim {

// The master side of a pseudo-terminal, non-blocking, with one slave descriptor kept open by the
// emulator itself. That kept descriptor is what lets the driver close and reopen the port at will:
// while any slave descriptor is open the master never sees a hang-up, so it neither reports
// POLLHUP forever nor fails reads with EIO between two driver sessions.
class PtyPort {
public:
    PtyPort(); // throws std::runtime_error naming the failed operation

    int masterFd() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

    struct ReadResult {
        std::size_t bytes = 0;
        bool hangUp = false; // no slave is open (EIO); reading again at once would spin
    };
    // Reads at most `max` bytes without blocking; 0 bytes and no hang-up means nothing is waiting.
    ReadResult read(std::uint8_t* buffer, std::size_t max);

    // Reopens the kept slave descriptor, ending a hang-up. Returns whether it could.
    bool reopenSlave();

private:
    UniqueFd master_;
    UniqueFd slaveKeep_;
    std::string slavePath_;
};

// A symbolic link at `path` to `target`, created by renaming a fresh link over whatever was there
// (so a reader never sees the path missing or half made), and removed when this object goes,
// unless by then it points elsewhere (another emulator took the path over).
class PublishedLink {
public:
    PublishedLink(std::string path, std::string target); // throws std::runtime_error
    PublishedLink(const PublishedLink&) = delete;
    PublishedLink& operator=(const PublishedLink&) = delete;
    ~PublishedLink();

    const std::string& path() const { return path_; }
    // Removes the link now (idempotent); safe to call from the normal exit path.
    void remove() noexcept;

private:
    std::string path_;
    std::string target_;
    bool published_ = false;
};

} // namespace lumora::sim
