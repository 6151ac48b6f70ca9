#include "sampling/auto_colour.hpp"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "sampling/scan.hpp"

namespace lumora {

namespace {

std::size_t zoneIndex(int zone)
{
    if (zone < 0 || zone >= kZoneCount)
        throw std::out_of_range("zone " + std::to_string(zone) + " is not 0, 1 or 2");
    return static_cast<std::size_t>(zone);
}

// The lamps' white balance: red +10, green -30, blue -20 on the 0..100 scale.
i16 correctChannel(i16 mean, float s, float offset, double brightness)
{
    const double scaled = static_cast<double>(mean) / static_cast<double>(s);
    const double shifted = scaled + static_cast<double>(offset);
    const double levels = shifted * 2.55;
    return round16(truncate(levels) * brightness);
}

void smoothChannel(i16& cur, i16 target)
{
    // |Cur - Auto| is a checked 16-bit value: -32768 has no 16-bit magnitude.
    const auto gap = [&] { return checked16(std::abs(static_cast<long long>(sub16(cur, target)))); };
    if (cur < target)
        cur = round16(cur + gap() / 2.0);
    if (cur > target)
        cur = round16(cur - gap() / 2.0);
}

} // namespace

void correctZone(AutoState& st, int zone)
{
    const std::size_t i = zoneIndex(zone);
    if (st.ScanR == 0 || st.ScanG == 0 || st.ScanB == 0) {
        st.AutoR[i] = 0;
        st.AutoG[i] = 0;
        st.AutoB[i] = 0;
        return;
    }
    const i16 m = maxof3(st.ScanR, st.ScanG, st.ScanB);
    // Held in single precision on purpose: for m = 10 it is slightly above 0.1, which moves results.
    const float s = static_cast<float>(m) / 100.0f;
    const double brightness = st.ScanBright / 255.0;
    st.AutoR[i] = correctChannel(st.ScanR, s, 10.0f, brightness);
    st.AutoG[i] = correctChannel(st.ScanG, s, -30.0f, brightness);
    st.AutoB[i] = correctChannel(st.ScanB, s, -20.0f, brightness);
}

void smoothZone(AutoState& st, int zone)
{
    const std::size_t i = zoneIndex(zone);
    smoothChannel(st.CurR[i], st.AutoR[i]);
    smoothChannel(st.CurG[i], st.AutoG[i]);
    smoothChannel(st.CurB[i], st.AutoB[i]);
}

} // namespace lumora
