// X11 capture: the runs of sampled screen lines, shared by every snapshot that samples them, are
// copied by the server into one pixmap and read back with one image request, into a reused
// shared-memory segment, or as a plain reply where shared memory cannot be used. No X error ends
// the program: failed requests leave their rows failed. The screen is one RandR monitor of the
// root window (chosen at each renewal), or the root window without RandR.
#include "platform/x11_screen.hpp"

#include "platform/x11_capture_plan.hpp"
#include "platform/x11_display.hpp"
#include "platform/x11_shm_segment.hpp"

#include <xcb/shm.h>

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace lumora {

using namespace x11;

namespace {

constexpr std::size_t kRowAlignment = 64;
constexpr std::size_t kMinSegment = 256 * 1024;
// Beyond this a single capture goes through plain replies rather than a huge segment.
constexpr std::size_t kMaxSegment = 256u * 1024 * 1024;

std::size_t alignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

} // namespace

struct X11Screen::State {
    std::string requestedName; // empty: $DISPLAY
    SystemCalls sys;

    // Declared first, so that its connection is torn down after everything that lives on it.
    DisplaySetup display;

    std::string monitorName;       // asked for; empty: the primary one
    std::vector<Monitor> monitors; // as of the last renewal
    UserText monitorNote;          // why the monitor asked for is not read
    Monitor placed;                // the part of the root window read, as of the last renewal
    ScreenSize size;
    CaptureArea area; // points outside it read as failed
    // The root window's size as last known: from the last renewal, then from the server's notices
    // of changes that came after it (those that came before are older than the renewal's reading).
    ScreenSize rootSize;
    unsigned int rootSizeSequence = 0;
    ScreenSize leastRootSize; // the smallest it was while a capture's requests were on their way
    // Why captures go through plain replies; empty while the segment carries them.
    std::string shmProblem;
    std::size_t segmentWanted = kMinSegment;

    ServerResource gc;
    SharedSegment segment;
    // The plan's lines, one run below the other, copied there by the server so that a single
    // image request reads them all: a tick then waits for one reply rather than one per run.
    // Made with the plan, given back at renewal; empty when it could not be made, and when the
    // plan has one request anyway, which then reads the root window itself.
    ServerResource pixmap;
    std::size_t pixmapWidth = 0, pixmapHeight = 0;

    std::vector<xcb_point_t> markers; // drawn since the last capture, not yet sent
    UserText problem;
    // Planned anew only when the snapshots' layout or the area changes, which is seldom: most
    // ticks reuse it, and with it every buffer the capture needs.
    CapturePlan plan;         // from the root window
    CapturePlan readPlan;     // the plan as read back: from the pixmap, or the plan itself
    std::vector<std::int16_t> pixmapRows; // where each of the plan's runs lies in the pixmap
    bool planned = false;
    CaptureArea plannedArea;
    struct Layout {
        int xFrom, xTo;
        std::vector<int> rows;
    };
    std::vector<Layout> plannedLayouts;
    std::size_t planBytes = 0;           // the read plan's images, laid out one after another
    std::vector<unsigned int> sequences; // of the plan's requests, in its order

    xcb_connection_t* connection() const { return display.connection.get(); }
    bool usable() const { return display.connection.error() == 0 && display.format.has_value(); }
    void connect();
    void placeScreen(ScreenSize root);
    CaptureArea areaOn(ScreenSize root) const;
    void takeResources();
    void releaseResources();
    void createSegment(std::size_t bytes);
    void noteConnectionLoss();
    void drainEvents(bool fromSocket);
    void sendMarkers();
    void preparePlan(std::span<Snapshot* const> snapshots);
    void gatherIntoPixmap();
    void sendRequests(bool shm);
    void readReplies(std::span<Snapshot* const> snapshots, bool shm);

    // One line of an image `count` points wide, as the server lays it out.
    std::size_t lineBytes(std::size_t count) const
    {
        const std::size_t bits = count * static_cast<std::size_t>(display.format->bytesPerPixel()) * 8;
        return alignUp(bits, display.scanlinePadBits) / 8;
    }

    // Room for an image of `rows` lines in the segment, so that the next one starts aligned.
    std::size_t imageBytes(const ImageRequest& r) const { return alignUp(lineBytes(r.width) * r.rows, kRowAlignment); }
};

void X11Screen::State::connect()
{
    display = {}; // the old connection goes before the new one is opened
    display = openDisplay(requestedName);
    size = {};
    monitors.clear();
    monitorNote.clear();
    problem = display.problem;
}

void X11Screen::State::placeScreen(ScreenSize root)
{
    const MonitorChoice choice = chooseMonitor(monitors, monitorName);
    monitorNote = choice.note;
    placed = choice.monitor.value_or(Monitor{{}, false, 0, 0, root.width, root.height});
    // A screen whose pixels cannot be read (or whose root window is unknown) counts as no screen.
    size = display.format && root.width > 0 ? ScreenSize{placed.width, placed.height} : ScreenSize{};
    rootSize = leastRootSize = root;
    area = areaOn(root);
}

// The part of the monitor that a root window of size `root` covers; never more than the monitor.
CaptureArea X11Screen::State::areaOn(ScreenSize root) const
{
    const Monitor& m = placed;
    return {m.x, m.y, std::max(0, -m.x), std::max(0, -m.y), std::min(size.width, root.width - m.x),
            std::min(size.height, root.height - m.y)};
}

void X11Screen::State::takeResources()
{
    planned = false; // the area or the pixel format may change
    if (display.connection.error() != 0)
        return;
    xcb_connection_t* c = connection();

    // The root window's size may change between renewals (RandR); the server says so, and a copy
    // from beyond its new edges would leave old pixels in the pixmap.
    const std::uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, display.root, XCB_CW_EVENT_MASK, &structure);
    // Monitors come and go while the driver runs: they are asked for anew at every renewal.
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, display.root);
    rootSizeSequence = geometryCookie.sequence;
    std::optional<xcb_randr_get_monitors_cookie_t> monitorsCookie;
    if (display.randrOffered)
        monitorsCookie = xcb_randr_get_monitors(c, display.root, 1);
    const std::uint32_t id = xcb_generate_id(c);
    const std::uint32_t values[] = {0 /* black in every TrueColor layout */, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS, 0};
    const xcb_void_cookie_t gcCookie = xcb_create_gc_checked(
        c, id, display.root, XCB_GC_FOREGROUND | XCB_GC_SUBWINDOW_MODE | XCB_GC_GRAPHICS_EXPOSURES, values);

    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    monitors = monitorsCookie ? readMonitors(c, *monitorsCookie) : std::vector<Monitor>{};
    placeScreen(geometry ? ScreenSize{geometry->width, geometry->height} : ScreenSize{});
    const Reply<xcb_generic_error_t> error(xcb_request_check(c, gcCookie));
    if (!error && display.connection.error() == 0)
        gc = ServerResource(c, id, freeGc);

    shmProblem = display.sharedMemoryProblem;
    if (shmProblem.empty() && display.format)
        createSegment(segmentWanted);
}

void X11Screen::State::releaseResources()
{
    pixmap.reset();
    segment = SharedSegment();
    gc.reset();
}

void X11Screen::State::createSegment(std::size_t bytes)
{
    segment = SharedSegment(); // the old one goes before the new one is made
    try {
        segment = SharedSegment::create(connection(), alignUp(bytes, 4096), sys);
        segmentWanted = segment.size();
    } catch (const std::runtime_error& e) {
        // Plain image requests read the same pixels, only slower; a later renewal tries again.
        shmProblem = e.what();
    }
}

void X11Screen::State::noteConnectionLoss()
{
    if (const int error = display.connection.error(); error != 0 && display.connection) {
        problem = {"Связь с дисплеем X «" + display.name + "» потеряна (" + connectionErrorText(error) +
                       "); экран не читается, пока она не вернётся",
                   "lost the connection to X display '" + display.name + "' (" + connectionErrorText(error) +
                       "); the screen cannot be read until it is back"};
        size = {};
    }
}

// The events xcb holds, and with `fromSocket` those waiting on the connection too: after a reply,
// those it holds are all that the server sent before the reply, and the rest can wait.
void X11Screen::State::drainEvents(bool fromSocket)
{
    // Errors of unchecked requests (markers, copies, releases) arrive as events; nothing acts on
    // them. A notice of the root window's size counts when the server sent it after it answered
    // the renewal's reading of that size (an event carries the last request it had processed).
    xcb_connection_t* c = connection();
    while (Reply<xcb_generic_event_t> event{fromSocket ? xcb_poll_for_event(c) : xcb_poll_for_queued_event(c)}) {
        if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY)
            continue;
        const auto& notice = *reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
        if (notice.window != display.root || static_cast<std::int32_t>(event->full_sequence - rootSizeSequence) < 0)
            continue;
        rootSize = {notice.width, notice.height};
        leastRootSize = {std::min(leastRootSize.width, rootSize.width), std::min(leastRootSize.height, rootSize.height)};
    }
}

void X11Screen::State::sendMarkers()
{
    // A request carries at most 65535 words without the big-requests extension.
    constexpr std::size_t kPerRequest = 60000;
    for (std::size_t i = 0; i < markers.size(); i += kPerRequest) {
        const auto n = static_cast<std::uint32_t>(std::min(kPerRequest, markers.size() - i));
        xcb_poly_point(connection(), XCB_COORD_MODE_ORIGIN, display.root, gc.id(), n, markers.data() + i);
    }
    markers.clear();
}

void X11Screen::State::preparePlan(std::span<Snapshot* const> snapshots)
{
    const auto fits = [&] {
        if (!planned || plannedArea != area || plannedLayouts.size() != snapshots.size())
            return false;
        for (std::size_t k = 0; k < snapshots.size(); ++k) {
            const Layout& l = plannedLayouts[k];
            if (l.xFrom != snapshots[k]->xFrom() || l.xTo != snapshots[k]->xTo() || l.rows != snapshots[k]->rows())
                return false;
        }
        return true;
    };
    if (fits())
        return;
    plan = planCapture(snapshots, area);
    plannedArea = area;
    plannedLayouts.clear();
    for (const Snapshot* snapshot : snapshots)
        plannedLayouts.push_back({snapshot->xFrom(), snapshot->xTo(), snapshot->rows()});
    gatherIntoPixmap();
    planBytes = 0;
    for (const ImageRequest& r : readPlan.requests)
        planBytes += imageBytes(r);
    planned = true;
}

// The runs lie one below the other from the pixmap's left edge: the plan reads each screen line
// at most once, so the pixmap is never larger than the monitor, and its sides fit X's 16 bits.
// The pixmap is made with a checked request, once per plan: without it the runs are read from
// the root window one request each.
void X11Screen::State::gatherIntoPixmap()
{
    readPlan = plan;
    pixmapRows.clear();
    if (plan.requests.size() < 2 || !gc) {
        pixmap.reset();
        return;
    }
    std::size_t width = 0, height = 0;
    for (const ImageRequest& r : plan.requests) {
        pixmapRows.push_back(static_cast<std::int16_t>(height));
        width = std::max(width, r.width);
        height += r.rows;
    }
    if (!pixmap || width != pixmapWidth || height != pixmapHeight) {
        pixmap.reset();
        xcb_connection_t* c = connection();
        const std::uint32_t id = xcb_generate_id(c);
        const Reply<xcb_generic_error_t> error(xcb_request_check(
            c, xcb_create_pixmap_checked(c, display.depth, id, display.root, static_cast<std::uint16_t>(width),
                                         static_cast<std::uint16_t>(height))));
        if (error || display.connection.error() != 0) {
            pixmapRows.clear();
            return;
        }
        pixmap = ServerResource(c, id, freePixmap);
        pixmapWidth = width;
        pixmapHeight = height;
    }
    readPlan.requests = {{0, 0, width, height}};
    for (RowPiece& piece : readPlan.pieces) {
        piece.line += static_cast<std::size_t>(pixmapRows[piece.request]);
        piece.request = 0;
    }
}

// The copies into the pixmap, then every image request of the read plan, none of their replies
// read yet; in the segment, each image at the offset where the one before it ends.
void X11Screen::State::sendRequests(bool shm)
{
    xcb_connection_t* c = connection();
    const bool gathered = !pixmapRows.empty();
    for (std::size_t i = 0; gathered && i < plan.requests.size(); ++i) {
        const ImageRequest& r = plan.requests[i];
        xcb_copy_area(c, display.root, pixmap.id(), gc.id(), static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                      0, pixmapRows[i], static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(r.rows));
    }
    const xcb_drawable_t source = gathered ? pixmap.id() : display.root;
    sequences.clear();
    std::size_t offset = 0;
    for (const ImageRequest& r : readPlan.requests) {
        const auto x = static_cast<std::int16_t>(r.x), y = static_cast<std::int16_t>(r.y);
        const auto width = static_cast<std::uint16_t>(r.width), height = static_cast<std::uint16_t>(r.rows);
        sequences.push_back(shm ? xcb_shm_get_image(c, source, x, y, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                    segment.id(), static_cast<std::uint32_t>(offset))
                                      .sequence
                                : xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, source, x, y, width, height, ~0u).sequence);
        offset += imageBytes(r);
    }
}

// The replies in the order of their requests, each owned as it arrives; a refused request, or an
// image of another depth or too short, leaves its points failed.
void X11Screen::State::readReplies(std::span<Snapshot* const> snapshots, bool shm)
{
    xcb_connection_t* c = connection();
    const auto bytesPerPixel = static_cast<std::size_t>(display.format->bytesPerPixel());
    std::size_t offset = 0;
    auto piece = readPlan.pieces.begin();
    for (std::size_t i = 0; i < readPlan.requests.size(); ++i) {
        const ImageRequest& r = readPlan.requests[i];
        const std::size_t stride = lineBytes(r.width);
        const std::size_t needed = stride * (r.rows - 1) + r.width * bytesPerPixel;
        const std::byte* data = nullptr;
        xcb_generic_error_t* rawError = nullptr;
        Reply<xcb_shm_get_image_reply_t> shmReply;
        Reply<xcb_get_image_reply_t> imageReply;
        if (shm) {
            shmReply.reset(xcb_shm_get_image_reply(c, {sequences[i]}, &rawError));
            if (shmReply && shmReply->depth == display.depth && shmReply->size >= needed)
                data = segment.data() + offset;
        } else {
            imageReply.reset(xcb_get_image_reply(c, {sequences[i]}, &rawError));
            if (imageReply && imageReply->depth == display.depth
                && static_cast<std::size_t>(xcb_get_image_data_length(imageReply.get())) >= needed)
                data = reinterpret_cast<const std::byte*>(xcb_get_image_data(imageReply.get()));
        }
        const Reply<xcb_generic_error_t> error(rawError);
        for (; piece != readPlan.pieces.end() && piece->request == i; ++piece) {
            const std::span<Colour> out = snapshots[piece->snapshot]->row(piece->rowIndex).subspan(piece->column, piece->count);
            if (data)
                display.format->convert(data + piece->line * stride + piece->offset * bytesPerPixel, out);
            else
                std::ranges::fill(out, kFailedPixel);
        }
        offset += imageBytes(r);
    }
}

X11Screen::X11Screen(std::string displayName, std::string monitor, x11::SystemCalls sys)
    : state_(std::make_unique<State>())
{
    SigpipeGuard guard;
    state_->requestedName = std::move(displayName);
    state_->monitorName = std::move(monitor);
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
    if (s.display.connection.error() != 0) {
        s.connect();
    } else {
        xcb_flush(s.connection());
        s.drainEvents(true);
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
    s.preparePlan(snapshots);
    failUnread(snapshots, s.plan);

    const std::size_t bytes = s.planBytes;
    bool shm = s.shmProblem.empty() && bytes <= kMaxSegment;
    if (shm && bytes > s.segment.size())
        s.createSegment(std::max(bytes, 2 * s.segment.size()));
    shm = shm && s.segment;

    // Markers go first, so that the images below already show them.
    const bool markersSent = !s.markers.empty();
    s.sendMarkers();
    s.leastRootSize = s.rootSize;
    s.sendRequests(shm);
    if (markersSent && s.plan.requests.empty())
        xcb_flush(s.connection());
    s.readReplies(snapshots, shm);
    // A notice that the root window shrank, sent before the last reply, may have come before the
    // copies: what lay beyond its new edges reads as failed, now and until it grows back.
    s.drainEvents(s.readPlan.requests.empty());
    if (const CaptureArea covered = s.areaOn(s.leastRootSize); covered != s.plannedArea)
        failUnread(snapshots, planCapture(snapshots, covered));
    s.area = s.areaOn(s.rootSize);
    s.noteConnectionLoss();
}

void X11Screen::drawPoint(int x, int y)
{
    State& s = *state_;
    if (!s.usable() || !s.gc || !s.area.contains(x, y))
        return;
    s.markers.push_back({static_cast<std::int16_t>(s.area.originX + x), static_cast<std::int16_t>(s.area.originY + y)});
}

UserText X11Screen::problem() const { return state_->problem.empty() ? state_->monitorNote : state_->problem; }

std::string X11Screen::chosenMonitorMissing() const
{
    const State& s = *state_;
    if (s.monitorName.empty() || s.monitorNote.empty() || s.display.connection.error() != 0)
        return {};
    return "no monitor named '" + s.monitorName + "' on display '" + s.display.name +
           "'; the monitors are: " + describeMonitors(s.monitors) + "; choose one with --monitor NAME";
}

bool X11Screen::usesSharedMemory() const
{
    return state_->usable() && state_->shmProblem.empty() && state_->segment;
}

std::string X11Screen::sharedMemoryProblem() const { return state_->usable() ? state_->shmProblem : std::string(); }

} // namespace lumora
