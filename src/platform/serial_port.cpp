#include "platform/serial_port.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/serial_adapters.hpp"

namespace lumora {

LinkError openError(const std::string& path, int error)
{
    const std::string head = "cannot open the board's port " + path + ": ";
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {LinkError::Kind::Absent, head + "no such port (is the board plugged in? use --port PATH to choose its port)"};
    case EACCES:
    case EPERM:
        return {LinkError::Kind::Unusable, head + "permission denied (add your user to the dialout group: "
                                                  "sudo usermod -aG dialout $USER, then log out and in again)"};
    case EBUSY:
    case EWOULDBLOCK:
        return {LinkError::Kind::Unusable, head + "the port is in use by another program (close it, or use --port PATH)"};
    case ENOTTY:
        return {LinkError::Kind::Unusable, head + "not a serial port (use --port PATH to choose the board's port)"};
    default:
        return {LinkError::Kind::Unusable, head + std::strerror(error)};
    }
}

SerialPort SerialPort::adapterIn(std::string folder)
{
    SerialPort port(folder);
    port.adapterFolder_ = std::move(folder);
    return port;
}

UserText SerialPort::sought() const
{
    if (adapterFolder_.empty())
        return {path_, path_};
    const std::string folder = adapterFolder_.ends_with('/') ? adapterFolder_ : adapterFolder_ + "/";
    return {"USB-адаптер в " + folder, "a USB serial adapter in " + folder};
}

void SerialPort::open()
{
    fd_.reset();
    if (!adapterFolder_.empty()) {
        path_ = adapterFolder_; // what is awaited, should none be there
        path_ = findAdapter(adapterFolder_);
    }
    UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        throw openError(path_, errno);
    // One program at a time on the line: a second driver would interleave its packets with ours.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        throw openError(path_, errno == EWOULDBLOCK ? EBUSY : errno);
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) != 0)
        throw openError(path_, errno);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0)
        throw openError(path_, errno);
    fd_ = std::move(fd);
}

std::size_t SerialPort::write(std::span<const std::uint8_t> bytes)
{
    if (!fd_)
        throw LinkError(LinkError::Kind::Lost, "the board's port " + path_ + " is not open");
    while (true) {
        const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        throw LinkError(LinkError::Kind::Lost, "lost the board on " + path_ + ": " + std::strerror(errno));
    }
}

long SerialPort::pending() const
{
    int queued = 0;
    if (!fd_ || ::ioctl(fd_.get(), TIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

bool SerialPort::drain(std::chrono::milliseconds timeout)
{
    // tcdrain could wait without end on a stalled line; poll the driver's queue instead.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const long left = pending();
        if (left <= 0)
            return left == 0;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace lumora
