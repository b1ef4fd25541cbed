// The time-code shift of the file-tools screen: its seconds and frames
// fields, and the shift of the timeline itself.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

// The shift's refusals. A refused shift changes nothing.
inline constexpr std::string_view MsgShiftBeforeZero =
    "第一条时间码不能减到负值。\r请删除前几条时间码再平移。";
inline constexpr std::string_view MsgShiftFramesInvalid = "平移的帧数必须是整数，请检查。";
// Time strings have two digits of hours: a time code at 60 hours or later
// would be written as an earlier one.
inline constexpr std::string_view MsgShiftBeyondTimes = "平移后的时间码将超过60小时，无法写入字幕文件。\r请减小平移量。";

// The range radio group's items, by index.
enum class ShiftRange : int8_t {
    All = 0,        // "全部"
    Following = 1,  // "后续": from the first line that has not ended before the play position
};

// The seconds field left: its text (a decimal number with a point, an
// optional sign, blanks around it) in frames, rounded half away from zero
// (2.5 s at 25 fps gives 63, -2.5 s gives -63), held within
// ±videoLengthFrames. Nothing for a text that is not a number; the screen
// puts the focus back into the field without a message.
std::optional<int32_t> secondsToShiftFrames(std::string_view secondsText, float frameRate, int32_t videoLengthFrames);

// The frames field's text as an integer (optional sign, blanks around it);
// nothing for anything else, or a number past the 32-bit range.
std::optional<int32_t> readShiftFrames(std::string_view framesText);

// The frames field left: frames ÷ frameRate for the seconds field, cut (not
// rounded) after the third decimal; a whole number has no point: 250 at 25
// fps gives "10", 100 at 23.976 fps "4.170", -63 at 25 fps "-2.52".
std::string shiftFramesToSeconds(int32_t frames, float frameRate);

// Whether the first line's start would fall below frame 0; the screen then
// keeps the focus in the frames field.
bool shiftStartsBeforeZero(const TimelineArray& timeline, int32_t timelineCount, int32_t frames);

// "移动": adds frames to the start and end of every line in the range
// (All: from line 0; Following: from the first line whose EndFrame is not
// below playPosition, none when every line ended before it), then the tidy
// pass (every line at least 8 frames, each starting after the one before,
// moved lines pushed later past unmoved ones) and the coverage marks rebuilt
// at frameRate. A shift by 0 still tidies and rebuilds. Nothing at all for
// an empty timeline. Throws UserError with MsgShiftBeforeZero when the
// first line's start (line 0's, for either range) would fall below 0, and
// with MsgShiftBeyondTimes when a line would end at 60 hours or later;
// the timeline and the marks are then as they were. Returns how many lines
// moved.
int32_t shiftTimeline(TimelineArray& timeline, int32_t timelineCount, int32_t frames, ShiftRange range,
                      int32_t playPosition, ByteArray& waveMarks, float frameRate);

}  // namespace vt
