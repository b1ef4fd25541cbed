// A frame rate as the screens show it in their rate boxes, and a rate the
// user typed read back. Window-free, so the open-project screen and the file
// tools show one text for one rate.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vt {

// The rate in six characters: its decimal text (a point, up to 15
// significant digits, never an exponent) cut to the first six characters,
// after a nudge of a tenth of the last digit kept, so that a float just
// below a round rate still shows it: 23.976f gives "23.976", 25 "25.000",
// 29.97003 "29.970", 120 "120.00", 8 "8.0000", 7.992f "7.9920". The nudge
// shrinks with the rate, so reading the text back and showing it again gives
// the same text: a rate does not creep upwards from visit to visit (the
// fixed 0.0001 would make 8 into 8.0001, then 8.0002 ...). A rate too small
// for six characters (below 0.0001) is shown in full rather than as 0.
// Empty for a rate that is not a positive finite number.
std::string sixCharacterFrameRate(float frameRate);

// A rate typed or shown in a rate box (UTF-8): a decimal number with a
// point, an optional '+' before it, blanks around it allowed. Nothing for an empty text, letters
// anywhere (also "25abc" after a valid start), 0, a negative rate, or one
// that is no finite single-precision number.
std::optional<float> readFrameRate(std::string_view text);

}  // namespace vt
