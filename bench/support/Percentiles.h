// The middle and the spread of a benchmark's samples, read the same way by
// every benchmark that prints them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace vt::bench {

// The sample at p of the way from the least (0) to the most (1): the one
// whose rank in order is nearest to p * (count - 1). 0 without samples.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// The middle sample; of an even count, the upper of the two in the middle.
inline double median(const std::vector<double>& v)
{
    return percentile(v, 0.5);
}

}  // namespace vt::bench
