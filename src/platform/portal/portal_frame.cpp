#include "platform/portal/portal_frame.hpp"

#include "platform/portal/pipewire_buffer_map.hpp"

#include <algorithm>
#include <optional>
#include <utility>

namespace lumora {

namespace {

using Reader = Colour (*)(const std::uint8_t*);

template <int R, int G, int B>
Colour bytes8(const std::uint8_t* p)
{
    return rgb(p[R], p[G], p[B]);
}

std::uint32_t word32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A 10-bit channel at bit `shift` of a little-endian word, cut to its top 8 bits.
template <int R, int G, int B>
Colour packed10(const std::uint8_t* p)
{
    const std::uint32_t w = word32(p);
    const auto channel = [w](int shift) { return static_cast<int>((w >> shift & 0x3FFu) >> 2); };
    return rgb(channel(R), channel(G), channel(B));
}

// 5-6-5 bits, the first-named channel in the top bits; widened so that full scale stays 255.
template <bool RedHigh>
Colour packed565(const std::uint8_t* p)
{
    const unsigned w = static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
    const unsigned high = w >> 11 & 31u, green = w >> 5 & 63u, low = w & 31u;
    const auto five = [](unsigned v) { return static_cast<int>(v << 3 | v >> 2); };
    const int g = static_cast<int>(green << 2 | green >> 4);
    return RedHigh ? rgb(five(high), g, five(low)) : rgb(five(low), g, five(high));
}

struct Layout {
    std::string_view name;
    int bytes;
    Reader read;
};

Layout layout(FrameFormat format)
{
    switch (format) {
    case FrameFormat::Bgrx: return {"BGRx", 4, bytes8<2, 1, 0>};
    case FrameFormat::Bgra: return {"BGRA", 4, bytes8<2, 1, 0>};
    case FrameFormat::Rgbx: return {"RGBx", 4, bytes8<0, 1, 2>};
    case FrameFormat::Rgba: return {"RGBA", 4, bytes8<0, 1, 2>};
    case FrameFormat::Xrgb: return {"xRGB", 4, bytes8<1, 2, 3>};
    case FrameFormat::Argb: return {"ARGB", 4, bytes8<1, 2, 3>};
    case FrameFormat::Xbgr: return {"xBGR", 4, bytes8<3, 2, 1>};
    case FrameFormat::Abgr: return {"ABGR", 4, bytes8<3, 2, 1>};
    case FrameFormat::Rgb: return {"RGB", 3, bytes8<0, 1, 2>};
    case FrameFormat::Bgr: return {"BGR", 3, bytes8<2, 1, 0>};
    case FrameFormat::Xrgb210: return {"xRGB_210LE", 4, packed10<20, 10, 0>};
    case FrameFormat::Argb210: return {"ARGB_210LE", 4, packed10<20, 10, 0>};
    case FrameFormat::Xbgr210: return {"xBGR_210LE", 4, packed10<0, 10, 20>};
    case FrameFormat::Abgr210: return {"ABGR_210LE", 4, packed10<0, 10, 20>};
    case FrameFormat::Rgbx102: return {"RGBx_102LE", 4, packed10<22, 12, 2>};
    case FrameFormat::Rgba102: return {"RGBA_102LE", 4, packed10<22, 12, 2>};
    case FrameFormat::Bgrx102: return {"BGRx_102LE", 4, packed10<2, 12, 22>};
    case FrameFormat::Bgra102: return {"BGRA_102LE", 4, packed10<2, 12, 22>};
    case FrameFormat::Rgb565: return {"RGB16", 2, packed565<true>};
    case FrameFormat::Bgr565: return {"BGR16", 2, packed565<false>};
    }
    return {"unknown", 4, bytes8<2, 1, 0>};
}

} // namespace

int bytesPerPixel(FrameFormat format) { return layout(format).bytes; }

std::string_view formatName(FrameFormat format) { return layout(format).name; }

void fillSnapshot(const FrameView& frame, Snapshot& snapshot)
{
    const Layout l = layout(frame.format);
    const auto pixelBytes = static_cast<std::size_t>(l.bytes);
    const bool usable = frame.width > 0 && frame.height > 0 &&
                        frame.stride >= static_cast<std::size_t>(frame.width) * pixelBytes;
    // The part of every row that the frame has (x from 0 to width - 1), from its first column that
    // the scan reads: the frame may be four times the size of the rows' points, so converting only
    // those keeps the cost of a tick with the scan's steps.
    const int step = snapshot.columnStep();
    const int skip = std::max(0, -snapshot.xFrom());
    const int from = snapshot.xFrom() + (skip + step - 1) / step * step;
    const int to = usable ? std::min(snapshot.xTo(), frame.width - 1) : -1;

    for (std::size_t i = 0; i < snapshot.rows().size(); ++i) {
        const int y = snapshot.rows()[i];
        const std::span<Colour> out = snapshot.row(i);
        std::fill(out.begin(), out.end(), kFailedPixel);
        if (!usable || y < 0 || y >= frame.height || from > to)
            continue;
        const std::size_t start = static_cast<std::size_t>(y) * frame.stride;
        const std::size_t rowEnd = start + static_cast<std::size_t>(frame.width) * pixelBytes;
        if (rowEnd > frame.bytes.size() || rowEnd < start)
            continue;
        const std::uint8_t* row = frame.bytes.data() + start;
        for (int x = from; x <= to; x += step)
            out[static_cast<std::size_t>(x - snapshot.xFrom())] = l.read(row + static_cast<std::size_t>(x) * pixelBytes);
    }
}

FrameView frameIn(std::span<const std::uint8_t> block, const FramePlace& place, const FrameLayout& layout)
{
    const std::size_t offset = std::min(place.offset, block.size());
    const std::size_t size = std::min(place.size, block.size() - offset);
    const std::size_t rowBytes =
        static_cast<std::size_t>(std::max(layout.width, 0)) * static_cast<std::size_t>(bytesPerPixel(layout.format));
    const std::size_t stride = place.stride > 0 ? static_cast<std::size_t>(place.stride) : rowBytes;
    const std::size_t rows = static_cast<std::size_t>(std::max(layout.height, 0));
    return {layout.format, layout.width, layout.height, stride, block.subspan(offset, std::min(size, stride * rows))};
}

FrameView frameIn(std::span<const std::uint8_t> block, const FramePlace& place, const FrameLayout& layout,
                  const FrameRegion& region)
{
    const FrameView whole = frameIn(block, place, layout);
    const int x = std::clamp(region.x, 0, std::max(layout.width, 0));
    const int y = std::clamp(region.y, 0, std::max(layout.height, 0));
    const int width = std::clamp(region.width, 0, std::max(layout.width, 0) - x);
    const int height = std::clamp(region.height, 0, std::max(layout.height, 0) - y);
    // The region's rows keep the picture's stride; fillSnapshot stops at the region's last row.
    const std::size_t start = static_cast<std::size_t>(y) * whole.stride +
                              static_cast<std::size_t>(x) * static_cast<std::size_t>(bytesPerPixel(layout.format));
    return {layout.format, width, height, whole.stride, whole.bytes.subspan(std::min(start, whole.bytes.size()))};
}

void* FrameHold::hold(const FrameView& frame, void* buffer, int dmaBuf)
{
    const std::lock_guard lock(mutex_);
    frame_ = frame;
    dmaBuf_ = dmaBuf;
    ++held_;
    return std::exchange(buffer_, buffer);
}

void* FrameHold::drop()
{
    const std::lock_guard lock(mutex_);
    frame_ = {};
    dmaBuf_ = -1;
    return std::exchange(buffer_, nullptr);
}

void FrameHold::sample(std::span<Snapshot* const> snapshots) const
{
    const std::lock_guard lock(mutex_);
    std::optional<DmaBufRead> gpuRead;
    if (dmaBuf_ >= 0 && !snapshots.empty())
        gpuRead.emplace(dmaBuf_);
    for (Snapshot* snapshot : snapshots)
        fillSnapshot(frame_, *snapshot);
}

std::uint64_t FrameHold::held() const
{
    const std::lock_guard lock(mutex_);
    return held_;
}

} // namespace lumora
