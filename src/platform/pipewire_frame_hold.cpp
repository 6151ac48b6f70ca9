// A buffer is lent only between being dequeued and queued back: while the tick may read it, the
// producer cannot write into it.
#include "platform/pipewire_frame_hold.hpp"

#include <spa/buffer/meta.h>

#include <utility>

namespace lumora {

FrameTake holdFrame(pw_stream& stream, pw_buffer& buffer, const FrameLayout& layout, FrameHold& hold,
                    HeldBuffer& held)
{
    const spa_buffer& b = *buffer.buffer;
    const auto* header =
        static_cast<const spa_meta_header*>(spa_buffer_find_meta_data(&b, SPA_META_Header, sizeof(spa_meta_header)));
    const spa_data& d = b.datas[0];
    FrameTake result = FrameTake::NoPicture;
    if ((header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) || !d.chunk ||
        (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) || d.chunk->size == 0)
        result = FrameTake::NoPicture;
    else if (auto mapping = std::make_unique<MappedData>(d); !mapping->data())
        result = FrameTake::Unreadable;
    else {
        const FrameView view = frameIn({mapping->data(), d.maxsize},
                                       {d.chunk->offset, d.chunk->size, d.chunk->stride}, layout);
        const int dmaBuf = d.type == SPA_DATA_DmaBuf ? static_cast<int>(d.fd) : -1;
        void* replaced = hold.hold(view, &buffer, dmaBuf);
        // The tick reads the new buffer from here on: the old one and its mapping can go.
        held.mapping = std::move(mapping);
        held.buffer = &buffer;
        if (replaced)
            pw_stream_queue_buffer(&stream, static_cast<pw_buffer*>(replaced));
        return FrameTake::Held;
    }
    pw_stream_queue_buffer(&stream, &buffer);
    return result;
}

void releaseFrame(pw_stream& stream, FrameHold& hold, HeldBuffer& held, bool gone)
{
    if (void* lent = hold.drop(); lent && !gone)
        pw_stream_queue_buffer(&stream, static_cast<pw_buffer*>(lent));
    held = {};
}

} // namespace lumora
