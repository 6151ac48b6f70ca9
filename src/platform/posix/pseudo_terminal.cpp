// Opening the pair, and reading the master without ever blocking or spinning.
#include "platform/posix/pseudo_terminal.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace lumora {

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

PseudoTerminal::PseudoTerminal()
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

PseudoTerminal::ReadResult PseudoTerminal::read(std::uint8_t* buffer, std::size_t max)
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

bool PseudoTerminal::reopenSlave()
{
    try {
        slaveKeep_ = openSlave(slavePath_);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace lumora
