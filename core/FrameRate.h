// The frame rate every conversion between frames, milliseconds and summary
// indices divides by.
#pragma once

namespace vt {

// Throws std::invalid_argument unless the frame rate is a positive finite
// number. The logic calls it before it converts anything, so that a rate
// that slipped past the screens stops the operation instead of filling the
// timeline with frames computed from infinity.
void requirePositiveFrameRate(float frameRate);

}  // namespace vt
