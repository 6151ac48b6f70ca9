// How long the machine has been suspended since it booted: the boot-time clock runs on through a
// suspend, the monotonic clock stops. A jump of the difference says the machine slept.
#pragma once

#include <time.h>

#include <chrono>

namespace lumora {

inline std::chrono::nanoseconds suspendedSinceBoot()
{
    const auto read = [](clockid_t clock) {
        timespec t{};
        ::clock_gettime(clock, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    // Read the monotonic clock last, so that the difference never comes out above the truth.
    const auto boot = read(CLOCK_BOOTTIME);
    return boot - read(CLOCK_MONOTONIC);
}

} // namespace lumora
