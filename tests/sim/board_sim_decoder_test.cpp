// The emulated firmware's receiver: framing, resynchronisation and what each channel shows.
#include "board_sim/decoder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

using lumora::sim::Decoder;
using lumora::sim::Packet;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Whole streams and the same streams fed byte by byte give the same packets and counts.
TEST(Decoder, FramesPacketsAndResynchronisesWholeOrByteByByte)
{
    // pending: bytes left towards the next packet
    const struct { const char* name; Bytes stream; std::vector<Packet> packets; std::uint64_t bad; std::size_t pending; bool resynchronising; } cases[] = {
        {"KeyboardPacket", {3, 0, 255, 0, 13}, {{3, 0, 255, 0}}, 0, 0, false},
        {"LevelThirteenIsNotEscaped", {1, 13, 0, 255, 13, 2, 13, 13, 13, 13}, {{1, 13, 0, 255}, {2, 13, 13, 13}}, 0, 0, false},
        {"PartialPacketWaits", {0, 10, 20, 30}, {}, 0, 4, false},
        // Starting mid-packet: the tail's end mark is among the five collected bytes, and what
        // follows it is a whole packet.
        {"TailOfPacketThenPacket", {7, 8, 13, 0, 1, 2, 3, 13}, {{0, 1, 2, 3}}, 1, 0, false},
        // No end mark among the five: drop through the next 13 to arrive, here the one closing the
        // first whole packet, which is therefore lost too.
        {"StrayByteCostsNextPacket", {99, 0, 1, 2, 3, 13, 1, 4, 5, 6, 13}, {{1, 4, 5, 6}}, 1, 0, false},
        {"ChannelOutOfRange", {4, 1, 2, 3, 13, 0, 9, 9, 9, 13}, {{0, 9, 9, 9}}, 1, 0, false},
        {"WrongEndMarkWithoutThirteen", {0, 1, 2, 3, 4, 5}, {}, 1, 0, true},
        // A lost end mark after a level of 13: resync lands inside the data and misframes once more
        // before the stream settles. The protocol cannot do better.
        {"LevelThirteenMisframesAfterLoss", {0, 13, 5, 6, 1, 7, 8, 9, 13, 2, 1, 1, 1, 13}, {{2, 1, 1, 1}}, 2, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoder whole, byByte;
        EXPECT_EQ(whole.feed(c.stream), c.packets);
        std::vector<Packet> got;
        for (const std::uint8_t b : c.stream)
            for (const Packet& p : byByte.feed(Bytes{b}))
                got.push_back(p);
        EXPECT_EQ(got, c.packets);
        for (const Decoder* d : {&whole, &byByte})
            EXPECT_EQ(std::tuple(d->badPackets(), d->goodPackets(), d->pendingBytes(), d->resynchronising()),
                      std::tuple(c.bad, c.packets.size(), c.pending, c.resynchronising));
    }
}

} // namespace
