// A timeline loaded and saved without an edit, then loaded again, has the
// same entries and the same texts: in whatever encoding and with whatever
// line ends the file came. Each input is taken as it is, and also as UTF-8
// text (every byte 0x01 standing for " --> ", which the fuzzer seldom finds
// on its own) written in every encoding the reader knows, with every
// line-end style.
#include "core/SrtReader.h"
#include "core/TimelineWriter.h"
#include "core/TextCodec.h"
#include "opening/Loader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vt;

constexpr float FrameRate = 25.0f;

// Loads the bytes as the loader does, saves them as leaving the editor does,
// and loads the result again; a file the loader refuses is passed over.
void roundTrip(std::string_view bytes)
{
    TextFile file = decodeTextFile(bytes);
    if (!file.decodable)
        return;
    // ASS and WebVTT go their own way (fuzz_document)
    if (std::optional<std::u16string> text = decodeText(bytes, file.encoding);
        !text || timelineFormatOf(*text) != TimelineFormat::Srt)
        return;
    int32_t timeLines = countTimeLines(file.lines);
    if (timeLines == 0)
        return;  // refused, or an empty timeline
    std::vector<SrtTimeCode> times;
    try {
        times = readSrtTimeCodes(file.lines);
    } catch (const SrtTimeLineError&) {
        return;
    }
    std::vector<std::u16string> texts = readSrtTexts(file.lines);
    TimelineArray timeline = buildTimeline(times, texts, timeLines, FrameRate);
    std::vector<std::u16string> loaded;
    for (int32_t i = 0; i < int32_t(times.size()); ++i)
        loaded.push_back(timeline[size_t(i)].Text);
    std::string saved = encodeText(srtText(timeline, int32_t(times.size()), FrameRate), file.encoding);
    TextFile again = decodeTextFile(saved);
    if (!again.decodable || countTimeLines(again.lines) != int32_t(times.size()))
        __builtin_trap();
    if (readSrtTexts(again.lines) != loaded)
        __builtin_trap();
}

bool holdsCaretP(std::u16string_view text) { return text.find(u"^p") != std::u16string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // "^p" in a file's line is the timeline's own line-break mark, which a
    // save writes as a line break, by design
    if (bytes.find("^p") != std::string_view::npos)
        return 0;
    roundTrip(bytes);

    std::u16string text;
    for (char16_t c : fromUtf8(bytes)) {
        if (c == 1)
            text += u" --> ";
        else
            text.push_back(c);
    }
    if (holdsCaretP(text))
        return 0;
    std::vector<std::u16string> lines = splitLines(text);
    for (std::u16string_view lineEnd : {u"\r\n", u"\n", u"\r"}) {
        std::u16string file;
        for (const auto& line : lines)
            file += line + std::u16string(lineEnd);
        for (TextEncoding e : {TextEncoding::Utf8, TextEncoding::Gbk, TextEncoding::Windows1252, TextEncoding::Utf16LE,
                               TextEncoding::Utf16BE, TextEncoding::Utf32LE, TextEncoding::Utf32BE})
            for (bool mark : {false, true})
                roundTrip(encodeText(file, {e, mark}));
    }
    return 0;
}
