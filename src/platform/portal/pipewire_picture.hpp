// What a PipeWire buffer's metadata says about the picture in it: whether there is one to read at
// all, and which part of the frame it covers.
#pragma once

#include "platform/portal/portal_frame.hpp"

#include <spa/buffer/buffer.h>

#include <optional>

namespace lumora {

// The region of a frame of `layout` that `buffer` shows, or nothing when the buffer must not be
// read: it is marked corrupted or a gap, its first block has no chunk, or the chunk is empty or
// corrupted (a producer sends such buffers to move only the cursor, or when it failed to draw).
// A crop the producer announces (SPA_META_VideoCrop) is the region, cut to the frame; without one,
// or with an empty one, the whole frame is. A crop wholly outside the frame leaves nothing to read.
std::optional<FrameRegion> pictureRegion(const spa_buffer& buffer, const FrameLayout& layout);

} // namespace lumora
