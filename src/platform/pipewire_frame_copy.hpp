// Copying the picture of one PipeWire buffer into the frame mailbox, where the tick reads it.
#pragma once

#include "platform/portal_frame.hpp"

#include <spa/buffer/buffer.h>

namespace lumora {

// The negotiated frames: every buffer holds one picture of this layout and size.
struct FrameLayout {
    FrameFormat format = FrameFormat::Bgrx;
    int width = 0;
    int height = 0;
};

enum class FrameCopy {
    Published,  // the picture is the mailbox's newest frame
    NoPicture,  // the buffer is marked corrupted or holds nothing; the last frame stands
    Unreadable, // the buffer's memory cannot be read (a GPU buffer that does not map)
};

// Copies the rows of the first data block of `buffer` into the mailbox and publishes them, at most
// `layout.height` rows and never past the block's end; the tick's reader rejects rows not whole.
FrameCopy copyFrame(const spa_buffer& buffer, const FrameLayout& layout, FrameMailbox& mailbox);

} // namespace lumora
