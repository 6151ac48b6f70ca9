// Frames of a screen-capture stream as plain memory: their pixel layouts, turning the rows that a
// scan samples into colours, and lending the newest frame from the capture thread to the tick.
#pragma once

#include "sampling/screen.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>

namespace lumora {

// The pixel layouts a capture stream may negotiate. Names of 8-bit layouts give the order of the
// bytes in memory (Bgrx: blue first). The 10-bit and 16-bit layouts are little-endian words, named
// from the most significant bits down (Xrgb210: 2 unused bits, then 10 each of red, green, blue).
enum class FrameFormat {
    Bgrx, Bgra, Rgbx, Rgba, Xrgb, Argb, Xbgr, Abgr, // 4 bytes
    Rgb, Bgr,                                       // 3 bytes
    Xrgb210, Argb210, Xbgr210, Abgr210,             // 32-bit words, 10 bits a channel
    Rgbx102, Rgba102, Bgrx102, Bgra102,
    Rgb565, Bgr565,                                 // 16-bit words
};

inline constexpr FrameFormat kAllFrameFormats[] = {
    FrameFormat::Bgrx,    FrameFormat::Bgra,    FrameFormat::Rgbx,    FrameFormat::Rgba,
    FrameFormat::Xrgb,    FrameFormat::Argb,    FrameFormat::Xbgr,    FrameFormat::Abgr,
    FrameFormat::Rgb,     FrameFormat::Bgr,     FrameFormat::Xrgb210, FrameFormat::Argb210,
    FrameFormat::Xbgr210, FrameFormat::Abgr210, FrameFormat::Rgbx102, FrameFormat::Rgba102,
    FrameFormat::Bgrx102, FrameFormat::Bgra102, FrameFormat::Rgb565,  FrameFormat::Bgr565,
};

int bytesPerPixel(FrameFormat format);
std::string_view formatName(FrameFormat format);

// One frame in memory: row 0 at the start of `bytes`, each next row `stride` bytes further on.
struct FrameView {
    FrameFormat format = FrameFormat::Bgrx;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::span<const std::uint8_t> bytes;
};

// The negotiated frames of a stream: every buffer holds one picture of this layout and size.
struct FrameLayout {
    FrameFormat format = FrameFormat::Bgrx;
    int width = 0;
    int height = 0;
};

// Where the producer put the picture in a buffer's memory block: `size` bytes from `offset`, rows
// `stride` bytes apart (tight rows when the stride is not positive).
struct FramePlace {
    std::size_t offset = 0;
    std::size_t size = 0;
    std::int64_t stride = 0;
};

// The part of a frame that shows the screen, in the frame's pixels: a producer may draw the picture
// into part of a larger buffer and say where (a crop).
struct FrameRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const FrameRegion&, const FrameRegion&) = default;
};

// The picture of `layout` placed in `block` by `place`, read in place: at most `layout.height`
// rows, never past the place's end or the block's. fillSnapshot rejects rows not wholly there.
FrameView frameIn(std::span<const std::uint8_t> block, const FramePlace& place, const FrameLayout& layout);
// Only `region` of that picture (cut to the picture), its top-left pixel read as 0, 0.
FrameView frameIn(std::span<const std::uint8_t> block, const FramePlace& place, const FrameLayout& layout,
                  const FrameRegion& region);

// Writes every point of `snapshot` (screen coordinates, the frame's top-left pixel at 0, 0): the
// frame's colour where the frame has the point, kFailedPixel elsewhere. Only the points the scan
// reads (every columnStep() from xFrom()) are converted; those between them read as failed. A row
// that `bytes` does not wholly hold, or a stride shorter than a row of pixels, reads as failed.
// Colours of deeper layouts are cut to 8 bits a channel; alpha is ignored, as a screen shows no
// transparency.
void fillSnapshot(const FrameView& frame, Snapshot& snapshot);

// The newest frame of a capture stream, read where it lies: nothing is copied. The capture thread
// keeps the frame's buffer from its producer until a newer frame replaces it, and gives it back only
// once no sample() can be reading it, so the producer never writes into a frame being read. Since a
// static screen sends nothing new, the held frame also serves zones and steps that change later.
class FrameHold {
public:
    // Capture side: makes `frame`, whose memory lies in `buffer`, the one sampled; returns the
    // buffer it replaces (nullptr when none), no longer read once this returns. `dmaBuf`, when not
    // -1, is a GPU buffer's descriptor: reads of it are bracketed so that they see the GPU's writes.
    void* hold(const FrameView& frame, void* buffer, int dmaBuf = -1);
    // Capture side: nothing is sampled any more; returns the buffer that was held, or nullptr.
    void* drop();

    // Tick side: fills every snapshot from the held frame as fillSnapshot does; without a frame,
    // every point fails. The capture waits meanwhile to replace or drop the frame.
    void sample(std::span<Snapshot* const> snapshots) const;
    // Frames held so far.
    std::uint64_t held() const;

private:
    mutable std::mutex mutex_;
    FrameView frame_;
    void* buffer_ = nullptr;
    int dmaBuf_ = -1;
    std::uint64_t held_ = 0;
};

} // namespace lumora
