// Frames of a screen-capture stream as plain memory: their pixel layouts, turning the rows that a
// scan samples into colours, and handing whole frames from the capture thread to the tick.
#pragma once

#include "sampling/screen.hpp"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

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

// Writes every point of `snapshot` (screen coordinates, the frame's top-left pixel at 0, 0): the
// frame's colour where the frame has the point, kFailedPixel elsewhere. A row that `bytes` does
// not wholly hold, or a stride shorter than a row of pixels, reads as failed. Colours of deeper
// layouts are cut to 8 bits a channel; alpha is ignored, as a screen shows no transparency.
void fillSnapshot(const FrameView& frame, Snapshot& snapshot);

// Whole frames from the capture thread to the tick: the capture fills its own buffer and publishes
// it; the tick takes the newest published frame. Only buffer indices change hands under the lock,
// so neither side ever waits for the other's copying or sampling. Frames not taken are overwritten.
class FrameMailbox {
public:
    struct Frame {
        FrameFormat format = FrameFormat::Bgrx;
        int width = 0;
        int height = 0;
        std::size_t stride = 0;
        std::vector<std::uint8_t> bytes;
        std::uint64_t sequence = 0; // counts published frames, from 1

        FrameView view() const { return {format, width, height, stride, bytes}; }
    };

    // Capture side: the buffer to fill next. Its storage is reused from earlier frames.
    Frame& writable() { return slots_[write_]; }
    // Capture side: makes the filled buffer the newest frame and hands out another to fill.
    void publish();

    // Tick side: the newest frame published, or nullptr when none has been since clear(). The
    // frame stays untouched until the next call of newest() or clear().
    const Frame* newest();
    // Tick side: forgets every frame published so far (a new stream starts from nothing).
    void clear();

    std::uint64_t published() const;

private:
    mutable std::mutex mutex_;
    Frame slots_[3];
    int write_ = 0;
    int ready_ = 1;
    int read_ = 2;
    bool fresh_ = false;   // slots_[ready_] holds a frame the tick has not taken
    bool holding_ = false; // slots_[read_] holds a frame
    std::uint64_t sequence_ = 0;
};

} // namespace lumora
