// What the driver's own AUTO pipeline makes of a screen of one colour: the zone colours that the
// end-to-end tests expect on the wire.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "driver_run.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/auto_settings.hpp"

namespace lumora::test {

// A screen of one colour (kFailedPixel: failed reads everywhere).
class OneColour final : public Screen {
public:
    OneColour(Colour c, ScreenSize size) : colour_(c), size_(size) {}
    ScreenSize size() override { return size_; }
    void renew() override {}
    void capture(std::span<Snapshot* const> snapshots) override
    {
        for (Snapshot* s : snapshots)
            for (std::size_t r = 0; r < s->rows().size(); ++r)
                std::ranges::fill(s->row(r), colour_);
    }
    void drawPoint(int, int) override {}
    UserText problem() const override { return {}; }

private:
    Colour colour_;
    ScreenSize size_;
};

// Where the zones come to rest on a `size` screen of colour `c`, starting from the colours
// `from`, with the window's default settings.
inline ZoneColours settleOn(Colour c, ZoneColours from, ScreenSize size)
{
    AutoState st;
    EXPECT_EQ(applyAutoSettings(st, {"25", "50", "30", "50", "100"}), "");
    EXPECT_EQ(applyResolution(st, std::to_string(size.width), std::to_string(size.height)), "");
    const std::array<ZoneArray*, 3> channels{&st.CurR, &st.CurG, &st.CurB};
    for (std::size_t z = 0; z < 3; ++z)
        for (std::size_t c = 0; c < 3; ++c)
            (*channels[c])[z] = static_cast<i16>(from[z][c]);
    OneColour screen(c, size);
    AutoBranch branch;
    const auto clamp = [&](int zone) {
        for (auto* ch : channels)
            (*ch)[static_cast<std::size_t>(zone)] = std::clamp<i16>((*ch)[static_cast<std::size_t>(zone)], 0, 255);
    };
    for (int tick = 0; tick < 20; ++tick)
        branch.tick(st, screen, scanSettings(st, true, false), clamp);
    ZoneColours out{};
    for (std::size_t z = 0; z < 3; ++z)
        for (std::size_t c = 0; c < 3; ++c)
            out[z][c] = (*channels[c])[z];
    return out;
}

} // namespace lumora::test
