#include "editor/WaveView.h"

#include "core/Coverage.h"
#include "core/DeliveryChecks.h"
#include "core/FrameRate.h"
#include "core/TimeStrings.h"

#include <algorithm>
#include <cmath>

namespace vt {

namespace {

constexpr std::array<ColumnPalette, 5> Palettes{{
    /* NearMarked */ {rgb(32, 96, 128), rgb(64, 96, 128), true, rgb(64, 255, 64)},
    /* Near       */ {rgb(0, 0, 32), rgb(0, 32, 64), true, rgb(64, 191, 64)},
    /* Inside     */ {rgb(191, 191, 128), rgb(191, 191, 128), false, rgb(32, 128, 32)},
    /* Marked     */ {rgb(96, 96, 80), rgb(96, 96, 80), false, rgb(32, 128, 32)},
    /* Plain      */ {rgb(0, 0, 0), rgb(0, 0, 0), false, rgb(32, 128, 32)},
}};

// A column shows one pair of the summary: the highest and the lowest sample
// of its 1/200 s.
constexpr int32_t IndicesPerColumn = 2;

// Summary indices nearer the play position than this lie in the cursor band:
// the play position's column and the one on each side.
constexpr int64_t CursorBandReach = 2 * IndicesPerColumn;

// What the envelope loses on every column; envelopeRise gives back as much
// for the faintest sound, so a whisper holds it where it is.
constexpr int32_t EnvelopeFall = 16;
// What the first bit of a column's loudness adds to the envelope; each
// further bit adds half the one before.
constexpr int32_t EnvelopeFirstRise = 16;

// The columns past the end of a summary shorter than the strip.
constexpr uint32_t PastSummaryColour = rgb(0, 0, 0);

// Between the reading speed and the rule the line breaks.
constexpr std::string_view ReadingSeparator = " ";

int32_t roundedIndex(int32_t frame, float frameRate)
{
    return int32_t(std::trunc(double(frame) * SummaryIndicesPerSecond / double(frameRate) + 0.5));
}

int16_t stripRow(int32_t y)
{
    return int16_t(std::clamp(y, 0, WaveStripHeight));
}

int32_t scaled(int32_t value, float gain)
{
    return int32_t(std::trunc(double(value) * double(gain)));
}

// ---- the labels ----

// The current line's entry, or none when the lookup found none or a slot
// past the used ones.
const TimelineEntry* currentEntry(const WaveViewInput& in)
{
    const int32_t line = in.CurrentLine;
    if (line >= 0 && line < in.TimelineCount && size_t(line) < in.Timeline.size())
        return &in.Timeline[size_t(line)];
    return nullptr;
}

// The current line's in- and out-point as summary indices, both -1 with no
// current line.
struct LineExtent {
    int32_t In = -1;
    int32_t Out = -1;
    bool holds(int64_t index) const { return In <= index && index <= Out; }
};

LineExtent extentOf(const TimelineEntry* entry, float frameRate)
{
    if (!entry)
        return {};
    return {roundedIndex(entry->StartFrame, frameRate), roundedIndex(entry->EndFrame, frameRate)};
}

// The current line's reading speed, and the most serious rule it breaks
// (every one of them in LabelReadingAll).
void setReadingLabels(const WaveViewInput& in, const DeliveryRules& rules, WavePicture& pic)
{
    const LineCheck check = checkLine(in.Timeline, in.TimelineCount, in.CurrentLine, in.FrameRate, rules);
    const std::string reasons = problemText(check.problems);
    pic.LabelReading = speedText(check.speedTenths);
    pic.LabelReadingAll = pic.LabelReading;
    if (check.problems) {
        pic.LabelReading += std::string(ReadingSeparator) + reasons.substr(0, reasons.find(ProblemSeparator));
        pic.LabelReadingAll += std::string(ReadingSeparator) + reasons;
    }
    pic.ReadingBreaksRule = check.problems != 0;
}

// The play position's time and, for the current line, its text, in- and
// out-point and reading; the placeholder text without one.
void setLabels(const WaveViewInput& in, const TimelineEntry* entry, WavePicture& pic)
{
    pic.LabelTime = FrameToTime(in.PlayPosition, in.FrameRate);
    if (!entry) {
        pic.LabeltxtText = NoSubtitleText;
        return;
    }
    pic.LabeltxtText = entry->Text;
    pic.LabelTimeIn = FrameToTime(entry->StartFrame, in.FrameRate);
    pic.LabelTimeOut = FrameToTime(entry->EndFrame, in.FrameRate);
    pic.ShowTimeLabels = true;
    if (in.Rules)
        setReadingLabels(in, *in.Rules, pic);
}

// The subtitle stands out while the play position lies inside its line.
const LabelFont& labelFont(int32_t playIndex, LineExtent line)
{
    return line.holds(playIndex) ? InsideLineFont : OutsideLineFont;
}

// ---- the strip's placement ----

// The play position as the summary index its column starts at: rounded to
// the nearest index, then up to an even one.
int32_t playIndexOf(int32_t frame, float frameRate)
{
    int32_t p = roundedIndex(frame, frameRate);
    if (p % IndicesPerColumn != 0)
        ++p;
    return p;
}

// Whether the summary fills the strip; a shorter one is shown from its
// start and leaves the columns past its end black.
bool fillsStrip(int64_t summaryLength, int32_t width)
{
    return summaryLength >= int64_t(width) * IndicesPerColumn;
}

// The summary index column 0 shows: the play position in the middle column,
// held inside the summary, made even.
int64_t stripStart(int32_t playIndex, int64_t summaryLength, int32_t width)
{
    if (!fillsStrip(summaryLength, width))
        return 0;
    const int64_t stripIndices = int64_t(width) * IndicesPerColumn;
    int64_t s = std::max<int64_t>(int64_t(playIndex) - stripIndices / 2, 0);
    s = std::min<int64_t>(s, summaryLength - stripIndices);
    if (s % IndicesPerColumn != 0)
        ++s;
    return s;
}

// ---- the columns' colours ----

// The cursor band first; elsewhere the current line, then any timed line.
ColumnClass classOf(int64_t index, int32_t playIndex, LineExtent line, const ByteArray& marks)
{
    const bool marked = coveredAt(marks, index);
    if (std::abs(index - playIndex) < CursorBandReach)
        return marked ? ColumnClass::NearMarked : ColumnClass::Near;
    if (line.holds(index))
        return ColumnClass::Inside;
    return marked ? ColumnClass::Marked : ColumnClass::Plain;
}

// The envelope after a column whose highest and lowest values lie
// `spread` apart.
int32_t nextEnvelope(int32_t envelope, int32_t spread, float gain)
{
    return std::clamp(envelope + envelopeRise(scaled(spread, gain)) - EnvelopeFall, 0, EnvelopeMax);
}

WaveColumn oneColour(uint32_t colour)
{
    WaveColumn column;
    column.Segments[0] = {0, int16_t(WaveStripHeight), colour};
    column.SegmentCount = 1;
    return column;
}

// A column of the summary: the wave from its highest to its lowest value
// over the background, or the silent background alone.
WaveColumn paintColumn(int32_t hi, int32_t lo, const ColumnPalette& palette, int32_t envelope, float gain)
{
    // the cursor band brightens as the sound swells
    const uint32_t lift = palette.followsEnvelope ? rgb(0, uint32_t(envelope), uint32_t(envelope)) : 0;
    if (hi <= lo)
        return oneColour(palette.silentBackground + lift);
    const int16_t top = stripRow(WaveBaseline - scaled(hi, gain));
    const int16_t bottom = stripRow(WaveBaseline - scaled(lo, gain));
    const uint32_t background = palette.soundBackground + lift;
    WaveColumn column;
    column.Segments[0] = {0, top, background};
    column.Segments[1] = {top, bottom, palette.wave};
    column.Segments[2] = {bottom, int16_t(WaveStripHeight), background};
    column.SegmentCount = 3;
    return column;
}

// The strip's columns from summary index `start`. A strip the summary fills
// holds its last columns at the summary's last pair, so an odd length never
// reads past the end.
std::vector<WaveColumn> stripColumns(const WaveViewInput& in, int64_t start, int32_t width, int32_t playIndex,
                                     LineExtent line)
{
    std::vector<WaveColumn> columns(static_cast<size_t>(width));
    const uint8_t* summary = in.WaveSummary.data();
    const int64_t length = int64_t(in.WaveSummary.size());
    const bool full = fillsStrip(length, width);
    const float gain = waveGain(in.WaveScale);
    int32_t envelope = 0;
    int64_t r = start;
    for (int32_t x = 0; x < width; ++x) {
        if (r + 1 >= length) {
            // only a summary shorter than the strip runs out before the last column
            columns[size_t(x)] = oneColour(PastSummaryColour);
        } else {
            const int32_t hi = int8_t(summary[r]);
            const int32_t lo = int8_t(summary[r + 1]);
            envelope = nextEnvelope(envelope, hi - lo, gain);
            const ColumnPalette& palette = Palettes[size_t(classOf(r, playIndex, line, in.WaveMarks))];
            columns[size_t(x)] = paintColumn(hi, lo, palette, envelope, gain);
        }
        r += IndicesPerColumn;
        if (full)
            r = std::min<int64_t>(r, length - IndicesPerColumn);
    }
    return columns;
}

// Column x shows summary index start + IndicesPerColumn x.
std::vector<ColumnRun> speechColumns(const SpeechFrameList& speech, float frameRate, int64_t start, int32_t width)
{
    std::vector<ColumnRun> runs;
    const int64_t end = start + IndicesPerColumn * int64_t(width);  // first index past the strip
    for (const SpeechFrames& span : speech) {
        const int64_t from = summaryIndexOfFrame(span.StartFrame, frameRate);
        const int64_t to = summaryIndexOfFrame(span.EndFrame, frameRate);
        if (to < start || from >= end)
            continue;
        const int32_t first = int32_t((std::max(from, start) - start) / IndicesPerColumn);
        const int32_t last = int32_t((std::min(to, end - 1) - start) / IndicesPerColumn);
        if (first > last)
            continue;
        if (!runs.empty() && first <= runs.back().Last + 1)
            runs.back().Last = std::max(runs.back().Last, last);
        else
            runs.push_back({first, last});
    }
    return runs;
}

// The columns showing the frames, each once.
std::vector<int32_t> frameColumns(const std::vector<int32_t>& frames, float frameRate, int64_t start, int32_t width)
{
    std::vector<int32_t> columns;
    // the strip starts at an index of its own, so never more than 32 bits
    const int32_t firstFrame = frameOfSummaryIndex(int32_t(start), frameRate);
    for (auto it = std::lower_bound(frames.begin(), frames.end(), firstFrame); it != frames.end(); ++it) {
        const int64_t column = (int64_t(summaryIndexOfFrame(*it, frameRate)) - start) / IndicesPerColumn;
        if (column >= width)
            break;
        if (column >= 0 && (columns.empty() || columns.back() != column))
            columns.push_back(int32_t(column));
    }
    return columns;
}

}  // namespace

const ColumnPalette& columnPalette(ColumnClass c)
{
    return Palettes[size_t(c)];
}

float waveGain(int32_t waveScale)
{
    return waveScale > 0 ? float(0.5 - waveScale / 25.0) : float(0.5 - waveScale / 3.0);
}

int32_t envelopeRise(int32_t n)
{
    int32_t rise = 0;
    for (int32_t k = EnvelopeFirstRise; n > 0; n /= 2, k /= 2)
        rise += k;
    return rise;
}

WavePicture ShowWav(const WaveViewInput& in, WaveViewState& view)
{
    requirePositiveFrameRate(in.FrameRate);
    WavePicture pic;
    const int32_t width = std::max(view.WaveWidth, 0);
    const TimelineEntry* entry = currentEntry(in);
    const LineExtent line = extentOf(entry, in.FrameRate);
    setLabels(in, entry, pic);

    pic.PlayIndex = playIndexOf(in.PlayPosition, in.FrameRate);
    const int64_t start = stripStart(pic.PlayIndex, int64_t(in.WaveSummary.size()), width);
    view.WaveViewStart = int32_t(start);
    view.CurrentInIndex = line.In;
    view.CurrentOutIndex = line.Out;

    pic.LabeltxtFont = labelFont(pic.PlayIndex, line);
    pic.Columns = stripColumns(in, start, width, pic.PlayIndex, line);
    if (in.Speech)
        pic.SpeechColumns = speechColumns(*in.Speech, in.FrameRate, start, width);
    if (in.Cuts)
        pic.CutColumns = frameColumns(*in.Cuts, in.FrameRate, start, width);
    if (in.KeyFrames)
        pic.KeyFrameColumns = frameColumns(*in.KeyFrames, in.FrameRate, start, width);
    return pic;
}

}  // namespace vt
