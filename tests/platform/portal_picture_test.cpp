// Which PipeWire buffers carry a picture to read, and which part of the frame it is, from buffers
// made by hand as a producer fills them: no PipeWire daemon is needed.
#include "platform/portal/pipewire_picture.hpp"

#include <spa/buffer/meta.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace lumora {
namespace {

constexpr FrameLayout kLayout{FrameFormat::Bgrx, 64, 48};
constexpr std::uint32_t kFrameBytes = 64 * 48 * 4;

// One block with its chunk, and the metadata the stream asks for when the producer gives it.
struct HandBuffer {
    HandBuffer(std::optional<std::uint32_t> headerFlags, std::uint32_t size, std::uint32_t chunkFlags,
               std::optional<spa_region> cropped)
    {
        header.flags = headerFlags.value_or(0);
        chunk = {0, size, 64 * 4, static_cast<std::int32_t>(chunkFlags)};
        data.chunk = &chunk;
        if (headerFlags)
            metas.push_back({SPA_META_Header, sizeof header, &header});
        if (cropped) {
            crop.region = *cropped;
            metas.push_back({SPA_META_VideoCrop, sizeof crop, &crop});
        }
        buffer = {static_cast<std::uint32_t>(metas.size()), 1, metas.data(), &data};
    }
    HandBuffer(const HandBuffer&) = delete;

    spa_meta_header header{};
    spa_meta_region crop{};
    spa_chunk chunk{};
    spa_data data{};
    std::vector<spa_meta> metas;
    spa_buffer buffer{};
};

constexpr FrameRegion kWhole{0, 0, 64, 48};

TEST(PortalPicture, BuffersWithoutAPictureAreSkippedAndACropIsTheRegionRead)
{
    const struct {
        const char* what;
        std::optional<std::uint32_t> headerFlags;
        std::uint32_t size, chunkFlags;
        std::optional<spa_region> crop;
        std::optional<FrameRegion> region;
    } cases[] = {
        {"a whole frame", 0, kFrameBytes, 0, {}, kWhole},
        {"no header", {}, kFrameBytes, 0, {}, kWhole},
        {"a discontinuity is still a picture", SPA_META_HEADER_FLAG_DISCONT, kFrameBytes, 0, {}, kWhole},
        {"only the cursor moved: no bytes, marked corrupted", 0, 0, SPA_CHUNK_FLAG_CORRUPTED, {}, {}},
        {"no bytes", 0, 0, 0, {}, {}},
        {"a corrupted chunk", 0, kFrameBytes, SPA_CHUNK_FLAG_CORRUPTED, {}, {}},
        {"an empty chunk", 0, kFrameBytes, SPA_CHUNK_FLAG_EMPTY, {}, {}},
        {"a corrupted buffer", SPA_META_HEADER_FLAG_CORRUPTED, kFrameBytes, 0, {}, {}},
        {"a gap", SPA_META_HEADER_FLAG_GAP, kFrameBytes, 0, {}, {}},
        {"a crop", 0, kFrameBytes, 0, spa_region{{8, 4}, {32, 20}}, FrameRegion{8, 4, 32, 20}},
        {"a crop of no size is none", 0, kFrameBytes, 0, spa_region{{5, 5}, {0, 0}}, kWhole},
        {"a crop past the frame's edges is cut", 0, kFrameBytes, 0, spa_region{{48, 40}, {32, 32}}, FrameRegion{48, 40, 16, 8}},
        {"a crop before the frame's start is cut", 0, kFrameBytes, 0, spa_region{{-8, -4}, {32, 20}}, FrameRegion{0, 0, 24, 16}},
        {"a crop wholly outside the frame", 0, kFrameBytes, 0, spa_region{{64, 0}, {10, 10}}, {}},
        {"a crop's size that overflows 32 bits", 0, kFrameBytes, 0, spa_region{{60, 0}, {0xFFFFFFF0u, 8}}, FrameRegion{60, 0, 4, 8}},
        {"a corrupted buffer with a crop", SPA_META_HEADER_FLAG_CORRUPTED, kFrameBytes, 0, spa_region{{8, 4}, {32, 20}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const HandBuffer b(c.headerFlags, c.size, c.chunkFlags, c.crop);
        EXPECT_EQ(pictureRegion(b.buffer, kLayout), c.region);
    }
    HandBuffer noChunk(0, kFrameBytes, 0, {});
    noChunk.data.chunk = nullptr;
    EXPECT_EQ(pictureRegion(noChunk.buffer, kLayout), std::nullopt);
}

} // namespace
} // namespace lumora
