// Narrowing the 64-bit sums that frame and index arithmetic is done in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace vt {

// Frames and summary indices are 32-bit; sums of them are taken in 64 bits
// so that they cannot overflow, and a wild result is held at the range's end
// rather than wrapping round to the other side of the timeline.
constexpr int32_t clampToInt32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace vt
