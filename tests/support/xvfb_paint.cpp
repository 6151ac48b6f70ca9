// Painting into a root window, kept apart from xvfb.cpp so that tests which only start servers
// do not need libxcb.
#include "support/xvfb.hpp"

#include <xcb/xcb.h>

#include <bit>
#include <cstdlib>
#include <stdexcept>

namespace lumora::test {

namespace {

struct Free {
    void operator()(void* p) const noexcept { std::free(p); }
};

// Places an 8-bit channel value into the bits of `mask`, keeping its most significant bits.
std::uint32_t place(std::uint32_t value, std::uint32_t mask)
{
    const int bits = std::popcount(mask);
    const std::uint32_t v = bits <= 8 ? value >> (8 - bits) : value << (bits - 8);
    return (v << std::countr_zero(mask)) & mask;
}

} // namespace

struct RootPainter::State {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::uint32_t gc = 0;
    std::uint32_t masks[3] = {};
    ~State()
    {
        if (c)
            xcb_disconnect(c);
    }
};

RootPainter::RootPainter(const std::string& display) : state_(std::make_unique<State>())
{
    int screenNumber = 0;
    state_->c = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(state_->c))
        throw std::runtime_error("painter cannot connect to " + display);
    auto it = xcb_setup_roots_iterator(xcb_get_setup(state_->c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_screen_t* screen = it.data;
    state_->root = screen->root;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                state_->masks[0] = v.data->red_mask;
                state_->masks[1] = v.data->green_mask;
                state_->masks[2] = v.data->blue_mask;
            }
        }
    }
    if (!state_->masks[0] || !state_->masks[1] || !state_->masks[2])
        throw std::runtime_error("painter needs a TrueColor root visual on " + display);
    state_->gc = xcb_generate_id(state_->c);
    const std::uint32_t values[] = {XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    std::unique_ptr<xcb_generic_error_t, Free> error(xcb_request_check(
        state_->c, xcb_create_gc_checked(state_->c, state_->gc, state_->root,
                                         XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values)));
    if (error)
        throw std::runtime_error("painter cannot create a graphics context on " + display);
}

RootPainter::~RootPainter() = default;

void RootPainter::fill(int x, int y, int width, int height, std::uint32_t colour)
{
    xcb_connection_t* c = state_->c;
    const std::uint32_t pixel = place(colour & 0xFF, state_->masks[0]) | place(colour >> 8 & 0xFF, state_->masks[1]) |
                                place(colour >> 16 & 0xFF, state_->masks[2]);
    xcb_change_gc(c, state_->gc, XCB_GC_FOREGROUND, &pixel);
    const xcb_rectangle_t r{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                            static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
    // The checked request waits for the server's answer, so the fill is done when it returns.
    std::unique_ptr<xcb_generic_error_t, Free> error(
        xcb_request_check(c, xcb_poly_fill_rectangle_checked(c, state_->root, state_->gc, 1, &r)));
    if (error || xcb_connection_has_error(c))
        throw std::runtime_error("painter could not fill a rectangle");
}

} // namespace lumora::test
