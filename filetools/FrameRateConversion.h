// The frame-rate conversion of the file-tools screen: the frame numbers stay,
// the rate they are turned into times at changes, and the timeline is saved
// at the new rate at once. The rate boxes show sixCharacterFrameRate
// (core/FrameRateText.h) and are read with readFrameRate.
#pragma once

#include "core/ProjectState.h"
#include "core/TimelineWriter.h"
#include "core/TimelineBackup.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

inline constexpr std::string_view MsgFrameRateConverted =
    "\u3000\u3000时间轴已按指定的帧率强制转换并保存，\r\r请打开对应的视频文件仔细核对。";
// "转换" with a new rate that is not a positive number (letters, 0, a
// negative, nothing): nothing is converted or saved.
inline constexpr std::string_view MsgNewFrameRateInvalid = "新帧率必须是大于0的数字，请检查。";

// Frame -> "HH:MM:SS,mmm" at the new rate: trunc(frame ÷ newFrameRate ×
// 1000) ms, divided first and in extended precision; hours wrap after 59.
// Empty for a negative frame or a rate that is not a positive number. At
// 23.976 fps frame 25000 gives "00:17:22,709".
std::string FrameToNewTime(int32_t frame, float newFrameRate);

enum class ConversionOutcome : int8_t {
    SameRate,   // the new box names the rate shown: nothing done, no message
    Converted,  // saved at the new rate; show MsgFrameRateConverted, NextPage = 1
};

// "转换". shownRateText is the original-rate box (the rate the timeline is
// at), newRateText the new-rate box. Throws UserError(MsgNewFrameRateInvalid)
// when the new text is no positive number. The same rate is decided on the
// two numbers the boxes show ("25" and "25.000" are one rate), never on
// times formatted two ways. Otherwise writes the timeline's frame numbers at
// the new rate over timelineFileName (proSaveSrt: atomic, in the file's
// encoding, newTimeline cleared, the dialogue asked and told as a save
// asks and tells) and only then sets frameRate to the new
// rate; a failed save throws FileError and leaves frameRate and the file as
// they were. The screen refuses on "转换" only: while the new box is typed
// in, readFrameRate failing just keeps the focus there.
ConversionOutcome convertFrameRate(std::string_view shownRateText, std::string_view newRateText,
                                   const TimelineArray& timeline, int32_t timelineCount, float& frameRate,
                                   const std::string& timelineFileName, FileEncoding encoding, bool& newTimeline,
                                   const SaveDialogue& dialogue = {}, const TimelineDocument* document = nullptr);

}  // namespace vt
