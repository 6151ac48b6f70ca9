// The capture plan: runs of rows per snapshot, clipped to the monitor's visible part.
#include "platform/x11_capture_plan.hpp"

#include <algorithm>

namespace lumora::x11 {

std::vector<RowRequest> planRows(std::span<Snapshot* const> snapshots, const CaptureArea& area)
{
    std::vector<RowRequest> plan;
    for (std::size_t k = 0; k < snapshots.size(); ++k) {
        const Snapshot& snapshot = *snapshots[k];
        const std::vector<int>& ys = snapshot.rows();
        const int from = std::max(snapshot.xFrom(), area.left);
        const int to = std::min(snapshot.xTo(), area.right - 1);
        if (from > to)
            continue;
        const auto column = static_cast<std::size_t>(from - snapshot.xFrom());
        const auto count = static_cast<std::size_t>(to - from + 1);
        const auto onArea = [&](std::size_t i) { return ys[i] >= area.top && ys[i] < area.bottom; };
        for (std::size_t i = 0; i < ys.size();) {
            if (!onArea(i)) {
                ++i;
                continue;
            }
            std::size_t rows = 1;
            while (i + rows < ys.size() && rows < kMaxRowsPerRequest && onArea(i + rows)
                   && ys[i + rows] == ys[i] + static_cast<int>(rows))
                ++rows;
            plan.push_back({k, i, rows, column, count, area.originX + from, area.originY + ys[i]});
            i += rows;
        }
    }
    return plan;
}

void failUnplanned(std::span<Snapshot* const> snapshots, std::span<const RowRequest> plan)
{
    auto next = plan.begin();
    for (std::size_t k = 0; k < snapshots.size(); ++k) {
        Snapshot& snapshot = *snapshots[k];
        for (std::size_t i = 0; i < snapshot.rows().size(); ++i) {
            while (next != plan.end() && (next->snapshot < k || (next->snapshot == k && next->rowIndex + next->rows <= i)))
                ++next;
            const std::span<Colour> row = snapshot.row(i);
            if (next == plan.end() || next->snapshot != k || next->rowIndex > i) {
                std::ranges::fill(row, kFailedPixel);
                continue;
            }
            std::ranges::fill(row.first(next->column), kFailedPixel);
            std::ranges::fill(row.subspan(next->column + next->count), kFailedPixel);
        }
    }
}

} // namespace lumora::x11
