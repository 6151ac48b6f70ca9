#include "platform/portal/pipewire_picture.hpp"

#include <spa/buffer/meta.h>

#include <algorithm>
#include <cstdint>

namespace lumora {

namespace {

constexpr std::uint32_t kNoPictureHeader = SPA_META_HEADER_FLAG_CORRUPTED | SPA_META_HEADER_FLAG_GAP;
constexpr std::uint32_t kNoPictureChunk = SPA_CHUNK_FLAG_CORRUPTED | SPA_CHUNK_FLAG_EMPTY;

} // namespace

std::optional<FrameRegion> pictureRegion(const spa_buffer& buffer, const FrameLayout& layout)
{
    if (buffer.n_datas == 0 || !buffer.datas || !buffer.datas[0].chunk)
        return std::nullopt;
    const spa_chunk& chunk = *buffer.datas[0].chunk;
    if (chunk.size == 0 || (chunk.flags & kNoPictureChunk) != 0)
        return std::nullopt;
    if (const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
        header && (header->flags & kNoPictureHeader) != 0)
        return std::nullopt;

    const FrameRegion whole{0, 0, layout.width, layout.height};
    const auto* crop = static_cast<const spa_meta_region*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
    if (!crop || !spa_meta_region_is_valid(crop))
        return whole;
    // In 64 bits: a crop's position and size come from another process and may be anything.
    const std::int64_t left = std::max<std::int64_t>(crop->region.position.x, 0);
    const std::int64_t top = std::max<std::int64_t>(crop->region.position.y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{crop->region.position.x} + crop->region.size.width, layout.width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{crop->region.position.y} + crop->region.size.height, layout.height);
    if (right <= left || bottom <= top)
        return std::nullopt;
    return FrameRegion{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                       static_cast<int>(bottom - top)};
}

} // namespace lumora
