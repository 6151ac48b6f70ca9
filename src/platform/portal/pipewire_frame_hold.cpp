// A buffer is lent only between being dequeued and queued back: while the tick may read it, the
// producer cannot write into it.
#include "platform/portal/pipewire_frame_hold.hpp"

#include "platform/portal/pipewire_picture.hpp"

#include <utility>

namespace lumora {

FrameTake holdFrame(pw_stream& stream, pw_buffer& buffer, const FrameLayout& layout, FrameHold& hold,
                    HeldBuffer& held)
{
    const spa_buffer& b = *buffer.buffer;
    const std::optional<FrameRegion> region = pictureRegion(b, layout);
    if (!region) {
        pw_stream_queue_buffer(&stream, &buffer);
        return FrameTake::NoPicture;
    }
    const spa_data& d = b.datas[0];
    auto mapping = std::make_unique<MappedData>(d);
    if (!mapping->data()) {
        pw_stream_queue_buffer(&stream, &buffer);
        return FrameTake::Unreadable;
    }
    const FrameView view =
        frameIn({mapping->data(), d.maxsize}, {d.chunk->offset, d.chunk->size, d.chunk->stride}, layout, *region);
    const int dmaBuf = d.type == SPA_DATA_DmaBuf ? static_cast<int>(d.fd) : -1;
    void* replaced = hold.hold(view, &buffer, dmaBuf);
    // The tick reads the new buffer from here on: the old one and its mapping can go.
    held.mapping = std::move(mapping);
    held.buffer = &buffer;
    held.region = *region;
    if (replaced)
        pw_stream_queue_buffer(&stream, static_cast<pw_buffer*>(replaced));
    return FrameTake::Held;
}

void releaseFrame(pw_stream& stream, FrameHold& hold, HeldBuffer& held, bool gone)
{
    if (void* lent = hold.drop(); lent && !gone)
        pw_stream_queue_buffer(&stream, static_cast<pw_buffer*>(lent));
    held = {};
}

} // namespace lumora
