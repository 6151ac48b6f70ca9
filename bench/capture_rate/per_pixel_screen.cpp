// One get-image request and one reply per sampled point.
#include "per_pixel_screen.hpp"

#include <algorithm>
#include <stdexcept>

namespace lumora::bench {

using x11::Reply;

PerPixelScreen::PerPixelScreen(const std::string& display) : display_(x11::openDisplay(display))
{
    if (!display_.problem.empty())
        throw std::runtime_error(display_.problem.en);
    xcb_connection_t* c = display_.connection.get();
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, display_.root), nullptr));
    if (!geometry)
        throw std::runtime_error("cannot read the size of the root window of X display '" + display + "'");
    size_ = {geometry->width, geometry->height};
}

bool PerPixelScreen::capture(std::span<Snapshot* const> snapshots)
{
    xcb_connection_t* c = display_.connection.get();
    for (Snapshot* snapshot : snapshots) {
        for (std::size_t i = 0; i < snapshot->rows().size(); ++i) {
            const std::span<Colour> row = snapshot->row(i);
            std::ranges::fill(row, kFailedPixel);
            const int y = snapshot->rows()[i];
            for (int x = snapshot->xFrom(); x <= snapshot->xTo(); x += snapshot->columnStep()) {
                if (x < 0 || y < 0 || x >= size_.width || y >= size_.height)
                    continue;
                const auto px = static_cast<std::int16_t>(x), py = static_cast<std::int16_t>(y);
                const xcb_get_image_cookie_t cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, display_.root, px, py, 1, 1, ~0u);
                xcb_generic_error_t* rawError = nullptr;
                const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, cookie, &rawError));
                const Reply<xcb_generic_error_t> error(rawError);
                if (reply && reply->depth == display_.depth)
                    display_.format->convert(reinterpret_cast<const std::byte*>(xcb_get_image_data(reply.get())),
                                             row.subspan(static_cast<std::size_t>(x - snapshot->xFrom()), 1));
            }
        }
    }
    return true;
}

} // namespace lumora::bench
