#include "support/x11_input.hpp"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/support.hpp"

namespace lumora::test {

namespace {

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

} // namespace

struct X11Input::State {
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;

    xcb_atom_t atom(const char* name)
    {
        Reply<xcb_intern_atom_reply_t> r(
            xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
        return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }

    std::string property(xcb_window_t w, xcb_atom_t prop, xcb_atom_t type)
    {
        Reply<xcb_get_property_reply_t> r(
            xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, prop, type, 0, 1024), nullptr));
        if (!r)
            return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
    }

    std::pair<int, int> origin(xcb_window_t w)
    {
        Reply<xcb_translate_coordinates_reply_t> r(
            xcb_translate_coordinates_reply(conn, xcb_translate_coordinates(conn, w, root, 0, 0), nullptr));
        return r ? std::pair<int, int>{r->dst_x, r->dst_y} : std::pair<int, int>{0, 0};
    }

    // The key that gives this keysym without modifiers.
    std::uint8_t keycode(std::uint32_t keysym)
    {
        const xcb_setup_t* setup = xcb_get_setup(conn);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        Reply<xcb_get_keyboard_mapping_reply_t> r(xcb_get_keyboard_mapping_reply(
            conn, xcb_get_keyboard_mapping(conn, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
        if (!r)
            return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r.get());
        for (int k = 0; k < count; ++k)
            if (syms[k * r->keysyms_per_keycode] == keysym)
                return static_cast<std::uint8_t>(setup->min_keycode + k);
        return 0;
    }

    void key(std::uint32_t keysym)
    {
        const std::uint8_t code = keycode(keysym);
        fake(XCB_KEY_PRESS, code);
        fake(XCB_KEY_RELEASE, code);
    }

    void fake(std::uint8_t type, std::uint8_t detail, int x = 0, int y = 0)
    {
        xcb_test_fake_input(conn, type, detail, XCB_CURRENT_TIME, root, static_cast<std::int16_t>(x),
                            static_cast<std::int16_t>(y), 0);
    }

    // The viewable top-level window of process `pid` titled `title`, if there is one.
    std::optional<xcb_window_t> findWindow(int pid, const std::string& title)
    {
        const xcb_atom_t pidAtom = atom("_NET_WM_PID"), nameAtom = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(conn, xcb_query_tree(conn, root), nullptr));
        if (!tree)
            return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t w = children[i];
            Reply<xcb_get_window_attributes_reply_t> attrs(
                xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, w), nullptr));
            const std::string pidBytes = property(w, pidAtom, XCB_ATOM_CARDINAL);
            std::uint32_t windowPid = 0;
            if (!attrs || attrs->map_state != XCB_MAP_STATE_VIEWABLE || pidBytes.size() != 4)
                continue;
            std::memcpy(&windowPid, pidBytes.data(), 4);
            if (static_cast<int>(windowPid) == pid && property(w, nameAtom, utf8) == title)
                return w;
        }
        return std::nullopt;
    }
};

X11Input::X11Input(const std::string& display) : state_(std::make_unique<State>())
{
    state_->conn = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    if (xcb_connection_has_error(state_->conn)) {
        xcb_disconnect(state_->conn);
        throw std::runtime_error("cannot connect to X display " + display);
    }
    state_->root = xcb_setup_roots_iterator(xcb_get_setup(state_->conn)).data->root;
}

X11Input::~X11Input() { xcb_disconnect(state_->conn); }

std::optional<std::uint32_t> X11Input::waitForWindow(int pid, const std::string& title)
{
    std::optional<std::uint32_t> found;
    waitFor([&] {
        found = state_->findWindow(pid, title);
        return found.has_value();
    });
    return found;
}

void X11Input::click(std::uint32_t window, int x, int y)
{
    const auto [ox, oy] = state_->origin(window);
    state_->fake(XCB_MOTION_NOTIFY, 0, ox + x, oy + y);
    state_->fake(XCB_BUTTON_PRESS, 1);
    state_->fake(XCB_BUTTON_RELEASE, 1);
    sync();
}

void X11Input::replaceText(std::uint32_t window, int x, int y, const std::string& text)
{
    constexpr std::uint32_t kEnd = 0xff57;
    constexpr std::uint32_t kBackSpace = 0xff08;
    click(window, x, y);
    state_->key(kEnd);
    for (int i = 0; i < 12; ++i)
        state_->key(kBackSpace);
    for (char ch : text)
        state_->key(static_cast<std::uint8_t>(ch));
    sync();
}

void X11Input::move(std::uint32_t window, int x, int y)
{
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_configure_window(state_->conn, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    sync();
    waitFor([&] { return state_->origin(window) == std::pair<int, int>{x, y}; }, std::chrono::seconds(5));
}

void X11Input::close(std::uint32_t window)
{
    auto& s = *state_;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = s.atom("WM_PROTOCOLS");
    ev.data.data32[0] = s.atom("WM_DELETE_WINDOW");
    ev.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(s.conn, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    sync();
}

void X11Input::sync()
{
    Reply<xcb_get_input_focus_reply_t> r(xcb_get_input_focus_reply(state_->conn, xcb_get_input_focus(state_->conn), nullptr));
}

} // namespace lumora::test
