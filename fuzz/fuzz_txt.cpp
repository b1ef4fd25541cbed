// Arbitrary bytes as a subtitle text file: decoding, both layouts, and
// writing the texts back in every encoding.
#include "core/SrtReader.h"
#include "core/TextCodec.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vt::TextFile txt = vt::decodeTextFile(std::string_view(reinterpret_cast<const char*>(data), size));
    for (bool oneLinePerSubtitle : {true, false}) {
        auto texts = vt::readTxtTexts(txt.lines, oneLinePerSubtitle);
        // the sizing count plus one always holds the texts
        if (texts.size() > static_cast<size_t>(vt::countTxtSubtitles(txt.lines, oneLinePerSubtitle)) + 1)
            __builtin_trap();
    }
    std::u16string joined;
    for (const auto& line : txt.lines)
        joined += line + u"\r\n";
    for (auto e : {vt::TextEncoding::Utf8, vt::TextEncoding::Gbk, vt::TextEncoding::Utf16LE, vt::TextEncoding::Utf16BE,
                   vt::TextEncoding::Utf32LE, vt::TextEncoding::Utf32BE})
        (void)vt::encodeText(joined, {e, true});
    return 0;
}
