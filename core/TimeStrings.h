// Time strings (HH:MM:SS,mmm) and the conversions between milliseconds,
// frames and time strings. Every screen shows and writes times through these.
#pragma once

#include "core/Errors.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vt {

// A time field that is not a decimal number.
class TimeStringError : public UserError {
public:
    using UserError::UserError;
};

// Reads characters 1-2 as hours, 4-5 minutes, 7-8 seconds, 10-12
// milliseconds; the separators are not examined. A field cut short by the end
// of the text is read from the characters that are there; a field that is
// empty or holds anything but the digits 0-9 throws TimeStringError.
int32_t StrToMs(std::string_view text);

// truncate(ms x frameRate / 1000 + 0.5), in double precision; a result
// outside the 32-bit range is clipped to it.
int32_t MsToFrame(int64_t ms, float frameRate);

// Milliseconds -> "HH:MM:SS,mmm"; hours wrap after 59; empty when negative.
std::string msToTimeString(int64_t ms);

// Frame -> "HH:MM:SS,mmm" at the given rate; empty for a negative frame (and
// for a rate that is not a positive number). Hours wrap after 59.
std::string FrameToTime(int32_t frame, float frameRate);

}  // namespace vt
