#include "sampling/zones.hpp"

namespace lumora {

ZoneRects computeZones(double W, double H)
{
    // Written as a halving and a sixth, then their difference or sum: W / 3 would round
    // differently for some widths.
    ZoneRects z;
    z.x1[0] = round16(5);
    z.x2[0] = round16(W / 2 - W / 6);
    z.y1[0] = round16(5);
    z.y2[0] = round16(H - 5);
    z.x1[1] = round16(5);
    z.x2[1] = round16(W - 5);
    z.y1[1] = round16(5);
    z.y2[1] = round16(H / 2 - H / 6);
    z.x1[2] = round16(W / 2 + W / 6);
    z.x2[2] = round16(W - 5);
    z.y1[2] = round16(5);
    z.y2[2] = round16(H - 5);
    return z;
}

std::string resolutionText(int pixels) { return std::to_string(pixels); }

void storeZones(AutoState& state, const ZoneRects& zones)
{
    state.ZoneX1 = zones.x1;
    state.ZoneX2 = zones.x2;
    state.ZoneY1 = zones.y1;
    state.ZoneY2 = zones.y2;
}

} // namespace lumora
