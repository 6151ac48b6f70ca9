// What the screen stream asks PipeWire for, as SPA pods: the video formats it can read and, once a
// format is fixed, the buffers and metadata it wants with each frame.
#pragma once

#include "platform/portal/portal_frame.hpp"

#include <spa/param/video/raw.h>
#include <spa/pod/builder.h>

#include <optional>

namespace lumora {

// One offer of raw video in every layout that FrameFormat describes, at any size and rate. With
// `linear`, only GPU buffers whose rows lie in memory one after another, so that they can be mapped
// and read like memory. The pod is built in `b`'s storage.
const spa_pod* formatOffer(spa_pod_builder& b, bool linear);

// The buffers that carry frames of the fixed format, enough of them for one to stay held: GPU
// buffers when the format came with a modifier (`gpu`), shared memory otherwise.
const spa_pod* bufferParams(spa_pod_builder& b, bool gpu);

// Asks for a header with every buffer, whose flags mark a frame that must not be read.
const spa_pod* headerMeta(spa_pod_builder& b);
// Asks for the region of each frame that shows the screen, for producers that draw into part of
// a larger buffer.
const spa_pod* cropMeta(spa_pod_builder& b);

// The raw video format that `param` fixes, or nothing when it fixes something else.
std::optional<spa_video_info_raw> rawVideoFormat(const spa_pod* param);

// The frame layout of a PipeWire video format, or nothing for one that is never offered.
std::optional<FrameFormat> frameFormatOf(spa_video_format format);

} // namespace lumora
