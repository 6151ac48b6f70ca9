// What the X11 capture keeps between calls, shared by its lifecycle (x11_screen.cpp) and its
// per-tick requests (x11_screen_requests.cpp). Not part of the capture's interface.
#pragma once

#include "platform/x11/x11_screen.hpp"

#include "platform/x11/x11_capture_plan.hpp"
#include "platform/x11/x11_display.hpp"
#include "platform/x11/x11_shm_segment.hpp"

#include <xcb/damage.h>
#include <xcb/shm.h>

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace lumora {

using namespace x11;

namespace x11 {

constexpr std::size_t kRowAlignment = 64;
constexpr std::size_t kMinSegment = 256 * 1024;
// Beyond this a single capture goes through plain replies rather than a huge segment.
constexpr std::size_t kMaxSegment = 256u * 1024 * 1024;

inline std::size_t alignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

} // namespace x11

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

    // The server's report of drawing on the root window (Damage), at the level that says only
    // that something was drawn. While nothing was since the last read, the snapshots still hold
    // the screen and a capture sends nothing; still no more than kMaxUnreadCaptures in a row go
    // unread, should some way of drawing go unreported. Empty without the extension: every capture reads.
    static constexpr int kMaxUnreadCaptures = 9; // so every tenth capture at least reads
    ServerResource damage;
    bool drawnSinceRead = true; // or not known to be otherwise
    int unreadCaptures = 0;

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
        const Snapshot* snapshot; // the one filled: another with the same layout holds nothing yet
        int xFrom, xTo, columnStep;
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
    bool planFits(std::span<Snapshot* const> snapshots) const;
    void preparePlan(std::span<Snapshot* const> snapshots);
    bool snapshotsCurrent() const;
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

} // namespace lumora
