#include "opening/Loader.h"

#include "core/Coverage.h"
#include "core/FileIO.h"
#include "core/KnownContents.h"
#include "core/SrtReader.h"
#include "core/TimelineWriter.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/WaveSummary.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

namespace vt {

namespace {

// The first refusal of the checks made before any file is read.
std::optional<std::string_view> refusalOf(const LoadRequest& request)
{
    if (!fileExists(request.VideoFileName))
        return MsgVideoMissing;
    // also turns away a rate that is not a number: every conversion divides by it
    if (!(request.FrameRate > 0.0f) || !std::isfinite(request.FrameRate))
        return MsgFrameRateUnknown;
    if (!request.NewTimeline && !fileExists(request.TimelineFileName))
        return request.TextFromTxtFile ? MsgTimelineMissing : MsgSubtitleFileMissing;
    if (request.TextFromTxtFile && !fileExists(request.SubtitleTextFileName))
        return MsgTextFileMissing;
    return std::nullopt;
}

// What the timeline files hold, read before anything is changed.
struct TimelineRead {
    std::vector<SrtTimeCode> times;  // milliseconds
    std::vector<std::u16string> texts;
    int32_t sizingCount = 0;  // max(time lines, the text file's lines or blank lines)
    FileEncoding encoding;    // to save the timeline in
    bool startsEmpty = false; // a new timeline: the file is rewritten to newTimelineText
    FileEncoding srtEncoding;
    std::string srtBytes;     // as read: a save asks before replacing anything else
    // an ASS/SSA or WebVTT timeline: the file, which a save writes back
    std::optional<SubtitleDocument> document;
};

[[noreturn]] void refuseFile(std::string_view message, const std::string& path)
{
    throw UserError(std::string(message) + shownName(path));
}

// What a new timeline's empty file starts as: a WebVTT or ASS file when its
// name says so, so that the first save writes that format into it; else
// one empty line (SRT).
std::u16string newTimelineText(const std::string& fileName)
{
    std::string ending = std::filesystem::path(fileName).extension().string();
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ending == ".vtt")
        return u"WEBVTT\r\n\r\n";
    if (ending == ".ass" || ending == ".ssa")
        return u"[Script Info]\r\n"
               u"ScriptType: v4.00+\r\n"
               u"PlayResX: 1920\r\n"
               u"PlayResY: 1080\r\n"
               u"\r\n"
               u"[V4+ Styles]\r\n"
               u"Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, "
               u"Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, "
               u"Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
               u"Style: Default,Noto Sans CJK SC,60,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,"
               u"1,2,1,2,20,20,40,1\r\n"
               u"\r\n"
               u"[Events]\r\n"
               u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
    return u"\r\n";
}

TimelineRead readTimelineFiles(const LoadRequest& request)
{
    TimelineRead read;
    TextFile srt;
    if (fileExists(request.TimelineFileName)) {
        read.srtBytes = readWholeFile(request.TimelineFileName);
        srt = decodeTextFile(read.srtBytes);
    }
    read.srtEncoding = srt.encoding;
    // ASS/SSA and WebVTT are told by what the file holds, whatever its name
    read.document = documentOf(read.srtBytes, srt);
    if (read.document) {
        for (const DocumentEvent& event : read.document->events()) {
            read.times.push_back(SrtTimeCode{event.StartMs, event.EndMs});
            if (!request.TextFromTxtFile)
                read.texts.push_back(event.Text);
        }
    }
    // A new timeline's file was just created empty. One that holds anything
    // is not that file (another name was typed since, or it was written
    // elsewhere): emptying it would destroy a timeline, so it is read instead.
    read.startsEmpty = request.NewTimeline && srt.decodable && std::all_of(srt.lines.begin(), srt.lines.end(),
                                                          [](const auto& line) { return isBlankLine(line); });
    if (!read.startsEmpty && !read.document) {
        // Whatever is not a timeline (a binary file, text in no encoding the
        // reader knows) would load as an empty one, and the first save
        // would wipe the file: it is turned away instead. An empty or blank
        // file is an empty timeline.
        if (!srt.decodable)
            refuseFile(MsgTimelineUndecodable, request.TimelineFileName);
        if (countTimeLines(srt.lines) == 0 && !std::all_of(srt.lines.begin(), srt.lines.end(),
                                                           [](const auto& line) { return isBlankLine(line); }))
            refuseFile(MsgTimelineWithoutTimeCodes, request.TimelineFileName);
        read.times = readSrtTimeCodes(srt.lines);
    }
    int32_t textSizing = 0;
    TextFile txt;
    if (request.TextFromTxtFile) {
        txt = readTextFile(request.SubtitleTextFileName);
        if (!txt.decodable)
            refuseFile(MsgTextFileUndecodable, request.SubtitleTextFileName);
        read.texts = readTxtTexts(txt.lines, request.OneLinePerSubtitle);
        textSizing = countTxtSubtitles(txt.lines, request.OneLinePerSubtitle);
    } else if (!read.startsEmpty && !read.document) {
        read.texts = readSrtTexts(srt.lines);
    }
    const int32_t timeLines = read.document ? int32_t(read.times.size()) : countTimeLines(srt.lines);
    read.sizingCount = std::max(timeLines, textSizing);
    read.encoding = timelineEncoding(srt.encoding, request.TextFromTxtFile ? &txt.encoding : nullptr);
    return read;
}

struct SummaryRead {
    ByteArray summary;
    std::optional<int32_t> videoLengthFrames;   // measured only for the placeholder
    std::vector<std::string> refusal;           // the WAV reader turned the file away
    bool filmSoundPending = false;              // the placeholder, until the film's own sound is summarised
};

// Whether a ".ws" can be the summary of the WAV beside it. An empty one never
// is: the editor would get a strip with nothing to stand on. Otherwise its
// length must be the one the WAV's sound gives; a WAV the reader cannot
// summarise gives nothing to compare with, and the ".ws" may be all there is.
bool summaryFitsWav(const ByteArray& summary, const std::string& wavFileName)
{
    if (summary.empty())
        return false;
    std::optional<uint64_t> expected;
    try {
        expected = summaryBytesOfWav(wavFileName);
    } catch (const FileError&) {
        return true;
    }
    return !expected || *expected == summary.size();
}

SummaryRead obtainSummary(const LoadRequest& request, const std::string& wsFileName,
                          const LoadCallbacks& callbacks, LoadOutcome& outcome)
{
    SummaryRead read;
    const bool wavBeside = !isWaveSummaryName(request.WavFileName) && fileExists(request.WavFileName);
    if (fileExists(wsFileName)) {
        ByteArray stored;
        try {
            stored = readWaveSummaryFile(wsFileName);
        } catch (const FileError&) {
            // with its WAV beside, a ".ws" that cannot be read is a cache that cannot be used: the WAV gives the
            // summary again; alone, it is all there is, and its error is the load's
            if (!wavBeside)
                throw;
        }
        // a ".ws" of another sound, or one cut short, is rebuilt like a damaged cache
        if (wavBeside ? summaryFitsWav(stored, request.WavFileName) : !stored.empty()) {
            read.summary = std::move(stored);
            return read;
        }
    }
    if (wavBeside) {
        // the summary an earlier opening kept in the cache folder, where none could be written beside the WAV
        if (std::optional<ByteArray> kept = readWaveSummaryCache(request.WavFileName);
            kept && summaryFitsWav(*kept, request.WavFileName)) {
            read.summary = std::move(*kept);
            return read;
        }
        outcome.summaryShown = true;
        if (callbacks.summaryStarted)
            callbacks.summaryStarted();
        WaveSummaryResult built = CreateWS(request.WavFileName, wsFileName, callbacks.progress);
        if (!built.built())
            read.refusal = {std::string(built.message()), std::string(MsgWavFailed)};
        // a WAV shorter than one 10 ms chunk has no waveform: the placeholder stands in
        if (!built.built() || !built.summary.empty()) {
            read.summary = std::move(built.summary);
            return read;
        }
    }
    if (!callbacks.videoLengthFrames)
        throw std::logic_error("no media player to measure the video's length");
    int32_t length = callbacks.videoLengthFrames(request.VideoFileName);
    read.videoLengthFrames = length;
    // a negative length from the player still gives the bare placeholder
    int64_t bytes = int64_t(std::max(summaryIndexOfFrame(length, request.FrameRate), 0)) + 600;
    // the film's own sound, summarised at an earlier opening of the same film
    if (std::optional<ByteArray> cached = readFilmSoundCache(filmSoundCacheFile(request.VideoFileName))) {
        read.summary = std::move(*cached);
        return read;
    }
    read.summary.assign(static_cast<size_t>(bytes), 0);
    CreateNullWS(read.summary);
    read.filmSoundPending = true;
    return read;
}

}  // namespace

// The sizing count normally covers what was read; when more was read (an
// SRT of paragraphs without time lines, say) the array grows to hold it all
// and still keeps its spare slots, instead of texts being dropped.
TimelineArray buildTimeline(const std::vector<SrtTimeCode>& times, const std::vector<std::u16string>& texts,
                            int64_t sizingCount, float frameRate)
{
    int64_t slots = sizingCount + SpareSlots;
    int64_t needed = int64_t(std::max(times.size(), texts.size()));
    if (needed > slots)
        slots = needed + SpareSlots;
    TimelineArray timeline(static_cast<size_t>(slots));
    for (size_t i = 0; i < timeline.size(); ++i) {
        TimelineEntry& slot = timeline[i];
        if (i < times.size()) {
            slot.StartFrame = MsToFrame(times[i].StartMs, frameRate);
            slot.EndFrame = MsToFrame(times[i].EndMs, frameRate);
        } else {
            slot.StartFrame = slot.EndFrame = FreeSlotFrame;
        }
        if (i < texts.size())
            slot.Text = texts[i];
    }
    tidyTimeline(timeline, static_cast<int32_t>(times.size()));
    return timeline;
}

std::string summaryNameFor(const std::string& wavFileName)
{
    if (wavFileName.empty())
        return {};  // not "ws", a file of that name in the working folder
    if (isWaveSummaryName(wavFileName))
        return wavFileName;  // a summary chosen in the WAV box is used as it is
    return companionName(wavFileName, "ws");
}

LoadOutcome loadProject(const LoadRequest& request, ProjectState& state, const LoadCallbacks& callbacks)
{
    state.VideoFileName = request.VideoFileName;
    state.WavFileName = request.WavFileName;
    state.WaveSummaryFileName = summaryNameFor(request.WavFileName);
    state.TimelineFileName = request.TimelineFileName;
    state.SubtitleTextFileName = request.SubtitleTextFileName;

    LoadOutcome outcome;
    if (auto refusal = refusalOf(request)) {
        outcome.messages.emplace_back(*refusal);
        return outcome;
    }
    try {
        TimelineRead timeline = readTimelineFiles(request);
        SummaryRead summary = obtainSummary(request, state.WaveSummaryFileName, callbacks, outcome);
        if (!summary.refusal.empty()) {
            outcome.messages = std::move(summary.refusal);
            return outcome;
        }
        TimelineArray slots = buildTimeline(timeline.times, timeline.texts, timeline.sizingCount, request.FrameRate);
        auto timelineCount = static_cast<int32_t>(timeline.times.size());
        std::shared_ptr<TimelineDocument> document;
        if (timeline.document)
            document = documentOfLoad(std::move(*timeline.document), slots, timelineCount, request.FrameRate);
        ByteArray marks(summary.summary.size(), 0);
        rebuildWaveMarks(marks, slots, timelineCount, request.FrameRate);
        // last, so that a load that fails earlier leaves the file as it was
        if (timeline.startsEmpty) {
            const std::u16string empty = newTimelineText(request.TimelineFileName);
            if (const TimelineFormat format = timelineFormatOf(empty); format != TimelineFormat::Srt)
                document = documentOfLoad(SubtitleDocument::parse(format, empty), slots, 0, request.FrameRate);
            timeline.srtBytes = encodeText(empty, timeline.srtEncoding);
            writeFileAtomically(request.TimelineFileName, timeline.srtBytes);
        }
        rememberContents(request.TimelineFileName, timeline.srtBytes);
        rememberSavedTimeline(request.TimelineFileName, timelineFingerprint(slots, timelineCount, request.FrameRate));

        state.FrameRate = request.FrameRate;
        state.TextFromTxtFile = request.TextFromTxtFile;
        state.OneLinePerSubtitle = request.OneLinePerSubtitle;
        state.NewTimeline = timeline.startsEmpty;
        state.Timeline = std::move(slots);
        state.TimelineCount = timelineCount;
        state.TextCount = static_cast<int32_t>(timeline.texts.size());
        state.WaveSummary = std::move(summary.summary);
        state.WaveMarks = std::move(marks);
        state.FilmSoundPending = summary.filmSoundPending;
        state.TimelineEncoding = timeline.encoding;
        state.TimelineFileDocument = std::move(document);
        if (summary.videoLengthFrames)
            state.VideoLengthFrames = *summary.videoLengthFrames;
        state.NextPage = Page::Editor;
        outcome.ok = true;
        outcome.summaryShown = false;
    } catch (const UserError& e) {
        outcome.messages.assign(1, e.what());
    }
    return outcome;
}

}  // namespace vt
