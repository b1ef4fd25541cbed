// Arbitrary bytes as the file tools' second or spare file. The block reader
// either refuses them with the message that says why (no text; a broken ASS
// or WebVTT line, as the loader would name it; text without time codes), or
// gives the texts the merge pairs with the timeline's lines: one per time
// line of an SRT, one per event of an ASS/SSA script or WebVTT file, the
// same texts the loader shows for that file. No text holds a line end. What
// the merge and the exports make of them is written in the file's own
// encoding and reads back as written, one block per line of the timeline
// with that line's times.
// Each input is also tried with every byte 0x01 standing for a time line,
// behind an ASS events header (every byte 0x02 standing for "Dialogue: ")
// and behind a WEBVTT line (every byte 0x01 standing for " --> "), which the
// fuzzer seldom finds on its own.
#include "core/Errors.h"
#include "core/SrtReader.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "filetools/Export.h"
#include "filetools/Merge.h"
#include "filetools/SubtitleBlocks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vt;

const std::string Name = "second.srt";
constexpr float FrameRate = 25.0f;
// 00:00:01,000 --> 00:00:02,000 and 00:00:03,000 --> 00:00:04,000
const TimelineArray Timeline = {{25, 50, u"甲"}, {75, 100, u"乙^p丙"}};
const std::vector<SrtTimeCode> TimelineTimes = {{1000, 2000}, {3000, 4000}};

bool holdsLineEnd(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

// A text line of an output that reads as a time line adds a block of its
// own there: the user wrote it so, and the output cannot say otherwise.
bool holdsTimeLine(std::u16string_view text)
{
    for (size_t mark; (mark = text.find(LineBreak)) != std::u16string_view::npos;) {
        if (isTimeLine(text.substr(0, mark)))
            return true;
        text.remove_prefix(mark + LineBreak.size());
    }
    return isTimeLine(text);
}

// What the merge and the exports write reads back as the text written; the
// two SRT outputs have one block per timeline line, with its times.
void checkOutputs(const SubtitleBlocks& blocks)
{
    const size_t paired = std::min(blocks.texts.size(), Timeline.size());
    const bool timesReadBack =
        std::none_of(blocks.texts.begin(), blocks.texts.begin() + paired, holdsTimeLine);
    const int32_t count = int32_t(Timeline.size());
    const struct {
        std::u16string text;
        bool srt;
    } outputs[] = {
        {bilingualSrtText(Timeline, count, FrameRate, blocks.texts, false), true},
        {bilingualSrtText(Timeline, count, FrameRate, blocks.texts, true), true},
        {retimedSrtText(Timeline, count, FrameRate, blocks.texts), true},
        {plainSubtitleText(blocks.texts), false},
    };
    for (const auto& out : outputs) {
        const std::string bytes = encodeText(out.text, blocks.encoding);
        const std::optional<FileEncoding> read = detectEncoding(bytes);
        if (!read || decodeText(bytes, *read) != out.text)
            __builtin_trap();
        if (out.srt && timesReadBack) {
            try {
                const std::vector<SrtTimeCode> times = readSrtTimeCodes(decodeTextFile(bytes).lines);
                if (!std::equal(times.begin(), times.end(), TimelineTimes.begin(), TimelineTimes.end(),
                                [](SrtTimeCode a, SrtTimeCode b) { return a.StartMs == b.StartMs && a.EndMs == b.EndMs; }))
                    __builtin_trap();
            } catch (const SrtTimeLineError&) {
                __builtin_trap();
            }
        }
    }
}

void check(std::string_view bytes)
{
    // the file as the loader reads it: the whole text, its format told from it
    const TextFile file = decodeTextFile(bytes);
    std::optional<std::u16string> text;
    if (file.decodable && !(text = decodeText(bytes, file.encoding)))
        __builtin_trap();
    const TimelineFormat format = text ? timelineFormatOf(*text) : TimelineFormat::Srt;
    std::optional<SubtitleDocument> document;
    std::string documentRefusal;
    if (format != TimelineFormat::Srt) {
        try {
            document = SubtitleDocument::parse(format, *text);
        } catch (const UserError& error) {
            documentRefusal = error.what();
        }
    }
    const bool anyTimeLine = std::any_of(file.lines.begin(), file.lines.end(), [](auto& l) { return isTimeLine(l); });
    const bool allBlank = std::all_of(file.lines.begin(), file.lines.end(), [](auto& l) { return isBlankLine(l); });

    SubtitleBlocks blocks;
    try {
        blocks = subtitleBlocksOf(bytes, Name);
    } catch (const UserError& error) {
        const std::string message = error.what();
        if (message == std::string(MsgSecondFileUndecodable) + Name) {
            if (file.decodable)
                __builtin_trap();
        } else if (message == std::string(MsgSecondFileWithoutTimeCodes) + Name) {
            if (format != TimelineFormat::Srt || anyTimeLine || allBlank)
                __builtin_trap();
        } else if (format == TimelineFormat::Srt || message != documentRefusal) {
            __builtin_trap();  // refused for a reason the loader does not see
        }
        return;
    }
    if (!file.decodable || blocks.encoding != file.encoding)
        __builtin_trap();
    if (format == TimelineFormat::Srt) {
        if (blocks.texts.size() != size_t(countTimeLines(file.lines)))
            __builtin_trap();
    } else {
        // the texts the loader shows, event by event
        if (!document || blocks.texts.size() != document->events().size())
            __builtin_trap();
        for (size_t i = 0; i < blocks.texts.size(); ++i)
            if (blocks.texts[i] != document->events()[i].Text)
                __builtin_trap();
    }
    if (std::any_of(blocks.texts.begin(), blocks.texts.end(), holdsLineEnd))
        __builtin_trap();  // it would make lines of its own in an SRT output
    checkOutputs(blocks);
}

std::string replaced(std::string_view bytes, char mark, std::string_view with)
{
    std::string out;
    for (char c : bytes)
        out += c == mark ? with : std::string_view(&c, 1);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    if (bytes.find('\x01') != std::string_view::npos)
        check(replaced(bytes, '\x01', "\r\n00:00:01,000-->00:00:02,000\r\n"));
    check("[Script Info]\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n" +
          replaced(bytes, '\x02', "Dialogue: "));
    check("WEBVTT\n\n" + replaced(bytes, '\x01', " --> "));
    return 0;
}
