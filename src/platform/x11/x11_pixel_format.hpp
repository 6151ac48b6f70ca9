// Turns the server's ZPixmap pixels of a TrueColor screen into colour values (red lowest).
#pragma once

#include "sampling/screen.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace lumora::x11 {

struct PixelLayout {
    int bitsPerPixel = 32;      // 16, 24 or 32
    bool mostSignificantFirst = false; // the server's image byte order
    std::uint32_t redMask = 0xFF0000;
    std::uint32_t greenMask = 0x00FF00;
    std::uint32_t blueMask = 0x0000FF;
};

class PixelFormat {
public:
    // Empty when the layout cannot be read: a pixel size other than 16, 24 or 32 bits, or a mask
    // that is empty, not one run of bits, or overlaps another.
    static std::optional<PixelFormat> make(const PixelLayout& layout);

    int bytesPerPixel() const { return bytesPerPixel_; }

    // Converts out[0], out[step], out[2 * step], ... from the pixels at the same places after
    // `pixels` (which holds at least out.size() of them); the points between are left as they are.
    void convert(const std::byte* pixels, std::span<Colour> out, std::size_t step = 1) const;

private:
    struct Channel {
        std::uint32_t mask = 0;
        int shift = 0;
        int bits = 0;
        std::uint32_t to8(std::uint32_t pixel) const;
    };

    PixelFormat() = default;
    std::uint32_t load(const std::byte* p) const;
    Colour one(const std::byte* p) const;

    int bytesPerPixel_ = 4;
    bool msbFirst_ = false;
    bool common_ = false; // 32 bits, least significant byte first, red 0xFF0000, blue 0xFF
    Channel red_, green_, blue_;
};

} // namespace lumora::x11
