// Segment set-up: memfd, size, local mapping, then a checked attach by descriptor.
#include "platform/x11/x11_shm_segment.hpp"

#include <fcntl.h>
#include <xcb/shm.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace lumora::x11 {

namespace {

[[noreturn]] void fail(const std::string& what, int error)
{
    throw std::runtime_error("cannot " + what + ": " + std::strerror(error));
}

} // namespace

SharedSegment SharedSegment::create(xcb_connection_t* c, std::size_t size, const SystemCalls& sys)
{
    SharedSegment s;
    s.memfd_ = UniqueFd(sys.memfdCreate("lumora-screen-capture", MFD_CLOEXEC));
    if (!s.memfd_)
        fail("create a shared-memory file", errno);
    if (sys.truncate(s.memfd_.get(), static_cast<off_t>(size)) != 0)
        fail("size the shared-memory file to " + std::to_string(size) + " bytes", errno);
    void* address = sys.map(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, s.memfd_.get(), 0);
    if (address == MAP_FAILED)
        fail("map the shared-memory file", errno);
    s.map_ = MemoryMap(address, size);

    // xcb takes ownership of the descriptor it sends and closes it, so it gets a copy.
    UniqueFd copy(::fcntl(s.memfd_.get(), F_DUPFD_CLOEXEC, 0));
    if (!copy)
        fail("duplicate the shared-memory file descriptor", errno);
    const std::uint32_t id = xcb_generate_id(c);
    if (id == static_cast<std::uint32_t>(-1))
        throw std::runtime_error("cannot attach a shared-memory segment: the connection is broken");
    const Reply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_fd_checked(c, id, copy.release(), 0)));
    if (error)
        throw std::runtime_error("the X server refused the shared-memory segment: " +
                                 errorName(error->error_code));
    if (xcb_connection_has_error(c))
        throw std::runtime_error("cannot attach a shared-memory segment: the connection is broken");
    s.attachment_ = ServerResource(c, id, detachShm);
    return s;
}

} // namespace lumora::x11
