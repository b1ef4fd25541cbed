// The project state: everything one screen hands on to the next.
// Plain process-wide data, read and written directly by the screens; the
// logic functions take the pieces they work on as arguments instead (the
// timeline's as a TimelineState), so that tests can drive them on a state of
// their own and the undo history can take their changes back on the same
// pieces.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// A slot whose two frames hold this value is free.
inline constexpr int32_t FreeSlotFrame = 999999;

// The two characters that stand for a line break in a subtitle's text: the
// user types them, the readers put them where a block's lines meet, and the
// writer turns them back into lines.
inline constexpr std::u16string_view LineBreak = u"^p";

struct TimelineEntry {
    int32_t StartFrame = 0;  // first frame on which the subtitle is shown
    int32_t EndFrame = 0;    // last frame on which it is shown (inclusive)
    std::u16string Text;     // "^p" stands for a line break
    // The event of an ASS or WebVTT timeline file this time code was read
    // from (its index in the file's events, core/SubtitleDocument.h), so
    // that a save keeps the event's style, layer, cue settings and the rest;
    // NewEvent for one made here, and in an SRT timeline. It belongs to the
    // time column: it moves with the time code when lines are inserted,
    // deleted or undone.
    int32_t Source = NewEvent;
    static constexpr int32_t NewEvent = -1;

    bool isFree() const { return StartFrame == FreeSlotFrame && EndFrame == FreeSlotFrame; }
};

using TimelineArray = std::vector<TimelineEntry>;

// Where speech is heard in the film's sound: from the frame on which it
// begins to the frame on which it ends, both included.
struct SpeechFrames {
    int32_t StartFrame = 0;
    int32_t EndFrame = 0;

    friend bool operator==(const SpeechFrames&, const SpeechFrames&) = default;
};
using SpeechFrameList = std::vector<SpeechFrames>;
using ByteArray = std::vector<uint8_t>;

// How a text file was (or is to be) encoded on disk; kept so that a timeline
// is written back the way it was read.
enum class TextEncoding : uint8_t {
    Undecided,  // pure ASCII or nothing read yet: the locale's code set is used
    Utf8,
    Gbk,        // read as GB18030, its superset
    Utf16LE,
    Utf16BE,
    Utf32LE,
    Utf32BE,
    Windows1252,  // 8-bit Western text that is neither UTF-8 nor GB18030
};

struct FileEncoding {
    TextEncoding encoding = TextEncoding::Undecided;
    bool bom = false;  // before 8-bit text, the UTF-8 mark

    bool operator==(const FileEncoding&) const = default;
};

// The rules the delivery checks hold a timeline to (core/DeliveryChecks.h):
// the common ones for Chinese subtitles until the user sets others on the
// file-tools screen. Characters are full-width ones; a half-width one counts
// half.
struct DeliveryRules {
    int32_t MaxSpeedTenths = 90;      // 9 characters a second
    int32_t MaxLineCharacters = 16;
    int32_t MaxLines = 2;
    int32_t MinFrames = 20;           // 5/6 s at 24 fps
    int32_t MaxSecondsTenths = 70;    // 7 s
    int32_t MinGapFrames = 2;
    int32_t CloseGapFrames = 12;      // a gap this small or smaller is closed to MinGapFrames

    friend bool operator==(const DeliveryRules&, const DeliveryRules&) = default;
};

// The screens the page loop can show next, as NextPage holds them.
namespace Page {
enum Number : int8_t {
    Quit = 0,                 // the page loop ends, and the program with it
    OpenAfterConversion = 1,  // the open-project screen, after a frame-rate conversion
    OpenProject = 2,
    Editor = 3,
    FileTools = 4,
};
}  // namespace Page

struct TimelineDocument;  // core/TimelineText.h

struct ProjectState {
    // File names are kept as the system's own (UTF-8) paths.
    std::string VideoFileName;
    std::string WavFileName;
    std::string WaveSummaryFileName;
    std::string TimelineFileName;
    std::string SubtitleTextFileName;

    float FrameRate = 0.0f;     // 0 = not measured yet
    float NewFrameRate = 0.0f;
    int32_t VideoLengthFrames = 0;
    int32_t PlayPosition = 0;

    TimelineArray Timeline;
    int32_t TimelineCount = 0;
    int32_t TextCount = 0;
    ByteArray WaveSummary;      // pairs of signed bytes (high, low) per 10 ms
    ByteArray WaveMarks;        // one per summary byte: 1 where a timed line covers it
    // The summary is the placeholder while the film's own sound track is
    // summarised in the background; the editor fills it in as it comes.
    bool FilmSoundPending = false;
    // Speech in the sound (the WAV, or the film's own track), in order;
    // empty until found, and for sound without speech. SpeechSoundFile and
    // SpeechFrameRate name the sound they were found in and the rate they
    // were counted at; empty while none are.
    SpeechFrameList SpeechSpans;
    std::string SpeechSoundFile;
    float SpeechFrameRate = 0.0f;
    // The film's cuts (each the first frame of a new shot), in order, where
    // the pictures have been looked at; elsewhere the container's key frames
    // stand in for them (ShotKeyFrames) until they are. ShotChangesFile and
    // ShotChangesFrameRate name the film and the rate they were counted at;
    // empty while the search is under way.
    std::vector<int32_t> ShotChanges;
    std::vector<int32_t> ShotKeyFrames;
    std::string ShotChangesFile;
    float ShotChangesFrameRate = 0.0f;

    bool TextFromTxtFile = false;
    bool OneLinePerSubtitle = false;
    bool NewTimeline = false;
    bool MouseOverWave = false;

    // the editor's remembered controls
    int8_t StepSizeIndex = 1;
    int8_t WaveScale = 0;
    bool EditTimes = true;
    bool EditTexts = true;
    bool SnapToCuts = false;    // off until the user turns it on
    int32_t EditorLeft = -1;    // -1: no window rectangle remembered yet
    int32_t EditorTop = -1;
    int32_t EditorWidth = -1;
    int32_t EditorHeight = -1;

    // the file tools' remembered controls
    int8_t ToolRangeIndex = 1;
    bool MergeOnTop = false;
    DeliveryRules Rules;

    int8_t NextPage = Page::OpenProject;  // a Page::Number

    // The encoding the timeline file was read in, so that saving keeps it.
    FileEncoding TimelineEncoding;
    // The timeline file as read when it is ASS/SSA or WebVTT: a save writes
    // that file back with the timeline's changes. Null for SRT.
    std::shared_ptr<const TimelineDocument> TimelineFileDocument;
};

// The one project of this run.
extern ProjectState Project;

// Start-up reset of the main window: every value back to its initial one.
void resetProjectState(ProjectState& state);

}  // namespace vt
