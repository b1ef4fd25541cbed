// An ASS timeline of 10,000 events, as a bilingual release carries it (a
// Chinese and an English line for each subtitle, two styles, override
// blocks), in UTF-8 with its mark: reading it (bytes -> decodeText -> parse)
// and saving it with 400 edits (100 texts, 100 times, 100 lines deleted,
// 100 added: apply -> encodeText).
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

using namespace vt;

namespace {

constexpr int32_t Events = 10000;
constexpr float Rate = 25.0f;
const FileEncoding Utf8Bom{TextEncoding::Utf8, true};

std::string assTime(int64_t cs)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", static_cast<long long>(cs / 360000),
                  static_cast<long long>(cs / 6000 % 60), static_cast<long long>(cs / 100 % 60),
                  static_cast<long long>(cs % 100));
    return text;
}

std::string bilingualAss()
{
    std::string file =
        "[Script Info]\r\nScriptType: v4.00+\r\nPlayResX: 1920\r\nPlayResY: 1080\r\n\r\n"
        "[V4+ Styles]\r\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, "
        "Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, "
        "MarginR, MarginV, Encoding\r\n"
        "Style: 中文,思源黑体,60,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,20,20,40,134\r\n"
        "Style: English,Arial,40,&H00E0E0E0,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,20,20,15,1\r\n"
        "\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";
    for (int32_t i = 0; i < Events / 2; ++i) {
        std::string times = assTime(200 + i * 240) + "," + assTime(200 + i * 240 + 180);
        file += "Dialogue: 0," + times + ",中文,,0,0,0,,{\\fad(100,100)\\blur2}第" + std::to_string(i) +
                "句，中文字幕\\N{\\fs50}第二行的文字\r\n";
        file += "Dialogue: 1," + times + ",English,,0,0,0,,{\\fs40\\i1}Line " + std::to_string(i) +
                ", in English{\\i0}\\Nand its second line\r\n";
    }
    return file;
}

struct Film {
    std::string bytes = encodeText(fromUtf8(bilingualAss()), Utf8Bom);
    SubtitleDocument document = SubtitleDocument::parse(TimelineFormat::Ass, *decodeText(bytes, Utf8Bom));
    TimelineArray edited;

    Film()
    {
        const auto& events = document.events();
        for (int32_t i = 0; i < Events; ++i) {
            const DocumentEvent& e = events[size_t(i)];
            TimelineEntry slot{MsToFrame(e.StartMs, Rate), MsToFrame(e.EndMs, Rate), e.Text, i};
            switch (i % 100) {
            case 10: slot.Text += u"（改）"; break;
            case 30: slot.StartFrame += 3; break;
            case 50: continue;  // deleted
            default: break;
            }
            edited.push_back(slot);
            if (i % 100 == 70)
                edited.push_back({slot.EndFrame + 1, slot.EndFrame + 20, u"新加的一行^p第二行", TimelineEntry::NewEvent});
        }
    }
};

Film& film()
{
    static Film f;
    return f;
}

void BM_ReadAss(benchmark::State& state)
{
    const std::string& bytes = film().bytes;
    for (auto _ : state) {
        SubtitleDocument doc = SubtitleDocument::parse(TimelineFormat::Ass, *decodeText(bytes, Utf8Bom));
        benchmark::DoNotOptimize(doc.events().data());
    }
    state.counters["events"] = double(film().document.events().size());
}
BENCHMARK(BM_ReadAss)->Unit(benchmark::kMillisecond);

void BM_SaveAssWith400Edits(benchmark::State& state)
{
    Film& f = film();
    for (auto _ : state) {
        std::string bytes = encodeText(f.document.apply(f.edited, int32_t(f.edited.size()), Rate), Utf8Bom);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_SaveAssWith400Edits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
