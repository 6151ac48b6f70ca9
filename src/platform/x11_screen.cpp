// X11 capture: one image request per sampled row, all sent before the first reply is read, into
// offsets of one reused shared-memory segment, or as plain replies where shared memory is not
// available. No X error ends the program: failed requests leave their rows failed. The screen is
// one RandR monitor of the root window (chosen at each renewal), or the root window without RandR.
#include "platform/x11_screen.hpp"

#include "platform/x11_handles.hpp"
#include "platform/x11_monitors.hpp"
#include "platform/x11_pixel_format.hpp"
#include "platform/x11_shm_segment.hpp"

#include <xcb/randr.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <vector>

namespace lumora {

using namespace x11;

namespace {

constexpr const char* kNeedX11 = " — AUTO mode needs an X11 session (or XWayland) to read the screen";
constexpr const char* kNeedX11Ru = " — режиму AUTO нужен сеанс X11 (или XWayland), чтобы читать экран";
constexpr std::size_t kRowAlignment = 64;
constexpr std::size_t kMinSegment = 256 * 1024;
// Beyond this a single capture goes through plain replies rather than a huge segment.
constexpr std::size_t kMaxSegment = 256u * 1024 * 1024;

std::size_t alignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

const char* visualClassName(int c)
{
    static const char* const names[] = {"StaticGray", "GrayScale", "StaticColor", "PseudoColor", "TrueColor", "DirectColor"};
    return c >= 0 && c < 6 ? names[c] : "unknown";
}

// Rows that follow each other on the screen (steps of 1) go in one request, up to this many.
constexpr std::size_t kMaxRowsPerRequest = 256;

// One image request in flight: `rows` consecutive screen rows of one snapshot.
struct Pending {
    Snapshot* snapshot;
    std::size_t rowIndex; // the first row, an index into the snapshot's rows
    std::size_t rows;
    std::size_t column; // first captured point, relative to the snapshot's xFrom
    std::size_t count;  // points captured per row
    std::size_t offset; // where the server puts the image in the segment
    unsigned int sequence;
};

} // namespace

struct X11Screen::State {
    std::string requestedName; // empty: $DISPLAY
    std::string displayName;   // for messages
    SystemCalls sys;

    // Declared first, so that it is torn down after everything that lives on it.
    Connection connection;
    xcb_window_t root = 0;
    std::uint8_t depth = 0;
    std::size_t scanlinePadBits = 32;
    std::optional<PixelFormat> format;
    bool shmOffered = false;
    bool randrOffered = false; // RandR 1.5, which lists monitors

    std::string monitorName;       // asked for; empty: the primary one
    std::vector<Monitor> monitors; // as of the last renewal
    UserText monitorNote;       // why the monitor asked for is not read
    // The monitor read, in root coordinates, and the part of it that lies on the root window,
    // in its own coordinates: [left, right) x [top, bottom). Points outside that read as failed.
    ScreenSize size;
    int originX = 0, originY = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool shmRefused = false;
    std::size_t segmentWanted = kMinSegment;

    ServerResource gc;
    SharedSegment segment;

    // For comparison in benchmarks only: one request per sampled point, each reply awaited before
    // the next request, as reading the screen pixel by pixel does.
    bool perPixel = false;

    std::vector<xcb_point_t> markers; // drawn since the last capture, not yet sent
    UserText problem;
    std::vector<Pending> pending;

    bool usable() const { return connection.error() == 0 && format.has_value(); }
    bool onMonitor(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    void connect();
    std::vector<Monitor> readMonitors(xcb_randr_get_monitors_cookie_t cookie);
    void placeScreen(ScreenSize rootSize);
    void takeResources();
    void releaseResources();
    void createSegment(std::size_t bytes);
    void noteConnectionLoss();
    void drainEvents();
    void sendMarkers();
    // One line of an image `count` points wide, as the server lays it out.
    std::size_t lineBytes(std::size_t count) const
    {
        const std::size_t bits = count * static_cast<std::size_t>(format->bytesPerPixel()) * 8;
        return alignUp(bits, scanlinePadBits) / 8;
    }

    // Room for an image of `rows` lines in the segment, so that the next one starts aligned.
    std::size_t imageBytes(std::size_t count, std::size_t rows) const
    {
        return alignUp(lineBytes(count) * rows, kRowAlignment);
    }
};

void X11Screen::State::connect()
{
    connection.reset();
    format.reset();
    size = {};
    shmOffered = false;
    randrOffered = false;
    monitors.clear();
    monitorNote.clear();
    problem.clear();

    if (requestedName.empty()) {
        const char* env = std::getenv("DISPLAY");
        displayName = env ? env : "";
        if (displayName.empty()) {
            problem = {std::string("Не открыть дисплей X: переменная DISPLAY не задана") + kNeedX11Ru,
                       std::string("cannot open an X display: DISPLAY is not set") + kNeedX11};
            return;
        }
    } else {
        displayName = requestedName;
    }

    int screenNumber = 0;
    connection = Connection::open(requestedName.empty() ? nullptr : requestedName.c_str(), &screenNumber);
    if (const int error = connection.error()) {
        problem = {"Не открыть дисплей X «" + displayName + "» (" + connectionErrorText(error) + ")" + kNeedX11Ru,
                   "cannot open X display '" + displayName + "': " + connectionErrorText(error) + kNeedX11};
        connection.reset();
        return;
    }

    xcb_connection_t* c = connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    if (it.rem == 0) {
        const std::string why = connectionErrorText(XCB_CONN_CLOSED_INVALID_SCREEN);
        problem = {"Не открыть дисплей X «" + displayName + "» (" + why + ")" + kNeedX11Ru,
                   "cannot open X display '" + displayName + "': " + why + kNeedX11};
        connection.reset();
        return;
    }
    const xcb_screen_t* screen = it.data;
    root = screen->root;
    depth = screen->root_depth;

    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0 && !visual; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                visual = v.data;
                break;
            }
        }
    }
    int bitsPerPixel = 0;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
        if (f.data->depth == depth) {
            bitsPerPixel = f.data->bits_per_pixel;
            scanlinePadBits = f.data->scanline_pad ? f.data->scanline_pad : 32;
        }
    }
    if (visual && (visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR || visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR)) {
        format = PixelFormat::make({bitsPerPixel, setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST,
                                    visual->red_mask, visual->green_mask, visual->blue_mask});
    }
    if (!format) {
        const std::string layout = "depth " + std::to_string(depth) + ", " + std::to_string(bitsPerPixel) + " bits per pixel, " +
                                   (visual ? visualClassName(visual->_class) : "unknown") + " visual";
        problem = {"Экран дисплея X «" + displayName + "» не прочитать: его формат пикселей (" + layout +
                       ") не поддерживается; нужен TrueColor с 16, 24 или 32 битами на пиксель",
                   "cannot read the screen of X display '" + displayName + "': its pixel format (" + layout +
                       ") is not supported; the screen must use a TrueColor visual of 16, 24 or 32 bits per pixel"};
    }

    // Shared memory by descriptor needs version 1.2 of the extension, monitors version 1.5 of
    // RandR. Asking for the extensions first keeps a server without them from ever seeing (and
    // refusing) their requests.
    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    std::optional<xcb_shm_query_version_cookie_t> shmCookie;
    std::optional<xcb_randr_query_version_cookie_t> randrCookie;
    if (shm && shm->present)
        shmCookie = xcb_shm_query_version(c);
    if (randr && randr->present)
        randrCookie = xcb_randr_query_version(c, 1, 5);
    if (shmCookie) {
        const Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, *shmCookie, nullptr));
        shmOffered = version && (version->major_version > 1 ||
                                 (version->major_version == 1 && version->minor_version >= 2));
    }
    if (randrCookie) {
        const Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(c, *randrCookie, nullptr));
        randrOffered = version && (version->major_version > 1 ||
                                   (version->major_version == 1 && version->minor_version >= 5));
    }
}

std::vector<Monitor> X11Screen::State::readMonitors(xcb_randr_get_monitors_cookie_t cookie)
{
    xcb_connection_t* c = connection.get();
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
            found[i].name.assign(xcb_get_atom_name_name(name.get()), static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
    }
    return found;
}

void X11Screen::State::placeScreen(ScreenSize rootSize)
{
    const MonitorChoice choice = chooseMonitor(monitors, monitorName);
    monitorNote = choice.note;
    const Monitor whole{{}, false, 0, 0, rootSize.width, rootSize.height};
    const Monitor& m = choice.monitor.value_or(whole);
    // A screen whose pixels cannot be read (or whose root window is unknown) counts as no screen.
    size = format && rootSize.width > 0 ? ScreenSize{m.width, m.height} : ScreenSize{};
    originX = m.x;
    originY = m.y;
    left = std::max(0, -originX);
    top = std::max(0, -originY);
    right = std::min(size.width, rootSize.width - originX);
    bottom = std::min(size.height, rootSize.height - originY);
}

void X11Screen::State::takeResources()
{
    if (connection.error() != 0)
        return;
    xcb_connection_t* c = connection.get();

    // Monitors come and go while the driver runs: they are asked for anew at every renewal.
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, root);
    std::optional<xcb_randr_get_monitors_cookie_t> monitorsCookie;
    if (randrOffered)
        monitorsCookie = xcb_randr_get_monitors(c, root, 1);
    const std::uint32_t id = xcb_generate_id(c);
    const std::uint32_t values[] = {0 /* black in every TrueColor layout */, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    const xcb_void_cookie_t gcCookie = xcb_create_gc_checked(
        c, id, root, XCB_GC_FOREGROUND | XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values);

    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    monitors = monitorsCookie ? readMonitors(*monitorsCookie) : std::vector<Monitor>{};
    placeScreen(geometry ? ScreenSize{geometry->width, geometry->height} : ScreenSize{});
    const Reply<xcb_generic_error_t> error(xcb_request_check(c, gcCookie));
    if (!error && connection.error() == 0)
        gc = ServerResource(c, id, freeGc);

    shmRefused = false;
    if (shmOffered && format)
        createSegment(segmentWanted);
}

void X11Screen::State::releaseResources()
{
    segment = SharedSegment();
    gc.reset();
}

void X11Screen::State::createSegment(std::size_t bytes)
{
    segment = SharedSegment(); // the old one goes before the new one is made
    try {
        segment = SharedSegment::create(connection.get(), alignUp(bytes, 4096), sys);
        segmentWanted = segment.size();
    } catch (const std::runtime_error&) {
        // Plain image requests read the same pixels, only slower; a later renewal tries again.
        shmRefused = true;
    }
}

void X11Screen::State::noteConnectionLoss()
{
    if (const int error = connection.error(); error != 0 && connection) {
        problem = {"Связь с дисплеем X «" + displayName + "» потеряна (" + connectionErrorText(error) +
                       "); экран не читается, пока она не вернётся",
                   "lost the connection to X display '" + displayName + "' (" + connectionErrorText(error) +
                       "); the screen cannot be read until it is back"};
        size = {};
    }
}

void X11Screen::State::drainEvents()
{
    // Errors of unchecked requests (markers, releases) arrive as events; nothing acts on them.
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection.get())}) {
    }
}

void X11Screen::State::sendMarkers()
{
    // A request carries at most 65535 words without the big-requests extension.
    constexpr std::size_t kPerRequest = 60000;
    for (std::size_t i = 0; i < markers.size(); i += kPerRequest) {
        const auto n = static_cast<std::uint32_t>(std::min(kPerRequest, markers.size() - i));
        xcb_poly_point(connection.get(), XCB_COORD_MODE_ORIGIN, root, gc.id(), n, markers.data() + i);
    }
    markers.clear();
}

X11Screen::X11Screen(std::string displayName, std::string monitor, x11::SystemCalls sys)
    : state_(std::make_unique<State>())
{
    SigpipeGuard guard;
    state_->requestedName = std::move(displayName);
    state_->monitorName = std::move(monitor);
    const char* perPixel = std::getenv("LUMORA_CAPTURE_PER_PIXEL");
    state_->perPixel = perPixel && std::string(perPixel) == "1";
    state_->sys = sys;
    state_->connect();
    state_->takeResources();
}

X11Screen::~X11Screen()
{
    SigpipeGuard guard;
    state_.reset();
}

ScreenSize X11Screen::size() { return state_->size; }

void X11Screen::renew()
{
    SigpipeGuard guard;
    State& s = *state_;
    // Markers drawn since the last capture still go out, through the context they were drawn with.
    if (s.usable())
        s.sendMarkers();
    s.markers.clear();
    s.releaseResources();
    if (s.connection.error() != 0) {
        s.connect();
    } else {
        xcb_flush(s.connection.get());
        s.drainEvents();
    }
    s.takeResources();
    s.noteConnectionLoss();
}

void X11Screen::capture(std::span<Snapshot* const> snapshots)
{
    SigpipeGuard guard;
    State& s = *state_;
    if (!s.usable()) {
        for (Snapshot* snapshot : snapshots)
            for (std::size_t i = 0; i < snapshot->rows().size(); ++i)
                std::ranges::fill(snapshot->row(i), kFailedPixel);
        s.markers.clear();
        s.noteConnectionLoss();
        return;
    }
    xcb_connection_t* c = s.connection.get();
    if (s.perPixel) {
        s.sendMarkers();
        for (Snapshot* snapshot : snapshots)
            for (std::size_t i = 0; i < snapshot->rows().size(); ++i) {
                const auto row = snapshot->row(i);
                std::ranges::fill(row, kFailedPixel);
                const int y = snapshot->rows()[i];
                for (int x = snapshot->xFrom(); x <= snapshot->xTo(); x += snapshot->columnStep()) {
                    if (!s.onMonitor(x, y))
                        continue;
                    const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
                        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s.root, static_cast<std::int16_t>(s.originX + x),
                                         static_cast<std::int16_t>(s.originY + y), 1, 1, ~0u), nullptr));
                    if (reply && reply->depth == s.depth)
                        s.format->convert(reinterpret_cast<const std::byte*>(xcb_get_image_data(reply.get())),
                                          row.subspan(static_cast<std::size_t>(x - snapshot->xFrom()), 1));
                }
            }
        s.drainEvents();
        s.noteConnectionLoss();
        return;
    }

    // Lay out the rows that lie on the monitor, clipped to it; what lies off it reads as failed.
    s.pending.clear();
    std::size_t bytes = 0;
    for (Snapshot* snapshot : snapshots) {
        const auto& ys = snapshot->rows();
        const int from = std::max(snapshot->xFrom(), s.left);
        const int to = std::min(snapshot->xTo(), s.right - 1);
        const std::size_t column = from <= to ? static_cast<std::size_t>(from - snapshot->xFrom()) : 0;
        const std::size_t count = from <= to ? static_cast<std::size_t>(to - from + 1) : 0;
        const auto onScreen = [&](std::size_t i) { return count > 0 && ys[i] >= s.top && ys[i] < s.bottom; };
        for (std::size_t i = 0; i < ys.size(); ++i) {
            const auto row = snapshot->row(i);
            if (!onScreen(i)) {
                std::ranges::fill(row, kFailedPixel);
                continue;
            }
            std::fill(row.begin(), row.begin() + static_cast<long>(column), kFailedPixel);
            std::fill(row.begin() + static_cast<long>(column + count), row.end(), kFailedPixel);
        }
        for (std::size_t i = 0; i < ys.size();) {
            if (!onScreen(i)) {
                ++i;
                continue;
            }
            std::size_t rows = 1;
            while (i + rows < ys.size() && rows < kMaxRowsPerRequest && onScreen(i + rows) && ys[i + rows] == ys[i] + static_cast<int>(rows))
                ++rows;
            s.pending.push_back({snapshot, i, rows, column, count, bytes, 0});
            bytes += s.imageBytes(count, rows);
            i += rows;
        }
    }

    bool shm = s.shmOffered && !s.shmRefused && bytes <= kMaxSegment;
    if (shm && bytes > s.segment.size())
        s.createSegment(std::max(bytes, 2 * s.segment.size()));
    shm = shm && s.segment;

    // Markers go first, so that the images below already show them.
    const bool markersSent = !s.markers.empty();
    s.sendMarkers();
    for (Pending& p : s.pending) {
        const auto x = static_cast<std::int16_t>(s.originX + p.snapshot->xFrom() + static_cast<int>(p.column));
        const auto y = static_cast<std::int16_t>(s.originY + p.snapshot->rows()[p.rowIndex]);
        const auto width = static_cast<std::uint16_t>(p.count);
        const auto height = static_cast<std::uint16_t>(p.rows);
        p.sequence = shm ? xcb_shm_get_image(c, s.root, x, y, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                             s.segment.id(), static_cast<std::uint32_t>(p.offset))
                               .sequence
                         : xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s.root, x, y, width, height, ~0u).sequence;
    }
    if (markersSent && s.pending.empty())
        xcb_flush(c);

    const auto bytesPerPixel = static_cast<std::size_t>(s.format->bytesPerPixel());
    for (const Pending& p : s.pending) {
        const std::size_t stride = s.lineBytes(p.count);
        const std::size_t needed = stride * (p.rows - 1) + p.count * bytesPerPixel;
        const std::byte* data = nullptr;
        xcb_generic_error_t* rawError = nullptr;
        Reply<xcb_shm_get_image_reply_t> shmReply;
        Reply<xcb_get_image_reply_t> imageReply;
        if (shm) {
            shmReply.reset(xcb_shm_get_image_reply(c, {p.sequence}, &rawError));
            if (shmReply && shmReply->depth == s.depth && shmReply->size >= needed)
                data = s.segment.data() + p.offset;
        } else {
            imageReply.reset(xcb_get_image_reply(c, {p.sequence}, &rawError));
            if (imageReply && imageReply->depth == s.depth
                && static_cast<std::size_t>(xcb_get_image_data_length(imageReply.get())) >= needed)
                data = reinterpret_cast<const std::byte*>(xcb_get_image_data(imageReply.get()));
        }
        const Reply<xcb_generic_error_t> error(rawError);
        for (std::size_t k = 0; k < p.rows; ++k) {
            const std::span<Colour> out = p.snapshot->row(p.rowIndex + k).subspan(p.column, p.count);
            if (data)
                s.format->convert(data + k * stride, out);
            else
                std::ranges::fill(out, kFailedPixel);
        }
    }
    s.drainEvents();
    s.noteConnectionLoss();
}

void X11Screen::drawPoint(int x, int y)
{
    State& s = *state_;
    if (!s.usable() || !s.gc || !s.onMonitor(x, y))
        return;
    s.markers.push_back({static_cast<std::int16_t>(s.originX + x), static_cast<std::int16_t>(s.originY + y)});
}

UserText X11Screen::problem() const { return state_->problem.empty() ? state_->monitorNote : state_->problem; }

std::string X11Screen::chosenMonitorMissing() const
{
    const State& s = *state_;
    if (s.monitorName.empty() || s.monitorNote.empty() || s.connection.error() != 0)
        return {};
    return "no monitor named '" + s.monitorName + "' on display '" + s.displayName +
           "'; the monitors are: " + describeMonitors(s.monitors) + "; choose one with --monitor NAME";
}

bool X11Screen::usesSharedMemory() const
{
    return state_->usable() && state_->shmOffered && !state_->shmRefused && state_->segment;
}

} // namespace lumora
