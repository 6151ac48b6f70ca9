// A GPU buffer is copied between the kernel's read bracket, so that the copy sees the GPU's writes.
#include "platform/pipewire_frame_copy.hpp"

#include "platform/pipewire_buffer_map.hpp"

#include <spa/buffer/meta.h>

#include <algorithm>
#include <cstddef>
#include <optional>

namespace lumora {

FrameCopy copyFrame(const spa_buffer& buffer, const FrameLayout& layout, FrameMailbox& mailbox)
{
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED))
        return FrameCopy::NoPicture;
    const spa_data& d = buffer.datas[0];
    if (!d.chunk || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) || d.chunk->size == 0)
        return FrameCopy::NoPicture;
    const MappedData mapped(d);
    if (!mapped.data())
        return FrameCopy::Unreadable;
    const std::size_t offset = std::min<std::size_t>(d.chunk->offset, d.maxsize);
    const std::size_t size = std::min<std::size_t>(d.chunk->size, d.maxsize - offset);
    const std::size_t rowBytes =
        static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(bytesPerPixel(layout.format));
    const std::size_t stride = d.chunk->stride > 0 ? static_cast<std::size_t>(d.chunk->stride) : rowBytes;

    FrameMailbox::Frame& frame = mailbox.writable();
    frame.format = layout.format;
    frame.width = layout.width;
    frame.height = layout.height;
    frame.stride = stride;
    const std::uint8_t* first = mapped.data() + offset;
    const std::size_t wanted = std::min(size, stride * static_cast<std::size_t>(layout.height));
    std::optional<DmaBufRead> gpuRead;
    if (d.type == SPA_DATA_DmaBuf)
        gpuRead.emplace(static_cast<int>(d.fd));
    frame.bytes.assign(first, first + wanted);
    mailbox.publish();
    return FrameCopy::Published;
}

} // namespace lumora
