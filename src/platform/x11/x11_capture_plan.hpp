// Which image requests a capture sends for a set of snapshots. Kept apart from X, so that the plan
// is tested without a server.
#pragma once

#include "sampling/screen.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace lumora::x11 {

// The monitor read: where it lies on the root window, and the part of it that the root window
// covers, in the monitor's own coordinates: [left, right) x [top, bottom).
struct CaptureArea {
    int originX = 0, originY = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const CaptureArea&, const CaptureArea&) = default;
};

// One image request: `rows` consecutive screen lines `width` points wide, from (x, y) on the root
// window.
struct ImageRequest {
    int x, y;
    std::size_t width, rows;
    friend bool operator==(const ImageRequest&, const ImageRequest&) = default;
};

// `count` points of one snapshot row, from its point `column` (counted from its xFrom), read from
// line `line` of request `request`'s image, from its point `offset`.
struct RowPiece {
    std::size_t request, line, offset;
    std::size_t snapshot, rowIndex, column, count;
    friend bool operator==(const RowPiece&, const RowPiece&) = default;
};

// Points of one snapshot row that no request reads.
struct UnreadSpan {
    std::size_t snapshot, rowIndex, column, count;
    friend bool operator==(const UnreadSpan&, const UnreadSpan&) = default;
};

struct CapturePlan {
    std::vector<ImageRequest> requests; // top to bottom
    std::vector<RowPiece> pieces;       // in the order of their requests
    std::vector<UnreadSpan> unread;
};

// Longest run of lines one request reads.
inline constexpr std::size_t kMaxRowsPerRequest = 256;

// Snapshots share screen rows (zones side by side sample the same lines), so the requests go by
// screen line, not by snapshot: one per run of lines that follow each other on the screen and are
// read over the same span, that span being the union of the spans of the snapshots sampling those
// lines, clipped to the area. Parts of a span no snapshot reads are read all the same: a request
// costs both sides far more than a few thousand bytes copied in the server. Every point of every
// snapshot row is either in one piece or unread.
CapturePlan planCapture(std::span<Snapshot* const> snapshots, const CaptureArea& area);

// Sets to failed every point of the snapshots that `plan` leaves unread, so that nothing of an
// earlier capture survives where this one reads nothing.
void failUnread(std::span<Snapshot* const> snapshots, const CapturePlan& plan);

} // namespace lumora::x11
