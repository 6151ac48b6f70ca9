// The choice among the monitors, with the note that says which one stands in for a missing one.
#include "platform/x11/x11_monitors.hpp"

#include <algorithm>

namespace lumora::x11 {

MonitorChoice chooseMonitor(const std::vector<Monitor>& monitors, const std::string& requested)
{
    const auto named = std::ranges::find(monitors, requested, &Monitor::name);
    if (!requested.empty() && named != monitors.end())
        return {*named, {}};

    MonitorChoice choice;
    std::string instead = "the whole screen", insteadRu = "весь экран";
    if (const auto primary = std::ranges::find(monitors, true, &Monitor::primary); primary != monitors.end()) {
        choice.monitor = *primary;
        instead = "the primary monitor '" + primary->name + "'";
        insteadRu = "основной монитор «" + primary->name + "»";
    } else if (const auto atOrigin = std::ranges::find_if(monitors, [](const Monitor& m) { return m.x == 0 && m.y == 0; });
               atOrigin != monitors.end()) {
        choice.monitor = *atOrigin;
        instead = "monitor '" + atOrigin->name + "' at the origin";
        insteadRu = "монитор «" + atOrigin->name + "» в начале координат";
    }
    if (!requested.empty())
        choice.note = {"Монитора «" + requested + "» больше нет; читается " + insteadRu,
                       "monitor '" + requested + "' is gone; reading " + instead + " instead"};
    return choice;
}

std::string describeMonitors(const std::vector<Monitor>& monitors)
{
    std::string text;
    for (const Monitor& m : monitors) {
        text += (text.empty() ? "" : ", ") + m.name + " (" + (m.primary ? "primary, " : "") + std::to_string(m.width) +
                "x" + std::to_string(m.height) + "+" + std::to_string(m.x) + "+" + std::to_string(m.y) + ")";
    }
    return text.empty() ? "none" : text;
}

} // namespace lumora::x11
