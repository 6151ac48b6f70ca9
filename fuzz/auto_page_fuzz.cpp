// Fuzzes the AUTO page: any texts in the five setting boxes and the two resolution boxes, applied
// in any order through the functions the controller uses, then one AUTO tick over a screen of any
// content. A refused apply must leave the values in force untouched, and no tick after an accepted
// one may overflow, crash, or run without end (libFuzzer's -timeout catches a hang).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sampling/auto_branch.hpp"
#include "sampling/auto_settings.hpp"
#include "sampling/zones.hpp"

namespace {

using namespace lumora;

// A screen of a fixed size whose pixels repeat a fuzzed pattern; off-screen points read as failed.
class PatternScreen final : public Screen {
public:
    PatternScreen(int width, int height, std::vector<Colour> pattern)
        : width_(width), height_(height), pattern_(std::move(pattern))
    {
        if (pattern_.empty())
            pattern_.push_back(0);
    }

    ScreenSize size() override { return {width_, height_}; }
    void renew() override {}
    bool capture(std::span<Snapshot* const> snapshots) override
    {
        for (Snapshot* snapshot : snapshots)
            for (std::size_t r = 0; r < snapshot->rows().size(); ++r) {
                const int y = snapshot->rows()[r];
                auto row = snapshot->row(r);
                for (std::size_t k = 0; k < row.size(); ++k) {
                    const int x = snapshot->xFrom() + static_cast<int>(k);
                    const bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
                    row[k] = inside ? pattern_[(static_cast<std::size_t>(y) * 7919u + static_cast<std::size_t>(x)) % pattern_.size()]
                                    : kFailedPixel;
                }
            }
        return true;
    }
    void drawPoint(int, int) override {}
    UserText problem() const override { return {}; }

private:
    int width_;
    int height_;
    std::vector<Colour> pattern_;
};

bool sameState(const AutoState& a, const AutoState& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    AutoState state{};
    // Start-up: the boxes' defaults and the screen's size.
    if (!applyAutoSettings(state, {"25", "50", "30", "50", "100"}).empty() || !applyResolution(state, "1920", "1080").empty())
        std::abort();

    const int rounds = in.ConsumeIntegralInRange(1, 3);
    for (int round = 0; round < rounds; ++round) {
        const AutoState before = state;
        std::string message;
        if (in.ConsumeBool()) {
            std::array<std::string, 5> texts;
            for (auto& t : texts)
                t = in.ConsumeRandomLengthString(24);
            message = applyAutoSettings(state, texts);
        } else {
            const std::string x = in.ConsumeRandomLengthString(24);
            const std::string y = in.ConsumeRandomLengthString(24);
            message = applyResolution(state, x, y);
        }
        if (!message.empty() && !sameState(state, before))
            std::abort(); // a refused value changed what was in force
    }

    const bool processing = in.ConsumeBool();
    const bool markers = in.ConsumeBool();
    const int width = in.ConsumeIntegralInRange(1, 3840);
    const int height = in.ConsumeIntegralInRange(1, 2160);
    std::vector<Colour> pattern;
    while (in.remaining_bytes() >= 3 && pattern.size() < 64) {
        const auto b = in.ConsumeBytes<std::uint8_t>(3);
        pattern.push_back(rgb(b[0], b[1], b[2]));
    }
    PatternScreen screen(width, height, std::move(pattern));

    AutoBranch branch;
    try {
        branch.tick(state, screen, scanSettings(state, processing, markers), [&state](int zone) {
            const auto i = static_cast<std::size_t>(zone);
            for (ZoneArray* channel : {&state.CurR, &state.CurG, &state.CurB})
                (*channel)[i] = std::clamp<i16>((*channel)[i], 0, 255);
        });
    } catch (const OverflowError&) {
        std::abort(); // the settings in force were accepted as safe for any screen content
    }
    return 0;
}
