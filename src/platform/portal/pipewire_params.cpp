// The stream's SPA pods, built by hand because the builder's convenience macros are not C++.
#include "platform/portal/pipewire_params.hpp"

#include <spa/buffer/buffer.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace lumora {

namespace {

struct FormatPair {
    spa_video_format spa;
    FrameFormat frame;
};

// In order of preference: the layouts compositors use most come first.
constexpr FormatPair kFormats[] = {
    {SPA_VIDEO_FORMAT_BGRx, FrameFormat::Bgrx},
    {SPA_VIDEO_FORMAT_RGBx, FrameFormat::Rgbx},
    {SPA_VIDEO_FORMAT_BGRA, FrameFormat::Bgra},
    {SPA_VIDEO_FORMAT_RGBA, FrameFormat::Rgba},
    {SPA_VIDEO_FORMAT_xRGB, FrameFormat::Xrgb},
    {SPA_VIDEO_FORMAT_xBGR, FrameFormat::Xbgr},
    {SPA_VIDEO_FORMAT_ARGB, FrameFormat::Argb},
    {SPA_VIDEO_FORMAT_ABGR, FrameFormat::Abgr},
    {SPA_VIDEO_FORMAT_RGB, FrameFormat::Rgb},
    {SPA_VIDEO_FORMAT_BGR, FrameFormat::Bgr},
    {SPA_VIDEO_FORMAT_xRGB_210LE, FrameFormat::Xrgb210},
    {SPA_VIDEO_FORMAT_xBGR_210LE, FrameFormat::Xbgr210},
    {SPA_VIDEO_FORMAT_RGBx_102LE, FrameFormat::Rgbx102},
    {SPA_VIDEO_FORMAT_BGRx_102LE, FrameFormat::Bgrx102},
    {SPA_VIDEO_FORMAT_ARGB_210LE, FrameFormat::Argb210},
    {SPA_VIDEO_FORMAT_ABGR_210LE, FrameFormat::Abgr210},
    {SPA_VIDEO_FORMAT_RGBA_102LE, FrameFormat::Rgba102},
    {SPA_VIDEO_FORMAT_BGRA_102LE, FrameFormat::Bgra102},
    {SPA_VIDEO_FORMAT_RGB16, FrameFormat::Rgb565},
    {SPA_VIDEO_FORMAT_BGR16, FrameFormat::Bgr565},
};

constexpr std::uint64_t kLinearModifier = 0; // DRM_FORMAT_MOD_LINEAR
constexpr int kBuffers = 4;

const spa_pod* metaParam(spa_pod_builder& b, spa_meta_type type, std::size_t size)
{
    spa_pod_frame object;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&b, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&b, type);
    spa_pod_builder_prop(&b, SPA_PARAM_META_size, 0);
    spa_pod_builder_int(&b, static_cast<std::int32_t>(size));
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

} // namespace

const spa_pod* formatOffer(spa_pod_builder& b, bool linear)
{
    spa_pod_frame object, choice;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&b, kFormats[0].spa); // the default
    for (const FormatPair& f : kFormats)
        spa_pod_builder_id(&b, f.spa);
    spa_pod_builder_pop(&b, &choice);

    if (linear) {
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_modifier, SPA_POD_PROP_FLAG_MANDATORY);
        spa_pod_builder_long(&b, static_cast<std::int64_t>(kLinearModifier));
    }

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(&b, 1920, 1080);
    spa_pod_builder_rectangle(&b, 1, 1);
    spa_pod_builder_rectangle(&b, 16384, 16384);
    spa_pod_builder_pop(&b, &choice);

    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&b, 60, 1);
    spa_pod_builder_fraction(&b, 0, 1);
    spa_pod_builder_fraction(&b, 1000, 1);
    spa_pod_builder_pop(&b, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

const spa_pod* bufferParams(spa_pod_builder& b, bool gpu)
{
    spa_pod_frame object, choice;
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    // The newest frame is held until the next arrives, so the producer needs buffers besides it and
    // the one on its way: four leave it one to fill at all times. Two still work (the producer then
    // waits while a frame is on its way), so a producer that offers no more is not refused.
    spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_buffers, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_int(&b, kBuffers);
    spa_pod_builder_int(&b, 2);
    spa_pod_builder_int(&b, 16);
    spa_pod_builder_pop(&b, &choice);
    spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_dataType, 0);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Flags, 0);
    spa_pod_builder_int(&b, gpu ? 1 << SPA_DATA_DmaBuf : (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd));
    spa_pod_builder_pop(&b, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

const spa_pod* headerMeta(spa_pod_builder& b) { return metaParam(b, SPA_META_Header, sizeof(spa_meta_header)); }

const spa_pod* cropMeta(spa_pod_builder& b) { return metaParam(b, SPA_META_VideoCrop, sizeof(spa_meta_region)); }

std::optional<spa_video_info_raw> rawVideoFormat(const spa_pod* param)
{
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
        return std::nullopt;
    return info;
}

std::optional<FrameFormat> frameFormatOf(spa_video_format format)
{
    const auto known = std::find_if(std::begin(kFormats), std::end(kFormats),
                                    [&](const FormatPair& f) { return f.spa == format; });
    if (known == std::end(kFormats))
        return std::nullopt;
    return known->frame;
}

} // namespace lumora
