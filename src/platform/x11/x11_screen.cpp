// X11 capture: the runs of sampled screen lines, shared by every snapshot that samples them, are
// copied by the server into one pixmap and read back with one image request, into a reused
// shared-memory segment, or as a plain reply where shared memory cannot be used. While the server
// reports that nothing was drawn, the snapshots keep what they hold and nothing is sent. No X error ends
// the program: failed requests leave their rows failed. The screen is one RandR monitor of the
// root window (chosen at each renewal), or the root window without RandR.
#include "platform/x11/x11_screen_state.hpp"

namespace lumora {

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
    if (display.damageEvents != 0) {
        const std::uint32_t damageId = xcb_generate_id(c);
        const Reply<xcb_generic_error_t> refused(xcb_request_check(
            c, xcb_damage_create_checked(c, damageId, display.root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY)));
        if (!refused && display.connection.error() == 0)
            damage = ServerResource(c, damageId, destroyDamage);
    }
    drawnSinceRead = true;

    shmProblem = display.sharedMemoryProblem;
    if (shmProblem.empty() && display.format)
        createSegment(segmentWanted);
}

void X11Screen::State::releaseResources()
{
    pixmap.reset();
    segment = SharedSegment();
    gc.reset();
    damage.reset();
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

bool X11Screen::capture(std::span<Snapshot* const> snapshots)
{
    State& s = *state_;
    // Nothing drawn since the last read: no request at all (the notices are only read).
    if (s.damage && s.usable()) {
        s.drainEvents(true);
        if (s.planFits(snapshots) && s.snapshotsCurrent()) {
            ++s.unreadCaptures;
            return false;
        }
    }
    SigpipeGuard guard;
    if (!s.usable()) {
        for (Snapshot* snapshot : snapshots)
            for (std::size_t i = 0; i < snapshot->rows().size(); ++i)
                std::ranges::fill(snapshot->row(i), kFailedPixel);
        s.markers.clear();
        s.noteConnectionLoss();
        return true;
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
    return true;
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
