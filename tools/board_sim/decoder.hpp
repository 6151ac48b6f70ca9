// The board firmware's receiver: turns the raw byte stream of the serial line into lamp packets,
// counting what it cannot frame, and remembers what each channel shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumora::sim {

inline constexpr std::size_t kPacketSize = 5;
inline constexpr std::uint8_t kEndMark = 13;
inline constexpr int kChannelCount = 4; // 0..2 lamp zones (left, top, right), 3 keyboard backlight
inline constexpr int kKeyboardChannel = 3;

struct Packet {
    std::uint8_t channel = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0; // on the keyboard channel: the backlight level
    std::uint8_t blue = 0;

    friend bool operator==(const Packet&, const Packet&) = default;
};

// What one output of the board shows, and how many packets have reached it.
struct ChannelState {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint64_t packets = 0;
};

// Framing rule. The line carries fixed 5-byte packets (channel, red, green, blue, 13) with no
// header and no escaping, so the receiver frames by length alone:
//   - collect 5 bytes; if the fifth is 13 and the first is a channel 0..3, that is a packet;
//   - otherwise count one badly framed packet and resynchronise: drop the collected bytes up to
//     and including the first 13 among them, or, if none of them is 13, drop everything up to and
//     including the next 13 that arrives; the bytes after that 13 start the next packet.
// A level may itself be 13, so after a loss a resync can land inside a packet and misframe the
// next few; the protocol offers nothing better, and the receiver settles once a whole packet
// follows a true end mark.
class Decoder {
public:
    // Consumes `bytes` (any split of the stream is fine) and returns the packets completed by
    // them, in order; each one is also applied to its channel's state.
    std::vector<Packet> feed(std::span<const std::uint8_t> bytes);

    std::uint64_t badPackets() const { return badPackets_; }
    std::uint64_t goodPackets() const { return goodPackets_; }
    const ChannelState& channel(int index) const { return channels_.at(static_cast<std::size_t>(index)); }
    // Bytes collected towards the next packet (0..4), or dropped while hunting for an end mark.
    std::size_t pendingBytes() const { return pending_.size(); }
    bool resynchronising() const { return skipping_; }

private:
    void frame(std::vector<Packet>& out);

    std::vector<std::uint8_t> pending_;
    bool skipping_ = false; // dropping bytes until the next end mark
    std::uint64_t badPackets_ = 0;
    std::uint64_t goodPackets_ = 0;
    std::array<ChannelState, kChannelCount> channels_{};
};

} // namespace lumora::sim
