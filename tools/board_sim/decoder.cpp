// The board firmware's receiver: fixed-length framing with resynchronisation on the end mark.
#include "decoder.hpp"

#include <algorithm>

namespace lumora::sim {

std::vector<Packet> Decoder::feed(std::span<const std::uint8_t> bytes)
{
    std::vector<Packet> out;
    out.reserve(bytes.size() / kPacketSize + 1);
    for (const std::uint8_t byte : bytes) {
        if (skipping_) {
            // Hunting for an end mark: everything up to and including it belongs to the bad packet.
            skipping_ = byte != kEndMark;
            continue;
        }
        pending_.push_back(byte);
        if (pending_.size() == kPacketSize)
            frame(out);
    }
    return out;
}

void Decoder::frame(std::vector<Packet>& out)
{
    if (pending_[4] == kEndMark && pending_[0] < kChannelCount) {
        const Packet p{pending_[0], pending_[1], pending_[2], pending_[3]};
        ChannelState& state = channels_[p.channel];
        state.red = p.red;
        state.green = p.green;
        state.blue = p.blue;
        ++state.packets;
        ++goodPackets_;
        out.push_back(p);
        pending_.clear();
        return;
    }
    ++badPackets_;
    const auto mark = std::find(pending_.begin(), pending_.end(), kEndMark);
    if (mark == pending_.end()) {
        pending_.clear();
        skipping_ = true;
        return;
    }
    // The bytes after the first end mark may be the start of a whole packet: keep them.
    pending_.erase(pending_.begin(), mark + 1);
}

} // namespace lumora::sim
