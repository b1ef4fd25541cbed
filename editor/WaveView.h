// The waveform strip and the labels around it, as data: what one refresh of
// the editor shows for a play position. The window paints the columns and
// sets the labels; it computes nothing itself.
#pragma once

#include "core/ProjectState.h"
#include "editor/EditorState.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Subtitle label text when there is no current line.
inline constexpr std::u16string_view NoSubtitleText = u" -*- -*- -*- 无 字 幕 -*- -*- -*- ";

inline constexpr int32_t WaveStripHeight = 128;
inline constexpr int32_t WaveBaseline = 64;   // y of the zero line
inline constexpr int32_t EnvelopeMax = 127;

// Colours are 0xRRGGBB.
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// The font of the subtitle label: large black type while the play position
// lies inside the current line, small grey type otherwise.
struct LabelFont {
    std::string_view Name;  // UTF-8
    int32_t PointSize;
    uint32_t Colour;
    friend bool operator==(const LabelFont&, const LabelFont&) = default;
};
inline constexpr LabelFont InsideLineFont{"黑体", 18, rgb(0, 0, 0)};
inline constexpr LabelFont OutsideLineFont{"宋体", 10, rgb(160, 160, 164)};

// How a column is coloured. The cursor band (the play position's column and
// one on each side) comes first; elsewhere the current line, then any timed
// line, then nothing.
enum class ColumnClass : uint8_t { NearMarked, Near, Inside, Marked, Plain };

struct ColumnPalette {
    uint32_t soundBackground;   // column with sound
    uint32_t silentBackground;  // column whose highest value is not above its lowest
    bool followsEnvelope;       // the envelope is added to green and blue of both backgrounds
    uint32_t wave;
};

// The palette of each class, indexed by ColumnClass.
const ColumnPalette& columnPalette(ColumnClass c);

// Rows From .. To-1 of a column in one colour.
struct WaveSegment {
    int16_t From = 0;
    int16_t To = 0;
    uint32_t Colour = 0;
    friend bool operator==(const WaveSegment&, const WaveSegment&) = default;
};

// A column with sound has three segments (background above the wave, the
// wave, background below), cut to the strip, so some may be empty; a silent
// column, or one past the end of the summary, has one from top to bottom.
struct WaveColumn {
    std::array<WaveSegment, 3> Segments{};
    uint8_t SegmentCount = 0;
};

// One refresh (TimerForWavTimer), with P the player's position:
//   view.WaveWidth := PaintBoxWav's width;
//   CurrentLine := GetCurrLineNumb(Timeline, TimelineCount, WaveMarks, FrameRate, view, P);
//   picture := ShowWav({WaveSummary, WaveMarks, Timeline, TimelineCount, FrameRate, P,
//                       CurrentLine, TrackBar2's position}, view);
// then paint the picture's columns and set the labels from it.
struct WaveViewInput {
    const ByteArray& WaveSummary;
    const ByteArray& WaveMarks;
    const TimelineArray& Timeline;
    int32_t TimelineCount = 0;
    float FrameRate = 25.0f;
    int32_t PlayPosition = 0;   // frames
    int32_t CurrentLine = -1;   // as the lookup found it; a free slot counts as none
    int32_t WaveScale = 0;      // TrackBar2 position, -10 .. 10
    const SpeechFrameList* Speech = nullptr;  // speech found in the sound, in order; none: no band
    const std::vector<int32_t>* Cuts = nullptr;       // the film's cuts found so far, in order
    const std::vector<int32_t>* KeyFrames = nullptr;  // marks standing in for cuts not looked for yet
    const DeliveryRules* Rules = nullptr;  // the current line's reading speed and problems; none: not shown
};

// Columns first .. last (both included) of the strip under which speech is heard.
struct ColumnRun {
    int32_t First = 0;
    int32_t Last = 0;
    friend bool operator==(const ColumnRun&, const ColumnRun&) = default;
};

// What the window paints and shows; the view's position and the current
// line's extent go to the WaveViewState instead.
struct WavePicture {
    int32_t PlayIndex = 0;         // play position as an even summary index
    std::string LabelTime;         // HH:MM:SS,mmm of the play position
    std::u16string LabeltxtText;   // stored text ("^p" shows as is) or NoSubtitleText
    bool ShowTimeLabels = false;   // LabelTimeIn, LabelArrow, LabelTimeOut
    std::string LabelTimeIn;
    std::string LabelTimeOut;
    // the current line's reading speed and, when it breaks a rule, the most
    // serious reason (all of them in LabelReadingAll); empty with no current line
    std::string LabelReading;
    std::string LabelReadingAll;
    bool ReadingBreaksRule = false;
    LabelFont LabeltxtFont = OutsideLineFont;
    std::vector<WaveColumn> Columns;
    std::vector<ColumnRun> SpeechColumns;  // the band drawn along the strip's top edge
    std::vector<int32_t> CutColumns;       // a thin line across the strip at each cut
    std::vector<int32_t> KeyFrameColumns;  // fainter lines where cuts are still being looked for
};

// Gain of the waveform for a TrackBar2 position (float, as drawn).
float waveGain(int32_t waveScale);

// What one column adds to the envelope before the -16: 0 for n <= 0, 16 for
// 1, 24 for 2..3, 28 for 4..7, 30 for 8..15, 31 for 16 and more.
int32_t envelopeRise(int32_t n);

// The whole refresh, view.WaveWidth columns wide. Writes the view's start and
// the current line's in- and out-point (rounded to summary indices, -1 with
// no current line) into view, where the mouse-button commands and the next
// lookup read them. A summary shorter than two bytes per column starts the
// view at 0 and leaves the columns past its end black. Throws
// std::invalid_argument for a frame rate that is not positive, leaving view
// as it was.
WavePicture ShowWav(const WaveViewInput& in, WaveViewState& view);

}  // namespace vt
