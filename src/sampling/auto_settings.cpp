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
// "левой зоны", "в левой зоне": the adjective reads the same in both cases.
constexpr std::array<const char*, kZoneCount> kZoneNames = {"левой", "верхней", "правой"};

std::string number(double value)
{
    if (std::isinf(value))
        return value > 0 ? "бесконечность" : "минус бесконечность";
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

std::optional<ZoneFault> firstFault(const ZoneRects& zones, i16 stepX, i16 stepY, i16 delta, i16 min1)
{
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const auto i = static_cast<std::size_t>(zone);
        const ScanGrid grid{zones.x1[i], zones.x2[i], zones.y1[i], zones.y2[i], stepX, stepY};
        const ScanCheck check = checkScan(grid, delta, min1);
        if (check.fault != ScanFault::None)
            return ZoneFault{zone, grid, check};
    }
    return std::nullopt;
}

ZoneRects zonesInForce(const AutoState& st) { return {st.ZoneX1, st.ZoneX2, st.ZoneY1, st.ZoneY2}; }

bool isAlongX(ScanFault fault) { return fault == ScanFault::ColumnStep || fault == ScanFault::MarkerX; }

// The first run of positive steps that all work with the other values, as advice for the box.
// Steps past it may work too (the last coordinate a step reaches is not monotonic in the step).
std::string stepAdvice(const ZoneRects& zones, bool alongX, i16 otherStep, i16 delta, i16 min1)
{
    int low = 0, high = 0;
    for (int s = 1; s <= INT16_MAX; ++s) {
        const auto step = static_cast<i16>(s);
        // Faults of the other axis are that box's business, not this one's.
        const auto fault = firstFault(zones, alongX ? step : otherStep, alongX ? otherStep : step, delta, min1);
        const bool fits = !fault || (fault->check.fault != ScanFault::Sums && isAlongX(fault->check.fault) != alongX);
        if (fits && low == 0)
            low = s;
        if (fits)
            high = s;
        if (!fits && low != 0)
            break;
    }
    if (low == 0)
        return "ни один положительный шаг не подходит к зонам";
    return "введите целое число пикселей от " + std::to_string(low) + " до " + std::to_string(high);
}

std::string zoneSpan(const ZoneFault& f, bool alongX)
{
    const char axis = alongX ? 'x' : 'y';
    const int from = alongX ? f.grid.x1 : f.grid.y1, to = alongX ? f.grid.x2 : f.grid.y2;
    return std::string(kZoneNames[static_cast<std::size_t>(f.zone)]) + " зоны (" + axis + " " + std::to_string(from) + ".."
           + std::to_string(to) + ")";
}

// Why the scan of the faulting zone could overflow, without naming the box to blame.
std::string faultReason(const ZoneFault& f)
{
    switch (f.check.fault) {
    case ScanFault::RowStep:
        return "сканирование " + zoneSpan(f, false) + " с шагом " + std::to_string(f.grid.yStep) + " дойдёт до y = "
               + std::to_string(f.check.value) + ", за пределы 16 бит";
    case ScanFault::ColumnStep:
        return "сканирование " + zoneSpan(f, true) + " с шагом " + std::to_string(f.grid.xStep) + " дойдёт до x = "
               + std::to_string(f.check.value) + ", за пределы 16 бит";
    case ScanFault::MarkerX:
        return "при сканировании " + zoneSpan(f, true) + " маркер встанет рядом с x = "
               + std::to_string(f.check.value) + ", за пределами 16 бит";
    case ScanFault::MarkerY:
        return "при сканировании " + zoneSpan(f, false) + " маркер встанет рядом с y = "
               + std::to_string(f.check.value) + ", за пределами 16 бит";
    case ScanFault::Sums:
    case ScanFault::None:
        break;
    }
    return {};
}

} // namespace

std::string applyAutoSettings(AutoState& st, const std::array<std::string, 5>& texts)
{
    std::array<i16, 5> v{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const double read = readNumber(texts[i]);
        try {
            v[i] = round16(read);
        } catch (const OverflowError&) {
            return std::string(kBoxLabels[i]) + ": «" + texts[i] + "» читается как " + number(read)
                   + ", а нужно целое число от -32768 до 32767";
        }
    }
    const i16 stepX = v[0], stepY = v[1], delta = v[2], min1 = v[3];
    const ZoneRects zones = zonesInForce(st);
    const DeltaRange safe = safeDeltas(min1);

    for (std::size_t i = 0; i < 2; ++i) {
        if (v[i] == 0) {
            const bool x = i == 0;
            const i16 other = x ? stepY : stepX;
            return std::string(kBoxLabels[i]) + ": 0 — не шаг (сканирование никогда не закончится); "
                   + stepAdvice(zones, x, other == 0 ? i16{1} : other, std::clamp(delta, safe.low, safe.high), min1);
        }
    }
    if (delta < safe.low || delta > safe.high) {
        return std::string(kBoxLabels[2]) + ": " + std::to_string(delta)
               + (delta < safe.low ? " при Min-1 = " + std::to_string(min1) + " выведет коррекцию цвета за её пределы"
                                   : " поднимет канал цвета выше 32767")
               + "; введите целое число от " + std::to_string(safe.low) + " до " + std::to_string(safe.high);
    }
    if (const auto f = firstFault(zones, stepX, stepY, delta, min1)) {
        if (f->check.fault == ScanFault::Sums) {
            const long long samples = f->check.value;
            const std::string where = " в " + std::string(kZoneNames[static_cast<std::size_t>(f->zone)]) + " зоне";
            if (samples <= maxSamples(0, min1)) {
                return std::string(kBoxLabels[2]) + ": усиление " + std::to_string(delta) + " на "
                       + std::to_string(samples) + " точках" + where + " может переполнить суммы цветов; введите не больше "
                       + std::to_string(INT32_MAX / samples - 255) + " или задайте шаги крупнее";
            }
            return std::string(kBoxLabels[0]) + ", " + kBoxLabels[1] + ": шаги " + std::to_string(stepX) + " и "
                   + std::to_string(stepY) + " дают " + std::to_string(samples) + " точек" + where
                   + " — больше, чем вмещают суммы цветов (не больше " + std::to_string(maxSamples(delta, min1))
                   + "); введите шаги крупнее";
        }
        const bool x = isAlongX(f->check.fault);
        return std::string(kBoxLabels[x ? 0 : 1]) + ": " + faultReason(*f) + "; "
               + stepAdvice(zones, x, x ? stepY : stepX, delta, min1);
    }

    st.StepX = stepX;
    st.StepY = stepY;
    st.Delta = delta;
    st.Min1 = min1;
    st.Min2 = v[4];
    return {};
}

std::string applyResolution(AutoState& st, const std::string& textX, const std::string& textY)
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
        return std::string(widthFails ? "Ширина" : "Высота") + ": «" + text + "» читается как " + number(value)
               + ", и край зоны выходит за координаты от -32768 до 32767; введите "
               + (value > 0 ? "не больше 32772" : "не меньше -32763");
    }
    if (const auto f = firstFault(zones, st.StepX, st.StepY, st.Delta, st.Min1)) {
        const std::string size = number(W) + " x " + number(H);
        if (f->check.fault == ScanFault::Sums) {
            return "Ширина, Высота: при " + size + " заданные шаги дают " + std::to_string(f->check.value)
                   + " точек в " + kZoneNames[static_cast<std::size_t>(f->zone)]
                   + " зоне — больше, чем вмещают суммы цветов (не больше " + std::to_string(maxSamples(st.Delta, st.Min1))
                   + "); введите меньшее разрешение или задайте шаги крупнее";
        }
        return std::string(isAlongX(f->check.fault) ? "Ширина" : "Высота") + ": при " + size + " " + faultReason(*f)
               + "; введите меньшее разрешение или другие шаги";
    }
    storeZones(st, zones);
    return {};
}

} // namespace lumora
