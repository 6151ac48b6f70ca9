// Opening a display: the screen's root window and visual, then the extension versions.
#include "platform/x11/x11_display.hpp"

#include <xcb/damage.h>
#include <xcb/shm.h>

#include <cstdlib>

namespace lumora::x11 {

namespace {

constexpr const char* kNeedX11 = " — AUTO mode needs an X11 session (or XWayland) to read the screen";
constexpr const char* kNeedX11Ru = " — режиму AUTO нужен сеанс X11 (или XWayland), чтобы читать экран";

const char* visualClassName(int c)
{
    static const char* const names[] = {"StaticGray", "GrayScale", "StaticColor", "PseudoColor", "TrueColor", "DirectColor"};
    return c >= 0 && c < 6 ? names[c] : "unknown";
}

UserText cannotOpen(const std::string& name, const std::string& why)
{
    return {"Не открыть дисплей X «" + name + "» (" + why + ")" + kNeedX11Ru,
            "cannot open X display '" + name + "': " + why + kNeedX11};
}

bool atLeast(int major, int minor, int wantMajor, int wantMinor)
{
    return major > wantMajor || (major == wantMajor && minor >= wantMinor);
}

// The root visual's pixel layout, or a problem naming the layout when it cannot be read.
void readVisual(DisplaySetup& d, const xcb_setup_t* setup, const xcb_screen_t* screen)
{
    const xcb_visualtype_t* visual = nullptr;
    for (auto depth = xcb_screen_allowed_depths_iterator(screen); depth.rem > 0 && !visual; xcb_depth_next(&depth)) {
        for (auto v = xcb_depth_visuals_iterator(depth.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                visual = v.data;
                break;
            }
        }
    }
    int bitsPerPixel = 0;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
        if (f.data->depth == d.depth) {
            bitsPerPixel = f.data->bits_per_pixel;
            d.scanlinePadBits = f.data->scanline_pad ? f.data->scanline_pad : 32;
        }
    }
    if (visual && (visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR || visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR)) {
        d.format = PixelFormat::make({bitsPerPixel, setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST,
                                      visual->red_mask, visual->green_mask, visual->blue_mask});
    }
    if (!d.format) {
        const std::string layout = "depth " + std::to_string(d.depth) + ", " + std::to_string(bitsPerPixel) +
                                   " bits per pixel, " + (visual ? visualClassName(visual->_class) : "unknown") + " visual";
        d.problem = {"Экран дисплея X «" + d.name + "» не прочитать: его формат пикселей (" + layout +
                         ") не поддерживается; нужен TrueColor с 16, 24 или 32 битами на пиксель",
                     "cannot read the screen of X display '" + d.name + "': its pixel format (" + layout +
                         ") is not supported; the screen must use a TrueColor visual of 16, 24 or 32 bits per pixel"};
    }
}

// Which versions of MIT-SHM, RandR and Damage the server offers. Asking whether an extension is there
// first keeps a server without it from ever seeing (and refusing) its requests.
void readExtensions(DisplaySetup& d)
{
    xcb_connection_t* c = d.connection.get();
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    xcb_prefetch_extension_data(c, &xcb_damage_id);
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    std::optional<xcb_shm_query_version_cookie_t> shmCookie;
    std::optional<xcb_randr_query_version_cookie_t> randrCookie;
    std::optional<xcb_damage_query_version_cookie_t> damageCookie;
    if (shm && shm->present)
        shmCookie = xcb_shm_query_version(c);
    if (randr && randr->present)
        randrCookie = xcb_randr_query_version(c, 1, 5);
    // A client must say which version it speaks before any other request of the extension.
    if (damage && damage->present)
        damageCookie = xcb_damage_query_version(c, 1, 1);

    if (!shmCookie) {
        d.sharedMemoryProblem = "the X server does not offer the MIT-SHM extension";
    } else if (const Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, *shmCookie, nullptr));
               !version) {
        d.sharedMemoryProblem = "the X server did not say which MIT-SHM version it offers";
    } else if (!atLeast(version->major_version, version->minor_version, 1, 2)) {
        d.sharedMemoryProblem = "the X server offers MIT-SHM " + std::to_string(version->major_version) + "." +
                                std::to_string(version->minor_version) + ", and shared memory by descriptor needs 1.2";
    }
    if (randrCookie) {
        const Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(c, *randrCookie, nullptr));
        d.randrOffered = version && atLeast(version->major_version, version->minor_version, 1, 5);
    }
    if (damageCookie) {
        const Reply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(c, *damageCookie, nullptr));
        if (version && atLeast(static_cast<int>(version->major_version), static_cast<int>(version->minor_version), 1, 1))
            d.damageEvents = damage->first_event;
    }
}

} // namespace

DisplaySetup openDisplay(const std::string& name)
{
    DisplaySetup d;
    if (name.empty()) {
        const char* env = std::getenv("DISPLAY");
        d.name = env ? env : "";
        if (d.name.empty()) {
            d.problem = {std::string("Не открыть дисплей X: переменная DISPLAY не задана") + kNeedX11Ru,
                         std::string("cannot open an X display: DISPLAY is not set") + kNeedX11};
            return d;
        }
    } else {
        d.name = name;
    }

    int screenNumber = 0;
    d.connection = Connection::open(name.empty() ? nullptr : name.c_str(), &screenNumber);
    if (const int error = d.connection.error()) {
        d.problem = cannotOpen(d.name, connectionErrorText(error));
        d.connection.reset();
        return d;
    }
    const xcb_setup_t* setup = xcb_get_setup(d.connection.get());
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        d.problem = cannotOpen(d.name, connectionErrorText(XCB_CONN_CLOSED_INVALID_SCREEN));
        d.connection.reset();
        return d;
    }
    d.root = it.data->root;
    d.depth = it.data->root_depth;
    readVisual(d, setup, it.data);
    readExtensions(d);
    return d;
}

std::vector<Monitor> readMonitors(xcb_connection_t* c, xcb_randr_get_monitors_cookie_t cookie)
{
    const Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(c, cookie, nullptr));
    if (!reply)
        return {};
    std::vector<Monitor> found;
    std::vector<xcb_get_atom_name_cookie_t> names;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0; xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& m = *it.data;
        found.push_back({{}, m.primary != 0, m.x, m.y, m.width, m.height});
        names.push_back(xcb_get_atom_name(c, m.name));
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        const Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(c, names[i], nullptr));
        if (name)
            found[i].name.assign(xcb_get_atom_name_name(name.get()),
                                 static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
    }
    return found;
}

} // namespace lumora::x11
