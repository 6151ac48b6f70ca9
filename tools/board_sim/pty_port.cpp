// Pseudo-terminal and link handling for the board emulator.
#include "pty_port.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace lumora::sim {

namespace {

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

UniqueFd openSlave(const std::string& path)
{
    UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave)
        throw systemError("cannot open " + path);
    // Raw from the start: a driver that never sets the line up must still see 10 and 13 pass
    // unchanged, as on the board's UART. The driver's own settings later replace these.
    termios tio{};
    if (tcgetattr(slave.get(), &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, B19200);
        cfsetospeed(&tio, B19200);
        tcsetattr(slave.get(), TCSANOW, &tio);
    }
    return slave;
}

} // namespace

PtyPort::PtyPort()
{
    master_.reset(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_)
        throw systemError("cannot open a pseudo-terminal");
    if (grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0)
        throw systemError("cannot unlock the pseudo-terminal");
    char name[128] = {};
    if (ptsname_r(master_.get(), name, sizeof name) != 0)
        throw systemError("cannot name the pseudo-terminal");
    slavePath_ = name;
    slaveKeep_ = openSlave(slavePath_);
}

PtyPort::ReadResult PtyPort::read(std::uint8_t* buffer, std::size_t max)
{
    ReadResult result;
    if (max == 0)
        return result;
    while (true) {
        const ssize_t n = ::read(master_.get(), buffer, max);
        if (n > 0) {
            result.bytes = static_cast<std::size_t>(n);
            return result;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return result;
        // EIO (or end of file): every slave descriptor is closed.
        result.hangUp = true;
        return result;
    }
}

bool PtyPort::reopenSlave()
{
    try {
        slaveKeep_ = openSlave(slavePath_);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

PublishedLink::PublishedLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target))
{
    std::random_device seed;
    const std::string temporary = path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(seed());
    if (::symlink(target_.c_str(), temporary.c_str()) != 0)
        throw systemError("cannot create the link " + temporary);
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        throw systemError("cannot publish the link " + path_);
    }
    published_ = true;
}

PublishedLink::~PublishedLink() { remove(); }

void PublishedLink::remove() noexcept
{
    if (!published_)
        return;
    published_ = false;
    std::vector<char> buffer(target_.size() + 2);
    const ssize_t n = ::readlink(path_.c_str(), buffer.data(), buffer.size());
    if (n >= 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target_)
        ::unlink(path_.c_str());
}

} // namespace lumora::sim
