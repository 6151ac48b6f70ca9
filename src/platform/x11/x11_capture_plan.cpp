// The capture plan: the snapshots' rows gathered by screen line into runs, clipped to the monitor's
// visible part.
#include "platform/x11/x11_capture_plan.hpp"

#include <algorithm>

namespace lumora::x11 {

namespace {

// A snapshot row on the area and the part of it there, in the monitor's coordinates.
struct Line {
    int y;
    std::size_t snapshot, rowIndex;
    int from, to; // inclusive
};

} // namespace

CapturePlan planCapture(std::span<Snapshot* const> snapshots, const CaptureArea& area)
{
    CapturePlan plan;
    std::vector<Line> lines;
    for (std::size_t k = 0; k < snapshots.size(); ++k) {
        const Snapshot& snapshot = *snapshots[k];
        const auto width = static_cast<std::size_t>(snapshot.width());
        if (width == 0)
            continue;
        const int from = std::max(snapshot.xFrom(), area.left);
        const int to = std::min(snapshot.xTo(), area.right - 1);
        const std::vector<int>& ys = snapshot.rows();
        for (std::size_t i = 0; i < ys.size(); ++i) {
            if (from > to || ys[i] < area.top || ys[i] >= area.bottom) {
                plan.unread.push_back({k, i, 0, width});
                continue;
            }
            lines.push_back({ys[i], k, i, from, to});
            if (from > snapshot.xFrom())
                plan.unread.push_back({k, i, 0, static_cast<std::size_t>(from - snapshot.xFrom())});
            if (to < snapshot.xTo())
                plan.unread.push_back({k, i, static_cast<std::size_t>(to + 1 - snapshot.xFrom()),
                                       static_cast<std::size_t>(snapshot.xTo() - to)});
        }
    }
    std::ranges::stable_sort(lines, {}, &Line::y);

    int requestFrom = 0, requestTo = -1;
    for (auto group = lines.begin(); group != lines.end();) {
        const auto end = std::find_if(group, lines.end(), [&](const Line& l) { return l.y != group->y; });
        int from = group->from, to = group->to;
        for (auto l = group; l != end; ++l) {
            from = std::min(from, l->from);
            to = std::max(to, l->to);
        }
        ImageRequest* last = plan.requests.empty() ? nullptr : &plan.requests.back();
        if (last && from == requestFrom && to == requestTo && last->rows < kMaxRowsPerRequest
            && group->y == last->y - area.originY + static_cast<int>(last->rows)) {
            ++last->rows;
        } else {
            plan.requests.push_back({area.originX + from, area.originY + group->y, static_cast<std::size_t>(to - from + 1), 1});
            requestFrom = from;
            requestTo = to;
        }
        const std::size_t request = plan.requests.size() - 1;
        const std::size_t line = plan.requests.back().rows - 1;
        for (auto l = group; l != end; ++l) {
            const Snapshot& snapshot = *snapshots[l->snapshot];
            plan.pieces.push_back({request, line, static_cast<std::size_t>(l->from - from), l->snapshot, l->rowIndex,
                                   static_cast<std::size_t>(l->from - snapshot.xFrom()),
                                   static_cast<std::size_t>(l->to - l->from + 1)});
        }
        group = end;
    }
    return plan;
}

void failUnread(std::span<Snapshot* const> snapshots, const CapturePlan& plan)
{
    for (const UnreadSpan& u : plan.unread)
        std::ranges::fill(snapshots[u.snapshot]->row(u.rowIndex).subspan(u.column, u.count), kFailedPixel);
}

} // namespace lumora::x11
