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
};

// One image request: `rows` consecutive screen rows of one snapshot, `count` points of each.
struct RowRequest {
    std::size_t snapshot; // index into the snapshots planned for
    std::size_t rowIndex; // the first row, an index into that snapshot's rows
    std::size_t rows;
    std::size_t column; // the first point read, counted from the snapshot's xFrom
    std::size_t count;
    int x, y; // the first point read, on the root window
    friend bool operator==(const RowRequest&, const RowRequest&) = default;
};

// Longest run of rows one request reads.
inline constexpr std::size_t kMaxRowsPerRequest = 256;

// One request per run of sampled rows that follow each other on the screen (steps of 1), each
// clipped to the area; rows and spans wholly outside it get none. In snapshot order, then row order.
std::vector<RowRequest> planRows(std::span<Snapshot* const> snapshots, const CaptureArea& area);

// Sets to failed every point of the snapshots that no request of `plan` reads, so that nothing of
// an earlier capture survives where this one reads nothing.
void failUnplanned(std::span<Snapshot* const> snapshots, std::span<const RowRequest> plan);

} // namespace lumora::x11
