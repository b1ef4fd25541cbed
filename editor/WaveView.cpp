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

// Column x shows summary index start + 2x.
std::vector<ColumnRun> speechColumns(const SpeechFrameList& speech, float frameRate, int64_t start, int32_t width)
{
    std::vector<ColumnRun> runs;
    const int64_t end = start + 2 * int64_t(width);  // first index past the strip
    for (const SpeechFrames& span : speech) {
        const int64_t from = summaryIndexOfFrame(span.StartFrame, frameRate);
        const int64_t to = summaryIndexOfFrame(span.EndFrame, frameRate);
        if (to < start || from >= end)
            continue;
        const int32_t first = int32_t((std::max(from, start) - start) / 2);
        const int32_t last = int32_t((std::min(to, end - 1) - start) / 2);
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
        const int64_t column = (int64_t(summaryIndexOfFrame(*it, frameRate)) - start) / 2;
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
    for (int32_t k = 16; n > 0; n /= 2, k /= 2)
        rise += k;
    return rise;
}

WavePicture ShowWav(const WaveViewInput& in, WaveViewState& view)
{
    requirePositiveFrameRate(in.FrameRate);
    WavePicture pic;
    const int32_t width = std::max(view.WaveWidth, 0);
    int32_t inIndex = -1;
    int32_t outIndex = -1;

    pic.LabelTime = FrameToTime(in.PlayPosition, in.FrameRate);
    const int32_t line = in.CurrentLine;
    if (line >= 0 && line < in.TimelineCount && size_t(line) < in.Timeline.size()) {
        const TimelineEntry& entry = in.Timeline[size_t(line)];
        pic.LabeltxtText = entry.Text;
        pic.LabelTimeIn = FrameToTime(entry.StartFrame, in.FrameRate);
        pic.LabelTimeOut = FrameToTime(entry.EndFrame, in.FrameRate);
        inIndex = roundedIndex(entry.StartFrame, in.FrameRate);
        outIndex = roundedIndex(entry.EndFrame, in.FrameRate);
        pic.ShowTimeLabels = true;
        if (in.Rules) {
            const LineCheck check = checkLine(in.Timeline, in.TimelineCount, line, in.FrameRate, *in.Rules);
            const std::string reasons = problemText(check.problems);
            pic.LabelReading = speedText(check.speedTenths);
            pic.LabelReadingAll = pic.LabelReading;
            if (check.problems) {
                pic.LabelReading += " " + reasons.substr(0, reasons.find("、"));
                pic.LabelReadingAll += " " + reasons;
            }
            pic.ReadingBreaksRule = check.problems != 0;
        }
    } else {
        pic.LabeltxtText = NoSubtitleText;
    }

    int32_t p = roundedIndex(in.PlayPosition, in.FrameRate);
    if (p % 2 != 0)
        ++p;
    pic.PlayIndex = p;

    const int64_t length = int64_t(in.WaveSummary.size());
    const bool fullStrip = length >= 2 * int64_t(width);
    int64_t s = 0;
    if (fullStrip) {
        s = std::max<int64_t>(int64_t(p) - width, 0);
        s = std::min<int64_t>(s, length - 2 * int64_t(width));
        if (s % 2 != 0)
            ++s;
    }
    view.WaveViewStart = int32_t(s);
    view.CurrentInIndex = inIndex;
    view.CurrentOutIndex = outIndex;

    const float gain = waveGain(in.WaveScale);
    pic.LabeltxtFont = (inIndex <= p && p <= outIndex) ? InsideLineFont : OutsideLineFont;

    pic.Columns.resize(size_t(width));
    const uint8_t* summary = in.WaveSummary.data();
    const ByteArray& marks = in.WaveMarks;
    int32_t envelope = 0;
    int64_t r = s;
    for (int32_t x = 0; x < width; ++x) {
        WaveColumn& column = pic.Columns[size_t(x)];
        if (r + 1 >= length) {
            // only a summary shorter than the strip runs out before the last column
            column.Segments[0] = {0, int16_t(WaveStripHeight), rgb(0, 0, 0)};
            column.SegmentCount = 1;
            r += 2;
            continue;
        }
        const int32_t hi = int8_t(summary[r]);
        const int32_t lo = int8_t(summary[r + 1]);
        const int32_t d = hi - lo;

        envelope = std::clamp(envelope + envelopeRise(scaled(d, gain)) - 16, 0, EnvelopeMax);

        const bool near = std::abs(r - p) < 4;
        const bool marked = coveredAt(marks, r);
        ColumnClass cls;
        if (near)
            cls = marked ? ColumnClass::NearMarked : ColumnClass::Near;
        else if (inIndex <= r && r <= outIndex)
            cls = ColumnClass::Inside;
        else
            cls = marked ? ColumnClass::Marked : ColumnClass::Plain;
        const ColumnPalette& palette = Palettes[size_t(cls)];
        const uint32_t lift = palette.followsEnvelope ? rgb(0, uint32_t(envelope), uint32_t(envelope)) : 0;

        if (d > 0) {
            const int16_t top = stripRow(WaveBaseline - scaled(hi, gain));
            const int16_t bottom = stripRow(WaveBaseline - scaled(lo, gain));
            const uint32_t background = palette.soundBackground + lift;
            column.Segments[0] = {0, top, background};
            column.Segments[1] = {top, bottom, palette.wave};
            column.Segments[2] = {bottom, int16_t(WaveStripHeight), background};
            column.SegmentCount = 3;
        } else {
            column.Segments[0] = {0, int16_t(WaveStripHeight), palette.silentBackground + lift};
            column.SegmentCount = 1;
        }

        r += 2;
        if (fullStrip)
            r = std::min<int64_t>(r, length - 2);
    }
    if (in.Speech)
        pic.SpeechColumns = speechColumns(*in.Speech, in.FrameRate, s, width);
    if (in.Cuts)
        pic.CutColumns = frameColumns(*in.Cuts, in.FrameRate, s, width);
    if (in.KeyFrames)
        pic.KeyFrameColumns = frameColumns(*in.KeyFrames, in.FrameRate, s, width);
    return pic;
}

}  // namespace vt
