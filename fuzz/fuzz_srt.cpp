// Arbitrary bytes as an SRT timeline: decoding, the block reader and the
// time-code pass must neither crash nor disagree on the number of blocks.
// Each input is also tried with every byte 0x01 standing for " --> ", since
// the fuzzer seldom finds those five bytes on its own.
#include "core/SrtReader.h"
#include "core/TextCodec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(std::string_view bytes)
{
    vt::TextFile srt = vt::decodeTextFile(bytes);
    auto texts = vt::readSrtTexts(srt.lines);
    int32_t timeLines = vt::countTimeLines(srt.lines);
    if (timeLines > 0 && texts.size() != static_cast<size_t>(timeLines))
        __builtin_trap();
    try {
        if (vt::readSrtTimeCodes(srt.lines).size() != static_cast<size_t>(timeLines))
            __builtin_trap();
    } catch (const vt::SrtTimeLineError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    std::string withArrows;
    for (char c : bytes)
        withArrows += c == '\x01' ? std::string_view(" --> ") : std::string_view(&c, 1);
    if (withArrows.size() != bytes.size())
        check(withArrows);
    return 0;
}
