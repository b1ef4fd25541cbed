// Arbitrary bytes read as an ASS/SSA or WebVTT timeline file, the way the
// loader reads one: the timeline it loads saves back into exactly the text
// read; a timeline with times moved, texts edited, lines dropped and lines
// added saves into a file that reads again, with one event per time-coded
// slot and the slot's frames. Each input is also tried behind an ASS events
// header (every byte 0x02 standing for "Dialogue: ") and behind a WEBVTT
// line (every byte 0x01 standing for " --> "), which the fuzzer seldom finds
// on its own.
#include "core/SrtReader.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace vt;

constexpr float FrameRate = 25.0f;
// frames whose times a file cannot hold (past 2^31 ms) are not compared
constexpr int32_t LastComparedFrame = 50000000;

void check(std::string_view bytes)
{
    std::optional<FileEncoding> encoding = detectEncoding(bytes);
    if (!encoding)
        return;
    std::optional<std::u16string> text = decodeText(bytes, *encoding);
    if (!text)
        __builtin_trap();  // detectEncoding promised this encoding reads the bytes
    const TimelineFormat format = timelineFormatOf(*text);
    if (format == TimelineFormat::Srt)
        return;
    SubtitleDocument doc;
    try {
        doc = SubtitleDocument::parse(format, *text);
    } catch (const SrtTimeLineError&) {
        return;
    } catch (const EventLineError&) {
        return;
    }
    const auto& events = doc.events();
    TimelineArray loaded;
    for (size_t i = 0; i < events.size(); ++i)
        loaded.push_back({MsToFrame(events[i].StartMs, FrameRate), MsToFrame(events[i].EndMs, FrameRate),
                          events[i].Text, int32_t(i)});
    if (doc.apply(loaded, int32_t(loaded.size()), FrameRate) != *text)
        __builtin_trap();

    // a new first line; then every fourth line moved, edited, dropped, or
    // followed by a new one; a new last line and a free slot
    TimelineArray edited{{3, 4, u"首", TimelineEntry::NewEvent}};
    for (size_t i = 0; i < loaded.size(); ++i) {
        TimelineEntry slot = loaded[i];
        switch (i % 4) {
        case 0:
            slot.StartFrame += 7;
            slot.EndFrame += 7;
            break;
        case 1: continue;
        case 2: slot.Text += u"^p改{\\i1}<b>&amp;\u00A0,"; break;
        case 3: break;
        }
        edited.push_back(slot);
        if (i % 4 == 3)
            edited.push_back({slot.EndFrame, slot.EndFrame + 10, u"新, <i>&\r\n{x}", TimelineEntry::NewEvent});
    }
    edited.push_back({0, 1, u"", TimelineEntry::NewEvent});
    const auto count = int32_t(edited.size());
    edited.push_back({FreeSlotFrame, FreeSlotFrame, u"", 0});
    const std::u16string saved = doc.apply(edited, count, FrameRate);
    SubtitleDocument again;
    try {
        again = SubtitleDocument::parse(format, saved);
    } catch (const UserError&) {
        __builtin_trap();  // a save wrote what cannot be read
    }
    // the slots are in file order, each new one after its neighbour: so are the events
    if (timelineFormatOf(saved) != format || again.events().size() != size_t(count))
        __builtin_trap();
    for (size_t k = 0; k < size_t(count); ++k) {
        const TimelineEntry& slot = edited[k];
        const DocumentEvent& e = again.events()[k];
        if (slot.StartFrame <= LastComparedFrame && slot.StartFrame != MsToFrame(e.StartMs, FrameRate))
            __builtin_trap();
        if (slot.EndFrame <= LastComparedFrame && slot.EndFrame != MsToFrame(e.EndMs, FrameRate))
            __builtin_trap();
    }
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
    check("[Script Info]\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n" +
          replaced(bytes, '\x02', "Dialogue: "));
    check("WEBVTT\n\n" + replaced(bytes, '\x01', " --> "));
    return 0;
}
