// Pixel layouts a TrueColor X server may use, turned into colour values with red lowest.
#include "platform/x11_pixel_format.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumora::x11 {
namespace {

TEST(X11PixelFormat, ConvertsEachLayoutWithoutSwappingChannels)
{
    const struct {
        const char* name;
        PixelLayout layout;
        std::vector<std::uint8_t> pixels;
        std::vector<Colour> expected;
    } cases[] = {
        {"32 bits, least significant first, red high (the common case)", {32, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12, 0xAA},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, most significant first, red high", {32, true, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0xFF, 0x00, 0x00, 0xAA, 0x12, 0x34, 0x56}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"32 bits, red low", {32, false, 0x0000FF, 0x00FF00, 0xFF0000},
         {0xFF, 0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0x00}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"24 bits, least significant first", {24, false, 0xFF0000, 0x00FF00, 0x0000FF},
         {0x00, 0x00, 0xFF, 0x56, 0x34, 0x12}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"24 bits, most significant first", {24, true, 0xFF0000, 0x00FF00, 0x0000FF},
         {0xFF, 0x00, 0x00, 0x12, 0x34, 0x56}, {rgb(255, 0, 0), rgb(0x12, 0x34, 0x56)}},
        {"16 bits 5-6-5: the largest value of a narrow channel reads as 255", {16, false, 0xF800, 0x07E0, 0x001F},
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x10, 0x84},
         {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(255, 255, 255), rgb(132, 130, 132)}},
        {"32 bits with 10-bit channels (depth 30)", {32, false, 0x3FF00000, 0x000FFC00, 0x000003FF},
         {0x00, 0x00, 0xF0, 0x3F, 0xFF, 0x03, 0x00, 0x00}, {rgb(255, 0, 0), rgb(0, 0, 255)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto format = PixelFormat::make(c.layout);
        ASSERT_TRUE(format.has_value());
        ASSERT_EQ(c.pixels.size(), c.expected.size() * static_cast<std::size_t>(format->bytesPerPixel()));
        std::vector<Colour> out(c.expected.size(), kFailedPixel);
        format->convert(reinterpret_cast<const std::byte*>(c.pixels.data()), out);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(X11PixelFormat, RefusesLayoutsItCannotRead)
{
    const std::pair<const char*, PixelLayout> cases[] = {
        {"8 bits per pixel", {8, false, 0xE0, 0x1C, 0x03}},
        {"an empty mask", {32, false, 0xFF0000, 0, 0xFF}},
        {"overlapping masks", {32, false, 0xFF0000, 0xFFFF00, 0xFF}},
        {"a mask with a gap", {32, false, 0xFF00FF, 0x00FF00, 0xFF000000}},
        {"a mask wider than the pixel", {16, false, 0xFF0000, 0x00FF00, 0x0000FF}},
    };
    for (const auto& [name, layout] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(PixelFormat::make(layout).has_value());
    }
}

} // namespace
} // namespace lumora::x11
