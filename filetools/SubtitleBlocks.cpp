#include "filetools/SubtitleBlocks.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/SrtReader.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vt {

namespace {


[[noreturn]] void refuseFile(std::string_view message, const std::string& path)
{
    throw UserError(std::string(message) + shownName(path));
}

std::filesystem::path comparable(const std::string& path)
{
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return error ? std::filesystem::path(path).lexically_normal() : canonical;
}

}  // namespace

std::string toolOutputName(std::string_view path, std::string_view ending)
{
    return companionName(path, ending);
}

SubtitleBlocks subtitleBlocksOf(std::string_view bytes, const std::string& path)
{
    TextFile file = decodeTextFile(bytes);
    // Taken as it comes, a binary file would pair no texts at all with the
    // timeline, and the output would silently hold none.
    if (!file.decodable)
        refuseFile(MsgSecondFileUndecodable, path);
    // an ASS/SSA script or a WebVTT file gives its events' texts as a reader sees them
    if (const std::optional<SubtitleDocument> document = documentOf(bytes, file)) {
        std::vector<std::u16string> texts;
        for (const DocumentEvent& event : document->events())
            texts.push_back(event.Text);
        return {std::move(texts), file.encoding};
    }
    auto lines = [&](auto test) { return std::any_of(file.lines.begin(), file.lines.end(), test); };
    if (!lines([](const auto& line) { return isTimeLine(line); }) &&
        lines([](const auto& line) { return !isBlankLine(line); }))
        refuseFile(MsgSecondFileWithoutTimeCodes, path);
    return {readSrtTexts(file.lines), file.encoding};
}

SubtitleBlocks readSubtitleBlocks(const std::string& path)
{
    if (!fileExists(path))
        throw UserError(std::string(MsgSecondFileMissing));
    return subtitleBlocksOf(readWholeFile(path), path);
}

void refuseTimelineAsOutput(const std::string& output, const std::string& timelineFileName)
{
    if (output.empty() || timelineFileName.empty())
        return;
    std::error_code error;
    bool same = std::filesystem::equivalent(output, timelineFileName, error);
    if (error)  // one of them does not exist (yet): compare the names
        same = comparable(output) == comparable(timelineFileName);
    if (same)
        throw UserError(std::string(MsgOutputIsTimeline));
}

}  // namespace vt
