// Owners of PipeWire's objects: each releases its object the one way PipeWire releases it, so an
// owner that declares them in the order they depend on each other tears them down in reverse.
#pragma once

#include <pipewire/pipewire.h>

#include <memory>

namespace lumora {

struct PipeWireRelease {
    void operator()(pw_thread_loop* loop) const noexcept { pw_thread_loop_destroy(loop); }
    void operator()(pw_context* context) const noexcept { pw_context_destroy(context); }
    void operator()(pw_core* core) const noexcept { pw_core_disconnect(core); }
    void operator()(pw_registry* registry) const noexcept { pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry)); }
    void operator()(pw_stream* stream) const noexcept { pw_stream_destroy(stream); }
    // A listener stops hearing its object's events; one never added is only freed.
    void operator()(spa_hook* listener) const noexcept
    {
        spa_hook_remove(listener);
        delete listener;
    }
};

using PwThreadLoop = std::unique_ptr<pw_thread_loop, PipeWireRelease>;
using PwContext = std::unique_ptr<pw_context, PipeWireRelease>;
using PwCore = std::unique_ptr<pw_core, PipeWireRelease>;
using PwRegistry = std::unique_ptr<pw_registry, PipeWireRelease>;
using PwStream = std::unique_ptr<pw_stream, PipeWireRelease>;
using PwListener = std::unique_ptr<spa_hook, PipeWireRelease>;

inline PwListener newListener()
{
    return PwListener(new spa_hook{});
}

// A started thread loop: releasing it stops the thread (and so every callback) but leaves the loop
// to its owner. Stopping joins the thread, so it must not happen with the loop's lock held.
struct ThreadLoopStop {
    void operator()(pw_thread_loop* loop) const noexcept { pw_thread_loop_stop(loop); }
};
using PwRunningLoop = std::unique_ptr<pw_thread_loop, ThreadLoopStop>;

// Holds the thread loop's lock for a scope; callbacks run under the same lock on the loop's thread.
class ThreadLoopLock {
public:
    explicit ThreadLoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~ThreadLoopLock() { pw_thread_loop_unlock(loop_); }
    ThreadLoopLock(const ThreadLoopLock&) = delete;
    ThreadLoopLock& operator=(const ThreadLoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

} // namespace lumora
