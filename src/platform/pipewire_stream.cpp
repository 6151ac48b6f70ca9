// The stream asks for raw video in every layout that FrameMailbox readers understand, in
// shared-memory buffers or in GPU buffers with a linear layout (which can be mapped and read
// like memory). Callbacks run on PipeWire's thread; the status they write is read under a lock.
#include "platform/pipewire_stream.hpp"

#include "platform/posix/memory_map.hpp"

#include <fcntl.h>
#include <linux/dma-buf.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

namespace lumora {

namespace {

struct FormatPair {
    spa_video_format spa;
    FrameFormat frame;
};

// In order of preference: the layouts compositors use most come first.
constexpr FormatPair kFormats[] = {
    {SPA_VIDEO_FORMAT_BGRx, FrameFormat::Bgrx},
    {SPA_VIDEO_FORMAT_RGBx, FrameFormat::Rgbx},
    {SPA_VIDEO_FORMAT_BGRA, FrameFormat::Bgra},
    {SPA_VIDEO_FORMAT_RGBA, FrameFormat::Rgba},
    {SPA_VIDEO_FORMAT_xRGB, FrameFormat::Xrgb},
    {SPA_VIDEO_FORMAT_xBGR, FrameFormat::Xbgr},
    {SPA_VIDEO_FORMAT_ARGB, FrameFormat::Argb},
    {SPA_VIDEO_FORMAT_ABGR, FrameFormat::Abgr},
    {SPA_VIDEO_FORMAT_RGB, FrameFormat::Rgb},
    {SPA_VIDEO_FORMAT_BGR, FrameFormat::Bgr},
    {SPA_VIDEO_FORMAT_xRGB_210LE, FrameFormat::Xrgb210},
    {SPA_VIDEO_FORMAT_xBGR_210LE, FrameFormat::Xbgr210},
    {SPA_VIDEO_FORMAT_RGBx_102LE, FrameFormat::Rgbx102},
    {SPA_VIDEO_FORMAT_BGRx_102LE, FrameFormat::Bgrx102},
    {SPA_VIDEO_FORMAT_ARGB_210LE, FrameFormat::Argb210},
    {SPA_VIDEO_FORMAT_ABGR_210LE, FrameFormat::Abgr210},
    {SPA_VIDEO_FORMAT_RGBA_102LE, FrameFormat::Rgba102},
    {SPA_VIDEO_FORMAT_BGRA_102LE, FrameFormat::Bgra102},
    {SPA_VIDEO_FORMAT_RGB16, FrameFormat::Rgb565},
    {SPA_VIDEO_FORMAT_BGR16, FrameFormat::Bgr565},
};

constexpr std::uint64_t kLinearModifier = 0; // DRM_FORMAT_MOD_LINEAR

// One format offer: every layout, any size and rate; with `linear`, only GPU buffers that lie in
// memory row by row. Built by hand because the builder's convenience macros are not C++.
const spa_pod* formatOffer(spa_pod_builder& b, bool linear)
{
    spa_pod_frame object, choice;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&b, kFormats[0].spa); // the default
    for (const FormatPair& f : kFormats)
        spa_pod_builder_id(&b, f.spa);
    spa_pod_builder_pop(&b, &choice);

    if (linear) {
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_modifier, SPA_POD_PROP_FLAG_MANDATORY);
        spa_pod_builder_long(&b, static_cast<std::int64_t>(kLinearModifier));
    }

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(&b, 1920, 1080);
    spa_pod_builder_rectangle(&b, 1, 1);
    spa_pod_builder_rectangle(&b, 16384, 16384);
    spa_pod_builder_pop(&b, &choice);

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&b, 60, 1);
    spa_pod_builder_fraction(&b, 0, 1);
    spa_pod_builder_fraction(&b, 1000, 1);
    spa_pod_builder_pop(&b, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

const spa_pod* bufferParams(spa_pod_builder& b, bool gpu)
{
    spa_pod_frame object, choice;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_dataType, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Flags, 0);
    spa_pod_builder_int(&b, gpu ? 1 << SPA_DATA_DmaBuf : (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd));
    spa_pod_builder_pop(&b, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

const spa_pod* headerMeta(spa_pod_builder& b)
{
    spa_pod_frame object;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&b, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&b, SPA_META_Header);
    spa_pod_builder_prop(&b, SPA_PARAM_META_size, 0);
    spa_pod_builder_int(&b, sizeof(spa_meta_header));
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

void initPipeWire()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// Brackets CPU reads of a mapped GPU buffer, so that its caches are coherent with the GPU's writes.
class DmaBufRead {
public:
    explicit DmaBufRead(int fd) : fd_(fd) { sync(DMA_BUF_SYNC_START); }
    ~DmaBufRead() { sync(DMA_BUF_SYNC_END); }
    DmaBufRead(const DmaBufRead&) = delete;
    DmaBufRead& operator=(const DmaBufRead&) = delete;

private:
    void sync(std::uint64_t when) noexcept
    {
        dma_buf_sync s{};
        s.flags = when | DMA_BUF_SYNC_READ;
        while (::ioctl(fd_, DMA_BUF_IOCTL_SYNC, &s) == -1 && (errno == EINTR || errno == EAGAIN)) {
        }
    }
    int fd_;
};

} // namespace

struct PipeWireStream::Impl {
    explicit Impl(FrameMailbox& m) : mailbox(m) {}
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    FrameMailbox& mailbox;

    // Owned in this order; torn down in reverse, with the thread stopped first.
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_hook registryListener{};
    std::uint32_t node = 0;

    // Written and read on PipeWire's thread only.
    FrameFormat format = FrameFormat::Bgrx;
    int width = 0;
    int height = 0;
    bool negotiated = false;

    mutable std::mutex statusMutex;
    Status status;

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
    void copyFrame(const spa_buffer& buffer);
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
            setStatus(State::Stopped, "the screen's stream was disconnected");
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
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
        return;
    const auto known = std::find_if(std::begin(kFormats), std::end(kFormats),
                                    [&](const FormatPair& f) { return f.spa == info.format; });
    if (known == std::end(kFormats)) {
        pw_stream_set_error(stream, -EINVAL, "unsupported pixel format");
        return;
    }
    format = known->frame;
    width = static_cast<int>(info.size.width);
    height = static_cast<int>(info.size.height);
    negotiated = true;
    {
        const std::lock_guard lock(statusMutex);
        status.size = {width, height};
        status.format = std::string(formatName(format));
    }

    const bool gpu = (info.flags & SPA_VIDEO_FLAG_MODIFIER) != 0;
    std::uint8_t storage[1024];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage, sizeof storage);
    const spa_pod* params[] = {bufferParams(b, gpu), headerMeta(b)};
    pw_stream_update_params(stream, params, 2);
}

void PipeWireStream::Impl::onProcess()
{
    // Only the newest buffer matters: older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(stream)) {
        if (newest)
            pw_stream_queue_buffer(stream, newest);
        newest = b;
    }
    if (!newest)
        return;
    if (negotiated && newest->buffer && newest->buffer->n_datas > 0)
        copyFrame(*newest->buffer);
    pw_stream_queue_buffer(stream, newest);
}

void PipeWireStream::Impl::copyFrame(const spa_buffer& buffer)
{
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED))
        return;
    const spa_data& d = buffer.datas[0];
    if (!d.chunk || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) || d.chunk->size == 0)
        return; // no picture in it
    const std::uint8_t* base = static_cast<const std::uint8_t*>(d.data);
    // A GPU buffer that PipeWire left unmapped (its producer did not mark it mappable) is mapped
    // here, read-only, for this frame; a linear layout reads like memory once mapped.
    MemoryMap mapping;
    if (!base && d.type == SPA_DATA_DmaBuf && d.fd >= 0) {
        const std::size_t length = static_cast<std::size_t>(d.mapoffset) + d.maxsize;
        if (void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(d.fd), 0);
            address != MAP_FAILED) {
            mapping = MemoryMap(address, length);
            base = reinterpret_cast<const std::uint8_t*>(mapping.data()) + d.mapoffset;
        }
    }
    if (!base) {
        setStatus(State::Stopped, "the screen's frames come in GPU buffers that cannot be read");
        return;
    }
    const std::size_t offset = std::min<std::size_t>(d.chunk->offset, d.maxsize);
    const std::size_t size = std::min<std::size_t>(d.chunk->size, d.maxsize - offset);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel(format));
    const std::size_t stride = d.chunk->stride > 0 ? static_cast<std::size_t>(d.chunk->stride) : rowBytes;

    FrameMailbox::Frame& frame = mailbox.writable();
    frame.format = format;
    frame.width = width;
    frame.height = height;
    frame.stride = stride;
    const std::uint8_t* first = base + offset;
    const std::size_t wanted = std::min(size, stride * static_cast<std::size_t>(height));
    std::optional<DmaBufRead> gpuRead;
    if (d.type == SPA_DATA_DmaBuf)
        gpuRead.emplace(static_cast<int>(d.fd));
    frame.bytes.assign(first, first + wanted);
    mailbox.publish();
}

// A stream whose source node goes away only pauses; the node's removal is what says it ended.
void PipeWireStream::Impl::onGlobalRemoved(std::uint32_t id)
{
    if (id == node)
        setStatus(State::Stopped, "the screen's stream ended");
}

void PipeWireStream::Impl::onCoreError(std::uint32_t id, int res, const char* message)
{
    if (id == PW_ID_CORE)
        setStatus(State::Stopped, std::string("PipeWire: ") + (message ? message : spa_strerror(res)));
}

PipeWireStream::PipeWireStream(UniqueFd remote, std::uint32_t node, FrameMailbox& mailbox)
    : impl_(std::make_unique<Impl>(mailbox))
{
    initPipeWire();
    Impl& s = *impl_;
    s.loop = pw_thread_loop_new("lumora-capture", nullptr);
    if (!s.loop)
        throw std::runtime_error(std::string("cannot start PipeWire's thread: ") + std::strerror(errno));
    s.context = pw_context_new(pw_thread_loop_get_loop(s.loop), nullptr, 0);
    if (!s.context)
        throw std::runtime_error(std::string("cannot create a PipeWire context: ") + std::strerror(errno));
    if (pw_thread_loop_start(s.loop) < 0)
        throw std::runtime_error("cannot start PipeWire's thread");

    pw_thread_loop_lock(s.loop);
    struct Unlock {
        pw_thread_loop* loop;
        ~Unlock() { pw_thread_loop_unlock(loop); }
    } unlock{s.loop};

    // The connection owns the descriptor it is given, whether or not it succeeds; `remote`
    // keeps and closes its own.
    const int fd = ::fcntl(remote.get(), F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        throw std::runtime_error(std::string("cannot take the portal's PipeWire connection: ") + std::strerror(errno));
    s.core = pw_context_connect_fd(s.context, fd, nullptr, 0);
    if (!s.core)
        throw std::runtime_error(std::string("cannot connect to PipeWire through the portal: ") + std::strerror(errno));
    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = [](void* data, std::uint32_t id, int, int res, const char* message) {
            static_cast<Impl*>(data)->onCoreError(id, res, message);
        };
        return e;
    }();
    pw_core_add_listener(s.core, &s.coreListener, &coreEvents, &s);

    s.node = node;
    s.registry = pw_core_get_registry(s.core, PW_VERSION_REGISTRY, 0);
    if (!s.registry)
        throw std::runtime_error(std::string("cannot watch PipeWire's nodes: ") + std::strerror(errno));
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e{};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = [](void* data, std::uint32_t id) { static_cast<Impl*>(data)->onGlobalRemoved(id); };
        return e;
    }();
    pw_registry_add_listener(s.registry, &s.registryListener, &registryEvents, &s);

    s.stream = pw_stream_new(s.core, "lumora-driver screen",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                               PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s.stream)
        throw std::runtime_error(std::string("cannot create a PipeWire stream: ") + std::strerror(errno));
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
        return e;
    }();
    pw_stream_add_listener(s.stream, &s.streamListener, &streamEvents, &s);

    std::uint8_t storage[4096];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, storage, sizeof storage);
    const spa_pod* params[] = {formatOffer(b, true), formatOffer(b, false)};
    const int res = pw_stream_connect(s.stream, PW_DIRECTION_INPUT, node,
                                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                      params, 2);
    if (res < 0)
        throw std::runtime_error(std::string("cannot connect to the screen's PipeWire node ") + std::to_string(node) +
                                 ": " + spa_strerror(res));
}

// Also runs when the constructor gives up half-way.
PipeWireStream::Impl::~Impl()
{
    if (loop)
        pw_thread_loop_stop(loop); // no callback runs after this
    if (stream) {
        spa_hook_remove(&streamListener);
        pw_stream_destroy(stream);
    }
    if (registry) {
        spa_hook_remove(&registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    }
    if (core) {
        spa_hook_remove(&coreListener);
        pw_core_disconnect(core);
    }
    if (context)
        pw_context_destroy(context);
    if (loop)
        pw_thread_loop_destroy(loop);
}

PipeWireStream::~PipeWireStream() = default;

PipeWireStream::Status PipeWireStream::status() const
{
    const std::lock_guard lock(impl_->statusMutex);
    return impl_->status;
}

} // namespace lumora
