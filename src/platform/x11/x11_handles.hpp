// Move-only owners of the X11 handles that the screen capture holds, so that every error path and
// every renewal gives them back. Its descriptor and mapping owners live in platform/posix/.
#pragma once

#include <xcb/xcb.h>

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace lumora::x11 {

// An xcb reply or error, freed with free() as xcb requires.
struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// A connection to an X server. xcb hands back a connection object even when connecting fails
// (it is then in its error state), and that object must be disconnected all the same.
class Connection {
public:
    Connection() = default;
    // Connects to `displayName` (null: $DISPLAY); screenNumber receives the display's screen.
    static Connection open(const char* displayName, int* screenNumber);
    Connection(Connection&& other) noexcept : c_(std::exchange(other.c_, nullptr)) {}
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { reset(); }

    xcb_connection_t* get() const noexcept { return c_; }
    explicit operator bool() const noexcept { return c_ != nullptr; }
    // 0 while usable, otherwise one of xcb's XCB_CONN_* codes; empty counts as a failed connection.
    int error() const noexcept;
    void reset() noexcept;

private:
    explicit Connection(xcb_connection_t* c) noexcept : c_(c) {}
    xcb_connection_t* c_ = nullptr;
};

// A server-side resource that belongs to one connection and is freed through it. The
// connection must outlive the resource; a broken connection has nothing left to free.
class ServerResource {
public:
    using Release = void (*)(xcb_connection_t*, std::uint32_t);

    ServerResource() = default;
    ServerResource(xcb_connection_t* c, std::uint32_t id, Release release) noexcept
        : c_(c), id_(id), release_(release)
    {
    }
    ServerResource(ServerResource&& other) noexcept
        : c_(std::exchange(other.c_, nullptr)), id_(std::exchange(other.id_, 0)),
          release_(std::exchange(other.release_, nullptr))
    {
    }
    ServerResource& operator=(ServerResource&& other) noexcept;
    ServerResource(const ServerResource&) = delete;
    ServerResource& operator=(const ServerResource&) = delete;
    ~ServerResource() { reset(); }

    std::uint32_t id() const noexcept { return id_; }
    explicit operator bool() const noexcept { return c_ != nullptr; }
    void reset() noexcept;

private:
    xcb_connection_t* c_ = nullptr;
    std::uint32_t id_ = 0;
    Release release_ = nullptr;
};

// Graphics contexts, pixmaps and shared-memory segment attachments are server resources of this kind.
void freeGc(xcb_connection_t* c, std::uint32_t gc);
void freePixmap(xcb_connection_t* c, std::uint32_t pixmap);
void destroyDamage(xcb_connection_t* c, std::uint32_t damage);
void detachShm(xcb_connection_t* c, std::uint32_t segment);

// While alive, a write to a connection whose server has gone away does not raise SIGPIPE in
// this thread (xcb writes with plain writev, and SIGPIPE would end the program). A SIGPIPE that
// arises meanwhile is consumed before the previous signal mask is restored.
class SigpipeGuard {
public:
    SigpipeGuard() noexcept;
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
    ~SigpipeGuard();

private:
    sigset_t previous_{};
    bool wasPending_ = false;
};

// The name of an X error code ("BadAccess (10)"), for messages.
std::string errorName(int code);
// What a broken connection's xcb code means, for messages.
std::string connectionErrorText(int code);

} // namespace lumora::x11
