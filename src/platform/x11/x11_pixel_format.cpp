// Pixel conversion: each channel is cut out by its mask and widened or narrowed to 8 bits.
#include "platform/x11/x11_pixel_format.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lumora::x11 {

namespace {

bool contiguous(std::uint32_t mask)
{
    const std::uint32_t low = mask >> std::countr_zero(mask);
    return (low & (low + 1)) == 0;
}

// The common layout read as little-endian words: red and blue swap places, green stays. Runs of
// eight points with the buffers known apart let the compiler vectorise this at -O2; it converts
// every captured point of every tick.
inline std::uint32_t swapRedBlue(std::uint32_t v) { return (v >> 16 & 0xFFu) | (v & 0xFF00u) | (v & 0xFFu) << 16; }

void convertCommon(const std::byte* __restrict pixels, Colour* __restrict out, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (std::size_t j = 0; j < 8; ++j) {
            std::uint32_t v;
            std::memcpy(&v, pixels + (i + j) * 4, 4);
            out[i + j] = swapRedBlue(v);
        }
    }
    for (; i < n; ++i) {
        std::uint32_t v;
        std::memcpy(&v, pixels + i * 4, 4);
        out[i] = swapRedBlue(v);
    }
}

} // namespace

std::optional<PixelFormat> PixelFormat::make(const PixelLayout& layout)
{
    if (layout.bitsPerPixel != 16 && layout.bitsPerPixel != 24 && layout.bitsPerPixel != 32)
        return std::nullopt;
    const std::uint32_t masks[] = {layout.redMask, layout.greenMask, layout.blueMask};
    const std::uint32_t fits = layout.bitsPerPixel == 32 ? 0xFFFFFFFFu : (1u << layout.bitsPerPixel) - 1;
    for (const std::uint32_t m : masks) {
        if (m == 0 || (m & ~fits) != 0 || !contiguous(m))
            return std::nullopt;
    }
    if ((masks[0] & masks[1]) != 0 || (masks[0] & masks[2]) != 0 || (masks[1] & masks[2]) != 0)
        return std::nullopt;

    PixelFormat f;
    f.bytesPerPixel_ = layout.bitsPerPixel / 8;
    f.msbFirst_ = layout.mostSignificantFirst;
    Channel* channels[] = {&f.red_, &f.green_, &f.blue_};
    for (int i = 0; i < 3; ++i) {
        channels[i]->mask = masks[i];
        channels[i]->shift = std::countr_zero(masks[i]);
        channels[i]->bits = std::popcount(masks[i]);
    }
    f.common_ = layout.bitsPerPixel == 32 && !layout.mostSignificantFirst && layout.redMask == 0xFF0000 &&
                layout.greenMask == 0x00FF00 && layout.blueMask == 0x0000FF;
    return f;
}

std::uint32_t PixelFormat::Channel::to8(std::uint32_t pixel) const
{
    const std::uint32_t v = (pixel & mask) >> shift;
    if (bits == 8)
        return v;
    if (bits > 8)
        return v >> (bits - 8);
    // Narrow channels are spread over 0..255 so that their largest value reads as 255.
    const std::uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
}

std::uint32_t PixelFormat::load(const std::byte* p) const
{
    std::uint32_t v = 0;
    if (msbFirst_) {
        for (int i = 0; i < bytesPerPixel_; ++i)
            v = v << 8 | std::to_integer<std::uint32_t>(p[i]);
    } else {
        for (int i = bytesPerPixel_ - 1; i >= 0; --i)
            v = v << 8 | std::to_integer<std::uint32_t>(p[i]);
    }
    return v;
}

Colour PixelFormat::one(const std::byte* p) const
{
    if (common_) // blue, green, red in the first three bytes, on any host
        return std::to_integer<Colour>(p[2]) | std::to_integer<Colour>(p[1]) << 8 | std::to_integer<Colour>(p[0]) << 16;
    const std::uint32_t v = load(p);
    return red_.to8(v) | green_.to8(v) << 8 | blue_.to8(v) << 16;
}

void PixelFormat::convert(const std::byte* pixels, std::span<Colour> out, std::size_t step) const
{
    if (step <= 1 && common_ && std::endian::native == std::endian::little) {
        convertCommon(pixels, out.data(), out.size());
        return;
    }
    step = std::max<std::size_t>(step, 1);
    const auto bytes = static_cast<std::size_t>(bytesPerPixel_);
    for (std::size_t i = 0; i < out.size(); i += step)
        out[i] = one(pixels + i * bytes);
}

} // namespace lumora::x11
