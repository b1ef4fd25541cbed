// Arbitrary bytes as the file tools' second or spare file: the block reader
// either refuses them with a message or gives one text per time line, and
// what the merge and the exports make of those texts is written in the
// file's own encoding and reads back.
#include "core/Errors.h"
#include "core/SrtReader.h"
#include "core/TextCodec.h"
#include "filetools/Export.h"
#include "filetools/Merge.h"
#include "filetools/SubtitleBlocks.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(std::string_view bytes)
{
    vt::SubtitleBlocks blocks;
    try {
        blocks = vt::subtitleBlocksOf(bytes, "second.srt");
    } catch (const vt::UserError&) {
        return;
    }
    vt::TextFile file = vt::decodeTextFile(bytes);
    int32_t timeLines = vt::countTimeLines(file.lines);
    if (!file.decodable || blocks.texts.size() != size_t(timeLines))
        __builtin_trap();
    const vt::TimelineArray timeline = {{25, 50, u"甲"}, {75, 100, u"乙^p丙"}};
    for (const std::u16string& out :
         {vt::bilingualSrtText(timeline, 2, 25.0f, blocks.texts, false), vt::retimedSrtText(timeline, 2, 25.0f, blocks.texts),
          vt::plainSubtitleText(blocks.texts)}) {
        if (!vt::decodeTextFile(vt::encodeText(out, blocks.encoding)).decodable)
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    std::string withArrows;
    for (char c : bytes)
        withArrows += c == '\x01' ? std::string_view("\r\n00:00:01,000-->00:00:02,000\r\n") : std::string_view(&c, 1);
    if (withArrows.size() != bytes.size())
        check(withArrows);
    return 0;
}
