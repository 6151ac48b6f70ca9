// A file descriptor owned by exactly one object: closed on destruction, emptied on move.
#pragma once

#include <unistd.h>

#include <utility>

namespace lumora {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Gives up ownership, for a receiver that closes the descriptor itself.
    int release() noexcept { return std::exchange(fd_, -1); }

    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0)
            ::close(fd_); // the descriptor is gone even when close reports an error
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace lumora
