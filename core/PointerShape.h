// The pointer shapes the editor uses, named without any windowing system so
// that the window-free logic can choose one.
#pragma once

#include <cstdint>

namespace vt {

// The arrow with a small hourglass (standstill), the plain arrow (normal
// play), and the west-east sizing arrow (every other speed).
enum class PointerShape : uint8_t { AppStarting, Arrow, SizeWE };

}  // namespace vt
