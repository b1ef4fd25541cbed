// The project loader behind the open-project screen's " 下一步 >": checks the
// chosen files, reads the timeline and its texts, obtains the waveform
// summary, converts and tidies the time codes and builds the coverage marks.
// The summary comes from the ".ws" file, else the cache folder where an
// earlier opening kept it because no ".ws" could be written beside the WAV
// (read-only media), else the WAV, else the film's own sound as an earlier
// opening cached it, else the placeholder. A ".ws" that is empty, or whose
// length the WAV beside it cannot give, counts as none;
// so does a WAV too short for one pair. With the
// placeholder, FilmSoundPending tells the editor to summarise the film's
// sound in the background (FilmSoundSummary.h).
// The screen gathers the names and shows the messages; everything else is
// here, so it runs (and is tested) without a window.
#pragma once

#include "core/FileIO.h"
#include "core/ProjectState.h"
#include "core/SrtReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// The loader's refusals, in the order it checks them.
inline constexpr std::string_view MsgVideoMissing = "视频文件不存在，请检查。";
inline constexpr std::string_view MsgFrameRateUnknown = "视频格式不被支持。";
inline constexpr std::string_view MsgTimelineMissing = "时间轴文件不存在，请检查。";   // texts from the text file
inline constexpr std::string_view MsgSubtitleFileMissing = "字幕文件不存在，请检查。";  // texts in the SRT
inline constexpr std::string_view MsgTextFileMissing = "字幕文本不存在，请检查。";
// A timeline or text file the reader does not understand, followed by the
// file's name. Such a file is never loaded, so no save can overwrite it.
inline constexpr std::string_view MsgTimelineUndecodable = "时间轴文件的编码无法识别：";
inline constexpr std::string_view MsgTimelineWithoutTimeCodes = "时间轴文件里找不到时间码：";
inline constexpr std::string_view MsgTextFileUndecodable = "字幕文本的编码无法识别：";
// Shown after the WAV reader's own refusal.
inline constexpr std::string_view MsgWavFailed = "WAV文件读取失败，请检查。";

// A fresh timeline has this many free slots after its lines and texts.
inline constexpr int32_t SpareSlots = 256;

// What the screen's boxes and options hold.
struct LoadRequest {
    std::string VideoFileName, WavFileName, TimelineFileName, SubtitleTextFileName;
    float FrameRate = 0;
    bool NewTimeline = false, TextFromTxtFile = false, OneLinePerSubtitle = false;
};

struct LoadCallbacks {
    // The video's length in frames, measured by the main window's media
    // player; throws UserError (core/Errors.h) with a text to show.
    std::function<int32_t(const std::string& video)> videoLengthFrames;
    // The summary is about to be computed from the WAV: the screen shows its
    // label and progress bar.
    std::function<void()> summaryStarted;
    // 0..100 while the summary is computed; the screen moves the bar and repaints.
    std::function<void(int percent)> progress;
};

struct LoadOutcome {
    bool ok = false;
    std::vector<std::string> messages;  // UTF-8, shown one after the other
    bool summaryShown = false;          // the label and bar stay visible after a WAV failure
};

// Where the summary of the WAV box's file is looked for: its companion
// "ws", or the name itself when it is a summary; nothing for an empty box.
std::string summaryNameFor(const std::string& wavFileName);

// The timeline array a load builds: a slot per time code and text read (at
// least sizingCount), the spare free slots after them, the frames worked
// out at frameRate, and the tidy pass run over the time codes.
TimelineArray buildTimeline(const std::vector<SrtTimeCode>& times, const std::vector<std::u16string>& texts,
                            int64_t sizingCount, float frameRate);

// The load. The request's file names go into state at once (with the summary
// name derived from the WAV name); the timeline, counts, summary, marks,
// encoding, video length and NextPage = Page::Editor are written only when the whole
// load succeeded. A failure leaves the previous project in state, reports
// its text(s) in the outcome, and has closed every file it opened.
LoadOutcome loadProject(const LoadRequest& request, ProjectState& state, const LoadCallbacks& callbacks);

}  // namespace vt
