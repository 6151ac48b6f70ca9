// The X11 capture's work on every tick: markers, the plan of the lines to read, the copies into
// the pixmap, every request sent before any reply is read, then the replies into the snapshots.
#include "platform/x11/x11_screen_state.hpp"

namespace lumora {

// The events xcb holds, and with `fromSocket` those waiting on the connection too: after a reply,
// those it holds are all that the server sent before the reply, and the rest can wait.
void X11Screen::State::drainEvents(bool fromSocket)
{
    // Errors of unchecked requests (markers, copies, releases) arrive as events; nothing acts on
    // them. A notice of the root window's size counts when the server sent it after it answered
    // the renewal's reading of that size (an event carries the last request it had processed).
    xcb_connection_t* c = connection();
    while (Reply<xcb_generic_event_t> event{fromSocket ? xcb_poll_for_event(c) : xcb_poll_for_queued_event(c)}) {
        const int type = event->response_type & 0x7f;
        if (display.damageEvents != 0 && type == display.damageEvents + XCB_DAMAGE_NOTIFY)
            drawnSinceRead = true;
        if (type != XCB_CONFIGURE_NOTIFY)
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

// Whether the plan in hand was made for these snapshots, as they are laid out now, and this area.
bool X11Screen::State::planFits(std::span<Snapshot* const> snapshots) const
{
    if (!planned || plannedArea != area || plannedLayouts.size() != snapshots.size())
        return false;
    for (std::size_t k = 0; k < snapshots.size(); ++k) {
        const Layout& l = plannedLayouts[k];
        const Snapshot& snapshot = *snapshots[k];
        if (l.snapshot != &snapshot || l.xFrom != snapshot.xFrom() || l.xTo != snapshot.xTo() ||
            l.columnStep != snapshot.columnStep() || l.rows != snapshot.rows())
            return false;
    }
    return true;
}

void X11Screen::State::preparePlan(std::span<Snapshot* const> snapshots)
{
    if (planFits(snapshots))
        return;
    plan = planCapture(snapshots, area);
    plannedArea = area;
    plannedLayouts.clear();
    // Only the points the scan reads are converted; those between them read as failed, cleared
    // here once for every tick until the layout or the step changes.
    for (Snapshot* snapshot : snapshots) {
        plannedLayouts.push_back({snapshot, snapshot->xFrom(), snapshot->xTo(), snapshot->columnStep(), snapshot->rows()});
        for (std::size_t i = 0; i < snapshot->rows().size(); ++i)
            std::ranges::fill(snapshot->row(i), kFailedPixel);
    }
    gatherIntoPixmap();
    planBytes = 0;
    for (const ImageRequest& r : readPlan.requests)
        planBytes += imageBytes(r);
    planned = true;
}

// Whether the snapshots, as the last capture filled them, still show the screen: nothing was
// drawn on it since (the server's notices read), no marker waits, and the root window kept its size.
bool X11Screen::State::snapshotsCurrent() const
{
    return usable() && damage && !drawnSinceRead && markers.empty() && areaOn(rootSize) == area &&
           unreadCaptures < kMaxUnreadCaptures;
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
    // What is drawn from here on is told anew; what was drawn before, the copies below read.
    if (damage)
        xcb_damage_subtract(c, damage.id(), XCB_NONE, XCB_NONE);
    drawnSinceRead = false;
    unreadCaptures = 0;
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
        drawnSinceRead = drawnSinceRead || !data; // read again at the next capture
        for (; piece != readPlan.pieces.end() && piece->request == i; ++piece) {
            Snapshot& snapshot = *snapshots[piece->snapshot];
            const std::span<Colour> out = snapshot.row(piece->rowIndex).subspan(piece->column, piece->count);
            // The piece's first point that the scan reads: columns count from the snapshot's xFrom.
            const auto step = static_cast<std::size_t>(snapshot.columnStep());
            const std::size_t first = (step - piece->column % step) % step;
            if (!data)
                std::ranges::fill(out, kFailedPixel);
            else if (first < out.size())
                display.format->convert(data + piece->line * stride + (piece->offset + first) * bytesPerPixel,
                                        out.subspan(first), step);
        }
        offset += imageBytes(r);
    }
}

} // namespace lumora
