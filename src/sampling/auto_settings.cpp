#include "sampling/auto_settings.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

#include "sampling/scan_limits.hpp"
#include "sampling/zones.hpp"

namespace lumora {

namespace {

// The boxes as their labels name them on the AUTO page.
constexpr std::array<const char*, 5> kBoxLabels = {"Шаг Х", "Шаг Y", "Дельта", "Min-1", "Min-2"};
constexpr std::array<const char*, kZoneCount> kZoneNames = {"left", "top", "right"};

std::string number(double value)
{
    if (std::isinf(value))
        return value > 0 ? "infinity" : "-infinity";
    std::ostringstream out;
    out.precision(15);
    out << value;
    return out.str();
}

struct ZoneFault {
    int zone = 0;
    ScanGrid grid{};
    ScanCheck check;
};

std::optional<ZoneFault> firstFault(const ZoneRects& zones, i16 stepX, i16 stepY, i16 delta)
{
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const auto i = static_cast<std::size_t>(zone);
        const ScanGrid grid{zones.x1[i], zones.x2[i], zones.y1[i], zones.y2[i], stepX, stepY};
        const ScanCheck check = checkScan(grid, delta);
        if (check.fault != ScanFault::None)
            return ZoneFault{zone, grid, check};
    }
    return std::nullopt;
}

ZoneRects zonesInForce(const ControllerState& st) { return {st.ZoneX1, st.ZoneX2, st.ZoneY1, st.ZoneY2}; }

bool isAlongX(ScanFault fault) { return fault == ScanFault::ColumnStep || fault == ScanFault::MarkerX; }

// The first run of positive steps that all work with the other values, as advice for the box.
// Steps past it may work too (the last coordinate a step reaches is not monotonic in the step).
std::string stepAdvice(const ZoneRects& zones, bool alongX, i16 otherStep, i16 delta)
{
    int low = 0, high = 0;
    for (int s = 1; s <= INT16_MAX; ++s) {
        const auto step = static_cast<i16>(s);
        // Faults of the other axis are that box's business, not this one's.
        const auto fault = firstFault(zones, alongX ? step : otherStep, alongX ? otherStep : step, delta);
        const bool fits = !fault || (fault->check.fault != ScanFault::Sums && isAlongX(fault->check.fault) != alongX);
        if (fits && low == 0)
            low = s;
        if (fits)
            high = s;
        if (!fits && low != 0)
            break;
    }
    if (low == 0)
        return "no positive step fits the zones in force";
    return "enter a whole number of pixels from " + std::to_string(low) + " to " + std::to_string(high);
}

std::string zoneSpan(const ZoneFault& f, bool alongX)
{
    const char axis = alongX ? 'x' : 'y';
    const int from = alongX ? f.grid.x1 : f.grid.y1, to = alongX ? f.grid.x2 : f.grid.y2;
    return std::string(kZoneNames[static_cast<std::size_t>(f.zone)]) + " zone (" + axis + " " + std::to_string(from) + ".."
           + std::to_string(to) + ")";
}

// Why the scan of the faulting zone could overflow, without naming the box to blame.
std::string faultReason(const ZoneFault& f)
{
    switch (f.check.fault) {
    case ScanFault::RowStep:
        return "the scan of the " + zoneSpan(f, false) + " with a step of " + std::to_string(f.grid.yStep)
               + " would step to y = " + std::to_string(f.check.value) + ", beyond the 16-bit range";
    case ScanFault::ColumnStep:
        return "the scan of the " + zoneSpan(f, true) + " with a step of " + std::to_string(f.grid.xStep)
               + " would step to x = " + std::to_string(f.check.value) + ", beyond the 16-bit range";
    case ScanFault::MarkerX:
        return "the scan of the " + zoneSpan(f, true) + " would put a marker beside x = "
               + std::to_string(f.check.value) + ", beyond the 16-bit range";
    case ScanFault::MarkerY:
        return "the scan of the " + zoneSpan(f, false) + " would put a marker beside y = "
               + std::to_string(f.check.value) + ", beyond the 16-bit range";
    case ScanFault::Sums:
    case ScanFault::None:
        break;
    }
    return {};
}

} // namespace

std::string applyAutoSettings(ControllerState& st, const std::array<std::string, 5>& texts)
{
    std::array<i16, 5> v{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const double read = readNumber(texts[i]);
        try {
            v[i] = round16(read);
        } catch (const OverflowError&) {
            return std::string(kBoxLabels[i]) + ": \"" + texts[i] + "\" reads as " + number(read)
                   + ", outside the whole numbers -32768 to 32767";
        }
    }
    const i16 stepX = v[0], stepY = v[1], delta = v[2];
    const ZoneRects zones = zonesInForce(st);

    for (std::size_t i = 0; i < 2; ++i) {
        if (v[i] == 0) {
            const bool x = i == 0;
            const i16 other = x ? stepY : stepX;
            return std::string(kBoxLabels[i]) + ": 0 is not a step (a scan would never end); "
                   + stepAdvice(zones, x, other == 0 ? i16{1} : other, std::clamp(delta, kMinDelta, kMaxDelta));
        }
    }
    if (delta < kMinDelta || delta > kMaxDelta) {
        return std::string(kBoxLabels[2]) + ": " + std::to_string(delta)
               + (delta < kMinDelta ? " is a boost so negative that the colour correction could leave its range"
                                    : " would lift a colour channel past 32767")
               + "; enter a whole number from " + std::to_string(kMinDelta) + " to " + std::to_string(kMaxDelta);
    }
    if (const auto f = firstFault(zones, stepX, stepY, delta)) {
        if (f->check.fault == ScanFault::Sums) {
            const long long samples = f->check.value;
            const std::string where = " in the " + std::string(kZoneNames[static_cast<std::size_t>(f->zone)]) + " zone";
            if (samples <= maxSamples(0)) {
                return std::string(kBoxLabels[2]) + ": a boost of " + std::to_string(delta) + " over "
                       + std::to_string(samples) + " samples" + where + " could overflow the colour sums; enter at most "
                       + std::to_string(INT32_MAX / samples - 255) + " or apply larger steps";
            }
            return std::string(kBoxLabels[0]) + ", " + kBoxLabels[1] + ": steps of " + std::to_string(stepX) + " and "
                   + std::to_string(stepY) + " take " + std::to_string(samples) + " samples" + where
                   + ", more than the colour sums can hold (at most " + std::to_string(maxSamples(delta))
                   + "); enter larger steps";
        }
        const bool x = isAlongX(f->check.fault);
        return std::string(kBoxLabels[x ? 0 : 1]) + ": " + faultReason(*f) + "; "
               + stepAdvice(zones, x, x ? stepY : stepX, delta);
    }

    st.StepX = stepX;
    st.StepY = stepY;
    st.Delta = delta;
    st.Min1 = v[3];
    st.Min2 = v[4];
    return {};
}

std::string applyResolution(ControllerState& st, const std::string& textX, const std::string& textY)
{
    const double W = readNumber(textX), H = readNumber(textY);
    ZoneRects zones;
    try {
        zones = computeZones(W, H);
    } catch (const OverflowError&) {
        // Find the box whose own terms overflow; each box feeds only its own axis.
        bool widthFails = false;
        try {
            computeZones(W, 0);
        } catch (const OverflowError&) {
            widthFails = true;
        }
        const double value = widthFails ? W : H;
        const std::string& text = widthFails ? textX : textY;
        return std::string(widthFails ? "Width" : "Height") + ": \"" + text + "\" reads as " + number(value)
               + ", which puts a zone edge outside the pixel coordinates -32768 to 32767; enter "
               + (value > 0 ? "at most 32772" : "at least -32763");
    }
    if (const auto f = firstFault(zones, st.StepX, st.StepY, st.Delta)) {
        const std::string size = number(W) + " x " + number(H);
        if (f->check.fault == ScanFault::Sums) {
            return "Width, Height: at " + size + " the steps in force take " + std::to_string(f->check.value)
                   + " samples in the " + kZoneNames[static_cast<std::size_t>(f->zone)]
                   + " zone, more than the colour sums can hold (at most " + std::to_string(maxSamples(st.Delta))
                   + "); enter a smaller resolution or apply larger steps";
        }
        return std::string(isAlongX(f->check.fault) ? "Width" : "Height") + ": at " + size + " " + faultReason(*f)
               + "; enter a smaller resolution or apply other steps";
    }
    storeZones(st, zones);
    return {};
}

} // namespace lumora
