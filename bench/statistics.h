#pragma once
// The one percentile of the benchmarks, in the bench and in the pacing program built
// for Windows alike: header-only, so that the Windows build needs nothing else here.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace tarvex::bench {

// Nearest-rank percentile of a sample; 0 for an empty one.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const auto index = static_cast<std::size_t>(std::max(rank, 1.0)) - 1;
    return values[std::min(index, values.size() - 1)];
}

inline double median(std::vector<double> values) {
    return percentile(std::move(values), 50);
}

} // namespace tarvex::bench
