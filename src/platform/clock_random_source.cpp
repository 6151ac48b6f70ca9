#include "platform/clock_random_source.hpp"

#include <chrono>
#include <cstdint>

namespace lumora {

namespace {

std::uint64_t clockSeed()
{
    // Wall-clock nanoseconds differ from run to run; the steady clock adds the time since boot,
    // so two processes started within one tick of a coarse wall clock still differ.
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    const auto steady = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(wall).count()) ^
           (static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(steady).count()) << 1);
}

} // namespace

ClockRandomSource::ClockRandomSource() : engine_(clockSeed()) {}

double ClockRandomSource::next()
{
    constexpr double kScale = 1.0 / 9007199254740992.0; // 2^-53
    return static_cast<double>(engine_() >> 11) * kScale;
}

} // namespace lumora
