#include "core/FrameRate.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace vt {

void requirePositiveFrameRate(float frameRate)
{
    if (!(frameRate > 0.0f) || !std::isfinite(frameRate))
        throw std::invalid_argument("the frame rate must be a positive number, not " + std::to_string(frameRate));
}

}  // namespace vt
