#include "random/fade.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace lumora {

namespace {

// Steps one channel and returns whether it is now within one step of its target. The two tests
// run one after the other on purpose: the second sees the value the first may have raised.
bool stepChannel(i16& current, i16 target, int step)
{
    if (current < target)
        current = add16(current, step);
    if (current > target)
        current = sub16(current, step);
    return std::abs(static_cast<int>(sub16(current, target))) < step;
}

} // namespace

bool rndTick(RndTargets& targets, CurrentColours& current, int step, RandomSource& random,
             const std::function<RndSettings()>& settings,
             const std::function<void(int zone)>& zoneSendStep)
{
    if (step < 1)
        throw std::invalid_argument("fade step must be at least 1, got " + std::to_string(step));

    bool arrived = true;
    for (int i = 0; i < kZoneCount; ++i) {
        const auto zone = static_cast<std::size_t>(i);
        // Every channel is stepped even after one has failed, so no short-circuit here.
        const bool red = stepChannel(current.CurR[zone], targets.TargetR[zone], step);
        const bool green = stepChannel(current.CurG[zone], targets.TargetG[zone], step);
        const bool blue = stepChannel(current.CurB[zone], targets.TargetB[zone], step);
        if (!red || !green || !blue)
            arrived = false;
        zoneSendStep(i);
    }

    if (!arrived)
        return false;
    GenTargetColor(targets, random, settings());
    return true;
}

} // namespace lumora
