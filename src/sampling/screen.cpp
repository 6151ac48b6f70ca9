#include "sampling/screen.hpp"

namespace lumora {

void Snapshot::reset(int xFrom, int xTo, std::vector<int> rows)
{
    xFrom_ = xFrom;
    xTo_ = xTo;
    rows_ = std::move(rows);
    pixels_.assign(rows_.size() * static_cast<std::size_t>(width()), kFailedPixel);
}

} // namespace lumora
