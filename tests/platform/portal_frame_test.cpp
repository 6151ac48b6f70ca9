// Frame conversion of the portal capture, with hand-made buffers: every pixel layout, padded and
// tight strides, frames smaller or larger than the screen, and the hand-over between threads.
#include <gtest/gtest.h>

#include "platform/portal_frame.hpp"

#include <atomic>
#include <thread>

namespace lumora {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes le32(std::uint32_t w)
{
    return {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w >> 16),
            static_cast<std::uint8_t>(w >> 24)};
}

Bytes le16(unsigned w) { return {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8)}; }

struct FormatCase {
    FrameFormat format;
    Bytes pixel;    // one pixel as it lies in memory
    Colour colour;  // what it must read as
};

// 8-bit layouts carry #123456 with 0x99 in the unused or alpha byte; the deeper layouts carry
// 10-bit values whose top 8 bits are 0x12, 0x34, 0x56, with the low bits set to show they are cut.
const Colour kColour = rgb(0x12, 0x34, 0x56);
const FormatCase kFormats[] = {
    {FrameFormat::Bgrx, {0x56, 0x34, 0x12, 0x99}, kColour},
    {FrameFormat::Bgra, {0x56, 0x34, 0x12, 0x99}, kColour},
    {FrameFormat::Rgbx, {0x12, 0x34, 0x56, 0x99}, kColour},
    {FrameFormat::Rgba, {0x12, 0x34, 0x56, 0x99}, kColour},
    {FrameFormat::Xrgb, {0x99, 0x12, 0x34, 0x56}, kColour},
    {FrameFormat::Argb, {0x99, 0x12, 0x34, 0x56}, kColour},
    {FrameFormat::Xbgr, {0x99, 0x56, 0x34, 0x12}, kColour},
    {FrameFormat::Abgr, {0x99, 0x56, 0x34, 0x12}, kColour},
    {FrameFormat::Rgb, {0x12, 0x34, 0x56}, kColour},
    {FrameFormat::Bgr, {0x56, 0x34, 0x12}, kColour},
    {FrameFormat::Xrgb210, le32(3u << 30 | 0x04Bu << 20 | 0x0D1u << 10 | 0x15Bu), kColour},
    {FrameFormat::Argb210, le32(2u << 30 | 0x04Bu << 20 | 0x0D1u << 10 | 0x15Bu), kColour},
    {FrameFormat::Xbgr210, le32(3u << 30 | 0x15Bu << 20 | 0x0D1u << 10 | 0x04Bu), kColour},
    {FrameFormat::Abgr210, le32(1u << 30 | 0x15Bu << 20 | 0x0D1u << 10 | 0x04Bu), kColour},
    {FrameFormat::Rgbx102, le32(0x04Bu << 22 | 0x0D1u << 12 | 0x15Bu << 2 | 3u), kColour},
    {FrameFormat::Rgba102, le32(0x04Bu << 22 | 0x0D1u << 12 | 0x15Bu << 2 | 1u), kColour},
    {FrameFormat::Bgrx102, le32(0x15Bu << 22 | 0x0D1u << 12 | 0x04Bu << 2 | 3u), kColour},
    {FrameFormat::Bgra102, le32(0x15Bu << 22 | 0x0D1u << 12 | 0x04Bu << 2 | 2u), kColour},
    // 5-6-5: red 0x10, green 0x20, blue 0x01 widen to 0x84, 0x82, 0x08.
    {FrameFormat::Rgb565, le16(0x10u << 11 | 0x20u << 5 | 0x01u), rgb(0x84, 0x82, 0x08)},
    {FrameFormat::Bgr565, le16(0x01u << 11 | 0x20u << 5 | 0x10u), rgb(0x84, 0x82, 0x08)},
};

// A frame of `width` x `height` black pixels (all-zero bytes are black in every layout) with
// `padding` bytes of 0xEE after each row, and `pixel` written at (px, py).
struct HandFrame {
    HandFrame(FrameFormat format, int width, int height, std::size_t padding)
        : format(format), width(width), height(height),
          stride(static_cast<std::size_t>(width * bytesPerPixel(format)) + padding)
    {
        bytes.assign(stride * static_cast<std::size_t>(height), 0);
        for (int y = 0; y < height; ++y)
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(y * stride + stride - padding),
                        padding, std::uint8_t{0xEE});
    }
    void put(int x, int y, const Bytes& pixel)
    {
        std::copy(pixel.begin(), pixel.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(y * stride + static_cast<std::size_t>(x * bytesPerPixel(format))));
    }
    FrameView view() const { return {format, width, height, stride, bytes}; }

    FrameFormat format;
    int width;
    int height;
    std::size_t stride;
    Bytes bytes;
};

Snapshot snapshotOf(int xFrom, int xTo, std::vector<int> rows)
{
    Snapshot s;
    s.reset(xFrom, xTo, std::move(rows));
    return s;
}

void PrintTo(const FormatCase& c, std::ostream* os) { *os << formatName(c.format); }

class PortalFrameFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(PortalFrameFormats, ReadsThePixelWhereItIsAndFailsOutsideTheFrame)
{
    const FormatCase& c = GetParam();
    ASSERT_EQ(c.pixel.size(), static_cast<std::size_t>(bytesPerPixel(c.format)));
    for (const std::size_t padding : {std::size_t{0}, std::size_t{5}, std::size_t{64}}) {
        SCOPED_TRACE("padding " + std::to_string(padding));
        HandFrame frame(c.format, 3, 2, padding);
        frame.put(2, 1, c.pixel);
        Snapshot s = snapshotOf(-1, 3, {-1, 0, 1, 2});
        fillSnapshot(frame.view(), s);
        for (std::size_t row = 0; row < s.rows().size(); ++row) {
            for (int x = -1; x <= 3; ++x) {
                const int y = s.rows()[row];
                SCOPED_TRACE("x " + std::to_string(x) + " y " + std::to_string(y));
                const bool inside = x >= 0 && x < 3 && y >= 0 && y < 2;
                const Colour want = !inside ? kFailedPixel : (x == 2 && y == 1 ? c.colour : rgb(0, 0, 0));
                EXPECT_EQ(s.pixel(x, row), want);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, PortalFrameFormats, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             std::string name(formatName(info.param.format));
                             std::erase(name, '_');
                             return name;
                         });

TEST(PortalFrame, FullScaleStaysFullScaleInDeepLayouts)
{
    const struct {
        FrameFormat format;
        Bytes pixel;
    } cases[] = {
        {FrameFormat::Xrgb210, le32(0x3FFu << 20 | 0x3FFu << 10 | 0x3FFu)},
        {FrameFormat::Bgrx102, le32(0x3FFu << 22 | 0x3FFu << 12 | 0x3FFu << 2)},
        {FrameFormat::Rgb565, le16(0xFFFF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatName(c.format));
        HandFrame frame(c.format, 1, 1, 0);
        frame.put(0, 0, c.pixel);
        Snapshot s = snapshotOf(0, 0, {0});
        fillSnapshot(frame.view(), s);
        EXPECT_EQ(s.pixel(0, 0), rgb(255, 255, 255));
    }
}

// Each pixel's colour names its place, so that a wrong stride or offset shows.
HandFrame numberedFrame(int width, int height, std::size_t padding)
{
    HandFrame frame(FrameFormat::Bgrx, width, height, padding);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.put(x, y, {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0x80, 0});
    return frame;
}

Colour numbered(int x, int y) { return rgb(0x80, y, x); }

TEST(PortalFrame, FrameSmallerThanTheScreenLeavesTheRestFailed)
{
    const HandFrame frame = numberedFrame(4, 3, 12);
    Snapshot s = snapshotOf(2, 9, {0, 2, 3, 7});
    fillSnapshot(frame.view(), s);
    for (std::size_t row = 0; row < 4; ++row) {
        for (int x = 2; x <= 9; ++x) {
            const int y = s.rows()[row];
            SCOPED_TRACE("x " + std::to_string(x) + " y " + std::to_string(y));
            EXPECT_EQ(s.pixel(x, row), x < 4 && y < 3 ? numbered(x, y) : kFailedPixel);
        }
    }
}

TEST(PortalFrame, FrameLargerThanTheScreenGivesTheRequestedPoints)
{
    const HandFrame frame = numberedFrame(40, 30, 8);
    Snapshot s = snapshotOf(5, 9, {5, 29});
    fillSnapshot(frame.view(), s);
    for (std::size_t row = 0; row < 2; ++row)
        for (int x = 5; x <= 9; ++x)
            EXPECT_EQ(s.pixel(x, row), numbered(x, s.rows()[row]));
}

TEST(PortalFrame, RowsTheBufferDoesNotWhollyHoldAreFailed)
{
    HandFrame frame = numberedFrame(4, 3, 16);
    // The last row needs no padding after it; one byte less than its pixels loses it.
    frame.bytes.resize(2 * frame.stride + 4 * 4);
    Snapshot whole = snapshotOf(0, 3, {0, 1, 2});
    fillSnapshot(frame.view(), whole);
    EXPECT_EQ(whole.pixel(3, 2), numbered(3, 2));

    frame.bytes.resize(2 * frame.stride + 4 * 4 - 1);
    Snapshot cut = snapshotOf(0, 3, {0, 1, 2});
    fillSnapshot(frame.view(), cut);
    EXPECT_EQ(cut.pixel(3, 1), numbered(3, 1));
    for (int x = 0; x <= 3; ++x)
        EXPECT_EQ(cut.pixel(x, 2), kFailedPixel);
}

TEST(PortalFrame, UnusableFramesFailEveryPoint)
{
    const HandFrame good = numberedFrame(4, 3, 0);
    const struct {
        const char* what;
        FrameView view;
    } cases[] = {
        {"stride shorter than a row", {FrameFormat::Bgrx, 4, 3, 15, good.bytes}},
        {"no width", {FrameFormat::Bgrx, 0, 3, 16, good.bytes}},
        {"no height", {FrameFormat::Bgrx, 4, 0, 16, good.bytes}},
        {"no bytes", {FrameFormat::Bgrx, 4, 3, 16, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot s = snapshotOf(0, 3, {0, 1, 2});
        fillSnapshot(c.view, s);
        for (std::size_t row = 0; row < 3; ++row)
            for (int x = 0; x <= 3; ++x)
                EXPECT_EQ(s.pixel(x, row), kFailedPixel);
    }
}

TEST(PortalFrame, OverwritesWhatTheSnapshotHeldBefore)
{
    Snapshot s = snapshotOf(0, 5, {0, 1});
    fillSnapshot(numberedFrame(6, 2, 0).view(), s);
    fillSnapshot(numberedFrame(3, 1, 0).view(), s);
    EXPECT_EQ(s.pixel(2, 0), numbered(2, 0));
    EXPECT_EQ(s.pixel(3, 0), kFailedPixel);
    EXPECT_EQ(s.pixel(0, 1), kFailedPixel);
}

void publishFilled(FrameMailbox& box, std::uint8_t value)
{
    FrameMailbox::Frame& f = box.writable();
    f.width = 1;
    f.height = 1;
    f.stride = 4;
    f.bytes.assign(4, value);
    box.publish();
}

TEST(PortalFrameMailbox, TheNewestFrameWinsAndStaysUntilTheNextTake)
{
    FrameMailbox box;
    EXPECT_EQ(box.newest(), nullptr);
    publishFilled(box, 1);
    publishFilled(box, 2);
    const FrameMailbox::Frame* taken = box.newest();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->sequence, 2u);
    EXPECT_EQ(taken->bytes, Bytes(4, 2));

    // The capture goes on while the tick samples: the taken frame is not written into.
    publishFilled(box, 3);
    publishFilled(box, 4);
    publishFilled(box, 5);
    EXPECT_EQ(taken->bytes, Bytes(4, 2));
    EXPECT_EQ(box.published(), 5u);

    const FrameMailbox::Frame* next = box.newest();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->sequence, 5u);
    // With nothing new the same frame is sampled again: a static screen sends no frames.
    EXPECT_EQ(box.newest(), next);
    EXPECT_EQ(box.newest()->sequence, 5u);
}

TEST(PortalFrameMailbox, ClearForgetsEveryFrame)
{
    FrameMailbox box;
    publishFilled(box, 1);
    ASSERT_NE(box.newest(), nullptr);
    publishFilled(box, 2);
    box.clear();
    EXPECT_EQ(box.newest(), nullptr);
    publishFilled(box, 3);
    ASSERT_NE(box.newest(), nullptr);
    EXPECT_EQ(box.newest()->bytes, Bytes(4, 3));
}

TEST(PortalFrameMailbox, FramesCrossThreadsWhole)
{
    // A frame is whole when every byte carries its sequence; a torn hand-over mixes two frames.
    FrameMailbox box;
    constexpr std::uint64_t kFrames = 20000;
    std::thread capture([&box] {
        for (std::uint64_t i = 1; i <= kFrames; ++i) {
            FrameMailbox::Frame& f = box.writable();
            f.bytes.assign(4096, static_cast<std::uint8_t>(i));
            box.publish();
        }
    });
    std::uint64_t last = 0;
    std::size_t torn = 0, backwards = 0;
    while (last < kFrames) {
        const FrameMailbox::Frame* f = box.newest();
        if (!f)
            continue;
        for (std::uint8_t b : f->bytes)
            torn += b != static_cast<std::uint8_t>(f->sequence);
        backwards += f->sequence < last;
        last = f->sequence;
    }
    capture.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(backwards, 0u);
}

} // namespace
} // namespace lumora
