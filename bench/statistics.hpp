// The order statistics the benchmarks report over their runs.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora::bench {

// The middle value, or the mean of the two middle ones; NaN when there is none.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The nearest-rank percentile, 0 < q <= 1; NaN when there is no value.
inline double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

} // namespace lumora::bench
