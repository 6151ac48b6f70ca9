// Lending the picture of one PipeWire buffer to the tick, read where it lies in the buffer.
#pragma once

#include "platform/portal/pipewire_buffer_map.hpp"
#include "platform/portal/portal_frame.hpp"

#include <pipewire/stream.h>

#include <memory>

namespace lumora {

enum class FrameTake {
    Held,       // the buffer's picture is the one sampled; the buffer it replaced went back
    NoPicture,  // the buffer has no picture to read (see pictureRegion): it went back, the last frame stands
    Unreadable, // the buffer's memory cannot be read (a GPU buffer that does not map): it went back
};

// The buffer that `hold` lends to the tick, with the mapping of its memory when it arrived unmapped.
// Touched on the capture thread only (and at teardown, with that thread stopped or locked out).
struct HeldBuffer {
    pw_buffer* buffer = nullptr;
    std::unique_ptr<MappedData> mapping;
    FrameRegion region; // the part of the frame lent, which is the screen's size
};

// Makes the picture of `layout` in the first data block of `buffer` (its cropped region) the one
// that `hold` lends, and queues the buffer it replaces back to `stream` once the tick can no longer
// read it.
FrameTake holdFrame(pw_stream& stream, pw_buffer& buffer, const FrameLayout& layout, FrameHold& hold,
                    HeldBuffer& held);

// Stops lending the held buffer: queues it back to `stream` (unless `gone`, for a buffer that the
// stream is removing) and unmaps it.
void releaseFrame(pw_stream& stream, FrameHold& hold, HeldBuffer& held, bool gone = false);

} // namespace lumora
