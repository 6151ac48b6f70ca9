// The choice of the monitor whose edges carry the lamps, among those an X server reports.
#include "platform/x11_monitors.hpp"

#include <gtest/gtest.h>

namespace lumora::x11 {
namespace {

TEST(X11Monitors, ChoosesTheNamedThenThePrimaryThenTheOneAtTheOriginElseTheRoot)
{
    const Monitor left{"DP-1", false, 0, 0, 1920, 1080}, right{"HDMI-1", false, 1920, 0, 1920, 1080},
        primaryRight{"HDMI-1", true, 1920, 0, 2560, 1440};
    const struct {
        std::vector<Monitor> monitors;
        std::string requested;
        std::optional<Monitor> chosen;
        std::string note;
    } cases[] = {
        {{left, primaryRight}, "", primaryRight, ""},
        {{right, left}, "", left, ""},
        {{right}, "", std::nullopt, ""},
        {{}, "", std::nullopt, ""},
        {{primaryRight, left}, "DP-1", left, ""},
        {{primaryRight, left}, "DP-2", primaryRight, "monitor 'DP-2' is gone; reading the primary monitor 'HDMI-1' instead"},
        {{right, left}, "DP-2", left, "monitor 'DP-2' is gone; reading monitor 'DP-1' at the origin instead"},
        {{}, "DP-2", std::nullopt, "monitor 'DP-2' is gone; reading the whole screen instead"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describeMonitors(c.monitors) + " / '" + c.requested + "'");
        const MonitorChoice choice = chooseMonitor(c.monitors, c.requested);
        EXPECT_EQ(choice.monitor, c.chosen);
        EXPECT_EQ(choice.note.en, c.note);
    }
    EXPECT_EQ(describeMonitors({left, primaryRight}), "DP-1 (1920x1080+0+0), HDMI-1 (primary, 2560x1440+1920+0)");
}

} // namespace
} // namespace lumora::x11
