// The portal capture's parts without a desktop. Frame conversion with hand-made buffers: every
// pixel layout, padded and tight strides, frames read in place or whole, smaller or larger than
// the screen or cropped, and the frame lent from the capture thread to the tick. Which PipeWire
// buffers carry a picture, from buffers made by hand as a producer fills them. The screen-capture
// permission kept between runs: private folder and file, whole replacement, failures explained,
// and the folder chosen from the environment.
#include "platform/portal/pipewire_picture.hpp"
#include "platform/portal/portal_frame.hpp"
#include "platform/portal/portal_token_store.hpp"
#include "platform_test.hpp"

#include <QTemporaryDir>

#include <spa/buffer/meta.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <thread>

namespace lumora {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::expectPixels;
using test::snapshot;

Bytes le32(std::uint32_t w) { return {std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(w >> 16), std::uint8_t(w >> 24)}; }
Bytes le16(unsigned w) { return {std::uint8_t(w), std::uint8_t(w >> 8)}; }

// A layout, one pixel as it lies in memory, and what it must read as.
struct FormatCase { FrameFormat format; Bytes pixel; Colour colour; };

// 8-bit layouts carry #123456 with 0x99 in the unused or alpha byte; the deeper layouts carry
// 10-bit values whose top 8 bits are 0x12, 0x34, 0x56, with the low bits set to show they are cut.
const Colour kColour = rgb(0x12, 0x34, 0x56);
const FormatCase kFormats[] = {
    {FrameFormat::Bgrx, {0x56, 0x34, 0x12, 0x99}, kColour}, {FrameFormat::Bgra, {0x56, 0x34, 0x12, 0x99}, kColour},
    {FrameFormat::Rgbx, {0x12, 0x34, 0x56, 0x99}, kColour}, {FrameFormat::Rgba, {0x12, 0x34, 0x56, 0x99}, kColour},
    {FrameFormat::Xrgb, {0x99, 0x12, 0x34, 0x56}, kColour}, {FrameFormat::Argb, {0x99, 0x12, 0x34, 0x56}, kColour},
    {FrameFormat::Xbgr, {0x99, 0x56, 0x34, 0x12}, kColour}, {FrameFormat::Abgr, {0x99, 0x56, 0x34, 0x12}, kColour},
    {FrameFormat::Rgb, {0x12, 0x34, 0x56}, kColour}, {FrameFormat::Bgr, {0x56, 0x34, 0x12}, kColour},
    {FrameFormat::Xrgb210, le32(3u << 30 | 0x04Bu << 20 | 0x0D1u << 10 | 0x15Bu), kColour},
    {FrameFormat::Argb210, le32(2u << 30 | 0x04Bu << 20 | 0x0D1u << 10 | 0x15Bu), kColour},
    {FrameFormat::Xbgr210, le32(3u << 30 | 0x15Bu << 20 | 0x0D1u << 10 | 0x04Bu), kColour},
    {FrameFormat::Abgr210, le32(1u << 30 | 0x15Bu << 20 | 0x0D1u << 10 | 0x04Bu), kColour},
    {FrameFormat::Rgbx102, le32(0x04Bu << 22 | 0x0D1u << 12 | 0x15Bu << 2 | 3u), kColour},
    {FrameFormat::Rgba102, le32(0x04Bu << 22 | 0x0D1u << 12 | 0x15Bu << 2 | 1u), kColour},
    {FrameFormat::Bgrx102, le32(0x15Bu << 22 | 0x0D1u << 12 | 0x04Bu << 2 | 3u), kColour},
    {FrameFormat::Bgra102, le32(0x15Bu << 22 | 0x0D1u << 12 | 0x04Bu << 2 | 2u), kColour},
    // 5-6-5: red 0x10, green 0x20, blue 0x01 widen to 0x84, 0x82, 0x08 (the top bits repeat below).
    {FrameFormat::Rgb565, le16(0x10u << 11 | 0x20u << 5 | 0x01u), rgb(0x84, 0x82, 0x08)},
    {FrameFormat::Bgr565, le16(0x01u << 11 | 0x20u << 5 | 0x10u), rgb(0x84, 0x82, 0x08)}};

// A frame of `width` x `height` black pixels (all-zero bytes are black in every layout) with
// `padding` bytes of 0xEE after each row.
struct HandFrame {
    HandFrame(FrameFormat format, int width, int height, std::size_t padding)
        : format(format), width(width), height(height), stride(std::size_t(width * bytesPerPixel(format)) + padding), bytes(stride * std::size_t(height), 0)
    {
        for (int y = 0; y < height; ++y)
            std::fill_n(bytes.begin() + std::ptrdiff_t((y + 1) * stride - padding), padding, std::uint8_t{0xEE});
    }
    void put(int x, int y, const Bytes& pixel) { std::ranges::copy(pixel, bytes.begin() + std::ptrdiff_t(y * stride + std::size_t(x * bytesPerPixel(format)))); }
    FrameView view() const { return {format, width, height, stride, bytes}; }

    FrameFormat format;
    int width, height;
    std::size_t stride;
    Bytes bytes;
};

class PortalFrameFormats : public testing::TestWithParam<FormatCase> {};

// Each layout reads its pixel where it is and fails outside the frame, with tight and padded
// rows; read where it lies in the producer's buffer, a frame gives what a whole copy of it gives.
TEST_P(PortalFrameFormats, ReadsThePixelWhereItIsAndInPlaceWhatAWholeCopyReads)
{
    const FormatCase& c = GetParam();
    ASSERT_EQ(c.pixel.size(), std::size_t(bytesPerPixel(c.format)));
    for (const std::size_t padding : {0u, 5u, 64u}) {
        SCOPED_TRACE("padding " + std::to_string(padding));
        HandFrame one(c.format, 3, 2, padding);
        one.put(2, 1, c.pixel);
        Snapshot s = snapshot(-1, 3, {-1, 0, 1, 2});
        fillSnapshot(one.view(), s);
        expectPixels(s, [&](int x, int y) { return x < 0 || x >= 3 || y < 0 || y >= 2 ? kFailedPixel : x == 2 && y == 1 ? c.colour : rgb(0, 0, 0); });

        HandFrame frame(c.format, 7, 5, padding);
        for (std::size_t i = 0; i < frame.bytes.size(); ++i)
            frame.bytes[i] = std::uint8_t(i * 37 + 11);
        for (const std::size_t offset : {0u, 3u, 4096u}) {
            SCOPED_TRACE("offset " + std::to_string(offset));
            Bytes block(offset, 0xAB);
            block.insert(block.end(), frame.bytes.begin(), frame.bytes.end());
            block.insert(block.end(), 9, 0xCD);
            // A producer that gives no stride has tight rows.
            const FramePlace place{offset, frame.bytes.size(), padding == 0 ? 0 : std::int64_t(frame.stride)};
            FrameHold hold;
            hold.hold(frameIn(block, place, {c.format, 7, 5}), &block);
            Snapshot whole = snapshot(-1, 7, {-1, 0, 2, 4, 5}), inPlace = whole;
            fillSnapshot(frame.view(), whole);
            Snapshot* const sampled[] = {&inPlace};
            hold.sample(sampled);
            ASSERT_NE(whole.pixel(6, 3), kFailedPixel); // the last row, y 4
            for (std::size_t r = 0; r < whole.rows().size(); ++r)
                EXPECT_TRUE(std::ranges::equal(whole.row(r), inPlace.row(r))) << "row " << whole.rows()[r];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, PortalFrameFormats, testing::ValuesIn(kFormats), [](const auto& info) {
    std::string name(formatName(info.param.format));
    std::erase(name, '_');
    return name;
});

// Each pixel's colour names its place, so that a wrong stride or offset shows.
HandFrame numberedFrame(int width, int height, std::size_t padding)
{
    HandFrame frame(FrameFormat::Bgrx, width, height, padding);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.put(x, y, {std::uint8_t(x), std::uint8_t(y), 0x80, 0});
    return frame;
}

TEST(PortalFrame, ReadsThePartOfTheFrameThatIsThereAndFailsTheRest)
{
    const HandFrame large = numberedFrame(40, 30, 8), small = numberedFrame(4, 3, 12);
    const std::span<const std::uint8_t> bytes = small.bytes;
    const std::size_t lastRowEnd = 2 * small.stride + 4 * 4; // the last row needs no padding after it
    const auto crop = [&](FrameRegion region) { return frameIn(large.bytes, {0, large.bytes.size(), std::int64_t(large.stride)}, {FrameFormat::Bgrx, 40, 30}, region); };
    // width, height: of the part that can be read; x, y: the frame's pixel read at 0, 0
    const struct { const char* what; FrameView view; int width, height, x = 0, y = 0; } cases[] = {
        {"larger than the screen", large.view(), 40, 30}, {"smaller than the screen", small.view(), 4, 3},
        {"last row without padding", {FrameFormat::Bgrx, 4, 3, small.stride, bytes.first(lastRowEnd)}, 4, 3},
        {"last row a byte short", {FrameFormat::Bgrx, 4, 3, small.stride, bytes.first(lastRowEnd - 1)}, 4, 2},
        {"placed past the buffer's end", frameIn(bytes.first(lastRowEnd - 1), {0, 1u << 20, std::int64_t(small.stride)}, {FrameFormat::Bgrx, 4, 3}), 4, 2},
        {"stride shorter than a row", {FrameFormat::Bgrx, 4, 3, 15, bytes}, 0, 0},
        {"no width", {FrameFormat::Bgrx, 0, 3, 16, bytes}, 0, 0}, {"no height", {FrameFormat::Bgrx, 4, 0, 16, bytes}, 0, 0},
        // A crop reads its region, cut to the frame, from the region's top-left pixel.
        {"a crop down to the last row", crop({12, 5, 20, 25}), 20, 25, 12, 5}, {"a crop past the frame", crop({30, 20, 20, 20}), 10, 10, 30, 20},
        {"a crop of the whole frame", crop({0, 0, 40, 30}), 40, 30}, {"a crop left of the frame", crop({-3, 2, 5, 1}), 5, 1, 0, 2}};
    // One snapshot for all: what an earlier frame wrote must not survive.
    Snapshot s = snapshot(-1, 41, {-1, 0, 2, 3, 7, 9, 10, 24, 25, 29, 30});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fillSnapshot(c.view, s);
        expectPixels(s, [&](int x, int y) { return x >= 0 && x < c.width && y >= 0 && y < c.height ? rgb(0x80, y + c.y, x + c.x) : kFailedPixel; });
    }
    // Only the columns the scan reads are converted, counted from the first, also left of the frame.
    Snapshot stepped = snapshot(-4, 9, {1}, 3);
    fillSnapshot(large.view(), stepped);
    expectPixels(stepped, [](int x, int y) { return x >= 0 && (x + 4) % 3 == 0 ? rgb(0x80, y, x) : kFailedPixel; });
}

TEST(PortalFrameHold, AFrameIsNeverWrittenWhileItCanBeSampledAndTheNewestIsGivenBackLast)
{
    // As a producer does, the capture writes only into buffers the hold gave back; a frame sampled
    // while it is written into mixes two frames' colours.
    constexpr std::uint64_t kFrames = 20000;
    std::vector<HandFrame> buffers(3, HandFrame(FrameFormat::Bgrx, 64, 4, 0));
    FrameHold hold;
    std::thread capture([&] {
        std::vector<HandFrame*> free{&buffers[0], &buffers[1], &buffers[2]};
        for (std::uint64_t i = 1; i <= kFrames; ++i) {
            HandFrame* f = free.back();
            free.pop_back(), std::ranges::fill(f->bytes, std::uint8_t(i));
            if (void* back = hold.hold(f->view(), f))
                free.push_back(static_cast<HandFrame*>(back));
        }
    });
    Snapshot s = snapshot(0, 63, {0, 1, 2, 3});
    Snapshot* const sampled[] = {&s};
    std::size_t torn = 0;
    while (hold.held() < kFrames) {
        hold.sample(sampled);
        for (std::size_t r = 0; r < s.rows().size(); ++r)
            torn += std::size_t(std::ranges::count_if(s.row(r), [&](Colour c) { return c != s.pixel(0, 0); }));
    }
    capture.join();
    EXPECT_EQ(torn, 0u);
    // Dropping gives the newest frame back; then nothing is held and every point reads failed.
    EXPECT_EQ(static_cast<HandFrame*>(hold.drop())->bytes[0], std::uint8_t(kFrames));
    EXPECT_EQ(hold.drop(), nullptr);
    hold.sample(sampled);
    EXPECT_EQ(s.pixel(0, 0), kFailedPixel);
}

// Which PipeWire buffers carry a picture to read, and which part of the frame it is.
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

unsigned modeOf(const std::filesystem::path& p) { return static_cast<unsigned>(std::filesystem::status(p).permissions()); }

TEST(PortalTokenStore, PrivateWholeReplacementsInTheStateHomeAndFailuresKeepNothing)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const RestoreTokenStore fresh(base / "state" / "lumora-driver");
    EXPECT_EQ(fresh.load(), "");
    EXPECT_EQ(fresh.save("d617b07c-6950-485c-89c4-6612ce285ae8"), "");
    EXPECT_EQ(fresh.load(), "d617b07c-6950-485c-89c4-6612ce285ae8");
    // A folder and a file that others may read are made private on the next save.
    const RestoreTokenStore loose(base / "loose");
    ASSERT_EQ(::mkdir(loose.folder().c_str(), 0755), 0);
    std::ofstream(loose.file()) << "old\n";
    ASSERT_EQ(::chmod(loose.file().c_str(), 0644), 0);
    for (const RestoreTokenStore* store : {&fresh, &loose}) {
        SCOPED_TRACE(store->folder());
        EXPECT_EQ(store->save("second"), "");
        EXPECT_EQ(RestoreTokenStore(store->folder()).load(), "second");
        EXPECT_EQ(std::pair(modeOf(store->folder()), modeOf(store->file())), std::pair(0700u, 0600u));
        const std::filesystem::directory_iterator entries(store->folder());
        EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "nothing is left beside the token";
    }
    std::ofstream(base / "blocker") << "a file where the folder should be\n";
    const RestoreTokenStore blocked(base / "blocker" / "lumora-driver");
    EXPECT_NE(blocked.save("token").find("blocker"), std::string::npos) << blocked.save("token");
    EXPECT_EQ(blocked.load(), "");
    EXPECT_NE(RestoreTokenStore({}).save("token"), "");
    const struct { std::optional<std::string> stateHome, home; std::filesystem::path folder; } cases[] = {
        {"/s/state", "/home/u", "/s/state/lumora-driver"}, {std::nullopt, "/home/u", "/home/u/.local/state/lumora-driver"},
        {"relative/state", "/home/u", "/home/u/.local/state/lumora-driver"}, {"", "/home/u", "/home/u/.local/state/lumora-driver"},
        {std::nullopt, std::nullopt, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const test::ScopedEnv state("XDG_STATE_HOME", c.stateHome), home("HOME", c.home);
        EXPECT_EQ(RestoreTokenStore::defaultFolder(), c.folder);
    }
}

} // namespace
} // namespace lumora
