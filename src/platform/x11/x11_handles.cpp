// Release paths of the X11 capture's handles, and the texts of X errors.
#include "platform/x11/x11_handles.hpp"

#include <pthread.h>
#include <unistd.h>

#include <xcb/damage.h>
#include <xcb/shm.h>

#include <ctime>

namespace lumora::x11 {

Connection Connection::open(const char* displayName, int* screenNumber)
{
    return Connection(xcb_connect(displayName, screenNumber));
}

Connection& Connection::operator=(Connection&& other) noexcept
{
    if (this != &other) {
        reset();
        c_ = std::exchange(other.c_, nullptr);
    }
    return *this;
}

int Connection::error() const noexcept
{
    return c_ ? xcb_connection_has_error(c_) : XCB_CONN_ERROR;
}

void Connection::reset() noexcept
{
    if (c_)
        xcb_disconnect(c_);
    c_ = nullptr;
}

ServerResource& ServerResource::operator=(ServerResource&& other) noexcept
{
    if (this != &other) {
        reset();
        c_ = std::exchange(other.c_, nullptr);
        id_ = std::exchange(other.id_, 0);
        release_ = std::exchange(other.release_, nullptr);
    }
    return *this;
}

void ServerResource::reset() noexcept
{
    // The request is queued, not flushed: it leaves with the next request or flush. Any error
    // it draws arrives as an event, which the capture drains.
    if (c_ && release_ && xcb_connection_has_error(c_) == 0)
        release_(c_, id_);
    c_ = nullptr;
    id_ = 0;
    release_ = nullptr;
}

void freeGc(xcb_connection_t* c, std::uint32_t gc) { xcb_free_gc(c, gc); }

void freePixmap(xcb_connection_t* c, std::uint32_t pixmap) { xcb_free_pixmap(c, pixmap); }

void destroyDamage(xcb_connection_t* c, std::uint32_t damage) { xcb_damage_destroy(c, damage); }

void detachShm(xcb_connection_t* c, std::uint32_t segment) { xcb_shm_detach(c, segment); }

SigpipeGuard::SigpipeGuard() noexcept
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
}

SigpipeGuard::~SigpipeGuard()
{
    if (!wasPending_) {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec zero{};
            sigtimedwait(&pipe, nullptr, &zero);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

std::string errorName(int code)
{
    static const char* const names[] = {
        "Success", "BadRequest", "BadValue", "BadWindow", "BadPixmap", "BadAtom", "BadCursor",
        "BadFont", "BadMatch", "BadDrawable", "BadAccess", "BadAlloc", "BadColor", "BadGC",
        "BadIDChoice", "BadName", "BadLength", "BadImplementation"};
    const std::string number = std::to_string(code);
    if (code >= 0 && code < static_cast<int>(std::size(names)))
        return std::string(names[code]) + " (" + number + ")";
    return "X error " + number;
}

std::string connectionErrorText(int code)
{
    switch (code) {
    case XCB_CONN_ERROR:
        return "no X server answers there, or the connection broke";
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
        return "the server lacks an extension that was needed";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
        return "out of memory";
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
        return "a request was longer than the server accepts";
    case XCB_CONN_CLOSED_PARSE_ERR:
        return "the display name cannot be parsed";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
        return "the display has no such screen";
    case XCB_CONN_CLOSED_FDPASSING_FAILED:
        return "passing a file descriptor to the server failed";
    default:
        return "connection error " + std::to_string(code);
    }
}

} // namespace lumora::x11
