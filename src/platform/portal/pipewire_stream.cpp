// The stream's life on PipeWire's thread: connecting to the node, fixing the format, lending the
// newest buffer of each cycle to the tick, and turning PipeWire's events into the status it reads.
// Callbacks run with the thread loop's lock held; the status they write is read under its own lock.
#include "platform/portal/pipewire_stream.hpp"

#include "platform/portal/pipewire_frame_hold.hpp"
#include "platform/portal/pipewire_handles.hpp"
#include "platform/portal/pipewire_params.hpp"
#include "platform/portal/pipewire_picture.hpp"

#include <fcntl.h>

#include <spa/utils/result.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace lumora {

namespace {

void initPipeWire()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// For a PipeWire call that failed and left its reason in errno.
std::runtime_error systemError(const char* what)
{
    const int error = errno;
    return std::runtime_error(std::string(what) + ": " + std::strerror(error));
}

} // namespace

struct PipeWireStream::Impl {
    Impl(UniqueFd remote, std::uint32_t node);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    const std::uint32_t node;
    FrameHold hold; // outlives the stream whose buffer it may lend

    // Written and read in callbacks only (and at teardown, under the thread loop's lock).
    FrameLayout layout;
    bool negotiated = false;
    HeldBuffer held;

    mutable std::mutex statusMutex;
    Status status;

    // Torn down in reverse order of declaration. Each object needs those declared before it, and
    // each listener follows the object it listens to, so it is removed before that object goes.
    // `running`, declared last, stops the thread first, before anything its callbacks use goes.
    PwThreadLoop loop;
    PwContext context;
    PwCore core;
    PwListener coreListener;
    PwRegistry registry;
    PwListener registryListener;
    PwStream stream;
    PwListener streamListener;
    PwRunningLoop running;

    void setStatus(State state, std::string reason = {})
    {
        const std::lock_guard lock(statusMutex);
        if (status.state == State::Stopped)
            return; // a stream that stopped stays stopped
        status.state = state;
        if (!reason.empty())
            status.reason = std::move(reason);
    }

    void onStateChanged(pw_stream_state old, pw_stream_state state, const char* error);
    void onParamChanged(std::uint32_t id, const spa_pod* param);
    void onProcess();
    void onRemoveBuffer(pw_buffer* buffer);
    void onCoreError(std::uint32_t id, int res, const char* message);
    void onGlobalRemoved(std::uint32_t id);
};

void PipeWireStream::Impl::onStateChanged(pw_stream_state old, pw_stream_state state, const char* error)
{
    switch (state) {
    case PW_STREAM_STATE_STREAMING:
        setStatus(State::Running);
        break;
    case PW_STREAM_STATE_ERROR:
        setStatus(State::Stopped, error ? error : "stream error");
        break;
    case PW_STREAM_STATE_UNCONNECTED:
        if (old != PW_STREAM_STATE_UNCONNECTED)
            setStatus(State::Stopped, "disconnected");
        break;
    case PW_STREAM_STATE_CONNECTING:
    case PW_STREAM_STATE_PAUSED:
        // Paused keeps the last frame: the screen may only be idle.
        break;
    }
}

void PipeWireStream::Impl::onParamChanged(std::uint32_t id, const spa_pod* param)
{
    if (id != SPA_PARAM_Format || !param)
        return;
    const std::optional<spa_video_info_raw> info = rawVideoFormat(param);
    if (!info)
        return;
    const std::optional<FrameFormat> format = frameFormatOf(info->format);
    if (!format) {
        pw_stream_set_error(stream.get(), -EINVAL, "unsupported pixel format");
        return;
    }
    layout = {*format, static_cast<int>(info->size.width), static_cast<int>(info->size.height)};
    negotiated = true;
    {
        const std::lock_guard lock(statusMutex);
        status.size = {layout.width, layout.height};
        status.format = std::string(formatName(layout.format));
    }

    const bool gpu = (info->flags & SPA_VIDEO_FLAG_MODIFIER) != 0;
    std::uint8_t storage[1024];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage, sizeof storage);
    const spa_pod* params[] = {bufferParams(b, gpu), headerMeta(b), cropMeta(b)};
    pw_stream_update_params(stream.get(), params, 3);
}

void PipeWireStream::Impl::onProcess()
{
    // Only the newest picture matters. Older buffers go straight back, and so do buffers without
    // a picture (a cursor that moved, a frame the producer failed to draw): the last picture stays.
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(stream.get())) {
        if (!negotiated || !b->buffer || !pictureRegion(*b->buffer, layout)) {
            pw_stream_queue_buffer(stream.get(), b);
            continue;
        }
        if (newest)
            pw_stream_queue_buffer(stream.get(), newest);
        newest = b;
    }
    if (!newest)
        return;
    switch (holdFrame(*stream, *newest, layout, hold, held)) {
    case FrameTake::Held: {
        const std::lock_guard lock(statusMutex);
        status.size = {held.region.width, held.region.height};
        break;
    }
    case FrameTake::Unreadable:
        setStatus(State::Stopped, "its frames come in GPU buffers that cannot be read");
        break;
    case FrameTake::NoPicture:
        break;
    }
}

// A buffer may go while held (a new format, a stream that ends): it is no longer read nor queued.
void PipeWireStream::Impl::onRemoveBuffer(pw_buffer* buffer)
{
    if (buffer == held.buffer)
        releaseFrame(*stream, hold, held, true);
}

// A stream whose source node goes away only pauses; the node's removal is what says it ended.
void PipeWireStream::Impl::onGlobalRemoved(std::uint32_t id)
{
    if (id == node)
        setStatus(State::Stopped, "its node went away");
}

void PipeWireStream::Impl::onCoreError(std::uint32_t id, int res, const char* message)
{
    if (id == PW_ID_CORE)
        setStatus(State::Stopped, std::string("PipeWire: ") + (message ? message : spa_strerror(res)));
}

// When this throws, the members built so far go in the same order as in a normal destruction.
PipeWireStream::Impl::Impl(UniqueFd remote, std::uint32_t nodeId) : node(nodeId)
{
    initPipeWire();
    loop.reset(pw_thread_loop_new("lumora-capture", nullptr));
    if (!loop)
        throw systemError("cannot start PipeWire's thread");
    context.reset(pw_context_new(pw_thread_loop_get_loop(loop.get()), nullptr, 0));
    if (!context)
        throw systemError("cannot create a PipeWire context");
    if (pw_thread_loop_start(loop.get()) < 0)
        throw std::runtime_error("cannot start PipeWire's thread");
    running.reset(loop.get());

    const ThreadLoopLock lock(loop.get());

    // The connection owns the descriptor it is given, whether or not it succeeds; `remote`
    // keeps and closes its own.
    const int fd = ::fcntl(remote.get(), F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        throw systemError("cannot take the portal's PipeWire connection");
    core.reset(pw_context_connect_fd(context.get(), fd, nullptr, 0));
    if (!core)
        throw systemError("cannot connect to PipeWire through the portal");
    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = [](void* data, std::uint32_t id, int, int res, const char* message) {
            static_cast<Impl*>(data)->onCoreError(id, res, message);
        };
        return e;
    }();
    coreListener = newListener();
    pw_core_add_listener(core.get(), coreListener.get(), &coreEvents, this);

    registry.reset(pw_core_get_registry(core.get(), PW_VERSION_REGISTRY, 0));
    if (!registry)
        throw systemError("cannot watch PipeWire's nodes");
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e{};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = [](void* data, std::uint32_t id) { static_cast<Impl*>(data)->onGlobalRemoved(id); };
        return e;
    }();
    registryListener = newListener();
    pw_registry_add_listener(registry.get(), registryListener.get(), &registryEvents, this);

    stream.reset(pw_stream_new(core.get(), "lumora-driver screen",
                               pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                 PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!stream)
        throw systemError("cannot create a PipeWire stream");
    static const pw_stream_events streamEvents = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = [](void* data, pw_stream_state old, pw_stream_state state, const char* error) {
            static_cast<Impl*>(data)->onStateChanged(old, state, error);
        };
        e.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
            static_cast<Impl*>(data)->onParamChanged(id, param);
        };
        e.process = [](void* data) { static_cast<Impl*>(data)->onProcess(); };
        e.remove_buffer = [](void* data, pw_buffer* buffer) { static_cast<Impl*>(data)->onRemoveBuffer(buffer); };
        return e;
    }();
    streamListener = newListener();
    pw_stream_add_listener(stream.get(), streamListener.get(), &streamEvents, this);

    std::uint8_t storage[4096];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage, sizeof storage);
    const spa_pod* params[] = {formatOffer(b, true), formatOffer(b, false)};
    const int res = pw_stream_connect(stream.get(), PW_DIRECTION_INPUT, node,
                                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                      params, 2);
    if (res < 0)
        throw std::runtime_error(std::string("cannot connect to the screen's PipeWire node ") + std::to_string(node) +
                                 ": " + spa_strerror(res));
}

// The held buffer goes back while the stream is still whole; the members then go in their order.
PipeWireStream::Impl::~Impl()
{
    const ThreadLoopLock lock(loop.get());
    if (stream)
        releaseFrame(*stream, hold, held);
}

PipeWireStream::PipeWireStream(UniqueFd remote, std::uint32_t node)
    : impl_(std::make_unique<Impl>(std::move(remote), node))
{
}

PipeWireStream::~PipeWireStream() = default;

PipeWireStream::Status PipeWireStream::status() const
{
    const std::lock_guard lock(impl_->statusMutex);
    return impl_->status;
}

void PipeWireStream::sample(std::span<Snapshot* const> snapshots) const { impl_->hold.sample(snapshots); }

std::uint64_t PipeWireStream::frames() const { return impl_->hold.held(); }

} // namespace lumora
