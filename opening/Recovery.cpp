#include "opening/Recovery.h"

#include "core/Coverage.h"
#include "core/FileIO.h"
#include "core/SrtReader.h"
#include "core/TimelineWriter.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimelineRecovery.h"
#include "opening/Loader.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <tuple>

namespace vt {

namespace fs = std::filesystem;

namespace {

struct SrtRead {
    std::vector<SrtTimeCode> times;
    std::vector<std::u16string> texts;
    int32_t timeLines = 0;
    // a copy of an ASS/SSA or WebVTT timeline is that file, with the changes
    std::optional<SubtitleDocument> document;
};

SrtRead readSrtBytes(const std::string& bytes)
{
    const TextFile file = decodeTextFile(bytes);
    if (!file.decodable)
        throw UserError("undecodable");
    SrtRead read;
    if ((read.document = documentOf(bytes, file))) {
        for (const DocumentEvent& event : read.document->events()) {
            read.times.push_back(SrtTimeCode{event.StartMs, event.EndMs});
            read.texts.push_back(event.Text);
        }
        read.timeLines = int32_t(read.times.size());
        return read;
    }
    read.times = readSrtTimeCodes(file.lines);
    read.texts = readSrtTexts(file.lines);
    read.timeLines = countTimeLines(file.lines);
    return read;
}

std::u16string numberLine(int32_t n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

// The copy as srtText wrote it: per line its number, its time line, its
// text's pieces and an empty line. Read back piece by piece, so that a text
// comes back as it was also where it begins or ends with "^p" or holds
// "^p^p", whose empty pieces the general reader passes over. Nothing when
// the file is not laid out so.
std::optional<SrtRead> readWrittenBlocks(const std::string& bytes)
{
    const TextFile file = decodeTextFile(bytes);
    if (!file.decodable)
        return std::nullopt;
    const TextLines& lines = file.lines;
    SrtRead read;
    size_t i = 0;
    for (int32_t n = 1; i < lines.size(); ++n) {
        if (i + 1 >= lines.size() || lines[i] != numberLine(n) || !isTimeLine(lines[i + 1]))
            return std::nullopt;
        const std::vector<SrtTimeCode> time = readSrtTimeCodes({lines[i + 1]});
        // the block ends with an empty line before the next number and time line
        const std::u16string next = numberLine(n + 1);
        size_t end = i + 2;
        while (end < lines.size()
               && !(lines[end] == next && end + 1 < lines.size() && isTimeLine(lines[end + 1]) && lines[end - 1].empty()))
            ++end;
        if (end < i + 4 || !lines[end - 1].empty())
            return std::nullopt;
        std::u16string text;
        for (size_t k = i + 2; k + 1 < end; ++k) {
            if (k > i + 2)
                text += LineBreak;
            text += lines[k];
        }
        read.times.push_back(time.at(0));
        read.texts.push_back(std::move(text));
        i = end;
    }
    read.timeLines = int32_t(read.times.size());
    return read;
}

using Block = std::tuple<int32_t, int32_t, std::u16string>;

std::map<Block, int32_t> blocksOf(const std::string& bytes)
{
    std::map<Block, int32_t> blocks;
    SrtRead read;
    try {
        read = readSrtBytes(bytes);
    } catch (const UserError&) {
        return blocks;  // nothing in it to compare with
    }
    for (size_t i = 0; i < read.times.size(); ++i)
        ++blocks[{read.times[i].StartMs, read.times[i].EndMs, i < read.texts.size() ? read.texts[i] : u""}];
    return blocks;
}

std::string localTime(fs::file_time_type when, const char* format)
{
    const auto system = std::chrono::file_clock::to_sys(when);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

}  // namespace

int32_t differingLines(const std::string& srtBytesA, const std::string& srtBytesB)
{
    const std::map<Block, int32_t> a = blocksOf(srtBytesA);
    const std::map<Block, int32_t> b = blocksOf(srtBytesB);
    auto missingFrom = [](const std::map<Block, int32_t>& from, const std::map<Block, int32_t>& in) {
        int64_t n = 0;
        for (const auto& [block, count] : from) {
            auto there = in.find(block);
            n += std::max<int64_t>(0, count - (there == in.end() ? 0 : there->second));
        }
        return n;
    };
    return int32_t(std::min<int64_t>(std::max(missingFrom(a, b), missingFrom(b, a)), INT32_MAX));
}

std::optional<RecoveryOffer> recoveryOffer(const std::string& timelineFileName)
{
    if (timelineFileName.empty() || !fileExists(timelineFileName))
        return std::nullopt;
    std::vector<std::string> places = recoveryPlaces(timelineFileName);
    for (const std::string& earlier : earlierRecoveryFileNames(timelineFileName))
        places.push_back(earlier);
    std::string path;
    fs::file_time_type savedAt{};
    for (const std::string& place : places) {
        std::error_code ec;
        const fs::file_time_type at = fs::last_write_time(place, ec);
        if (!place.empty() && !ec && fs::is_regular_file(place, ec) && (path.empty() || at > savedAt)) {
            path = place;
            savedAt = at;
        }
    }
    if (path.empty())
        return std::nullopt;
    std::error_code ec;
    const fs::file_time_type timelineAt = fs::last_write_time(timelineFileName, ec);
    RecoveryOffer offer{path, localTime(savedAt, "%Y-%m-%d %H:%M:%S"),
                        differingLines(readWholeFile(path), readWholeFile(timelineFileName)), !ec && savedAt <= timelineAt};
    if (offer.differingLines == 0) {
        fs::remove(path, ec);
        fs::remove(untimedTextsFileName(path), ec);
        return std::nullopt;
    }
    return offer;
}

std::string recoveryQuestion(const RecoveryOffer& offer)
{
    return std::string(MsgRecoverySavedAt) + offer.savedAt + std::string(MsgRecoveryLines)
           + std::to_string(offer.differingLines) + std::string(MsgRecoveryAsk)
           + (offer.timelineNewer ? std::string(MsgRecoveryTimelineNewer) : std::string());
}

void restoreRecoveredTimeline(ProjectState& state, const RecoveryOffer& offer)
{
    SrtRead read;
    std::string bytes;
    try {
        bytes = readWholeFile(offer.path);
        read = readSrtBytes(bytes);
        if (!read.document)
            if (std::optional<SrtRead> written = readWrittenBlocks(bytes))
                read = std::move(*written);
    } catch (const UserError&) {
        throw UserError(std::string(MsgRecoveryUnreadable) + fs::path(offer.path).filename().string());
    }
    const auto count = int32_t(read.times.size());
    // Each time keeps the text it was written with; a TXT file read again
    // would pair the times with other texts wherever a text was put in or
    // taken out before the crash.
    std::vector<std::u16string> texts = std::move(read.texts);
    int32_t textCount = int32_t(texts.size());
    if (state.TextFromTxtFile) {
        texts.resize(size_t(count));
        if (std::optional<UntimedTexts> untimed = readUntimedTexts(offer.path, bytes)) {
            texts.insert(texts.end(), untimed->texts.begin(), untimed->texts.end());
            textCount = untimed->textCount;
        } else {
            // a copy without texts of its own beyond the timed lines: the
            // text file's, as loaded, follow them as a load would pair them
            for (int32_t i = count; i < state.TextCount && size_t(i) < state.Timeline.size(); ++i)
                texts.push_back(state.Timeline[size_t(i)].Text);
            textCount = state.TextCount;
        }
    }
    const int64_t sizing = std::max({int64_t(read.timeLines), int64_t(count), int64_t(texts.size())});
    TimelineArray slots = buildTimeline(read.times, texts, sizing, state.FrameRate);
    ByteArray marks(state.WaveMarks.size(), 0);
    rebuildWaveMarks(marks, slots, count, state.FrameRate);

    // the copy of an ASS/WebVTT timeline becomes the file a save writes back
    std::shared_ptr<TimelineDocument> document;
    if (read.document)
        document = documentOfLoad(std::move(*read.document), slots, count, state.FrameRate);

    state.Timeline = std::move(slots);
    state.TimelineFileDocument = std::move(document);
    state.TimelineCount = count;
    state.TextCount = textCount;
    state.WaveMarks = std::move(marks);
}

std::string declineRecovery(const RecoveryOffer& offer)
{
    const std::string now = localTime(fs::file_time_type::clock::now(), "%Y%m%d-%H%M%S");
    std::string aside = offer.path + ".declined-" + now;
    for (int n = 2; fileExists(aside); ++n)
        aside = offer.path + ".declined-" + now + "-" + std::to_string(n);
    std::error_code ec;
    fs::rename(offer.path, aside, ec);
    if (ec)
        throw FileError("无法把自动保存的时间轴改名为 \"" + aside + "\": " + ec.message());
    // the texts go with their copy; without them it still reads as the SRT it is
    fs::rename(untimedTextsFileName(offer.path), untimedTextsFileName(aside), ec);
    return aside;
}

std::optional<TimelineLock> claimTimeline(const std::string& timelinePath, const TimelineLock* held)
{
    if (timelinePath.empty())
        return std::nullopt;
    if (held && held->state() == TimelineLock::State::Held && held->timeline() == timelineIdentity(timelinePath))
        return std::nullopt;
    TimelineLock lock(timelinePath);
    if (lock.state() == TimelineLock::State::HeldElsewhere)
        throw UserError(std::string(MsgTimelineOpenElsewhere) + printable(fs::path(timelinePath).filename().string()));
    return lock;
}

}  // namespace vt
