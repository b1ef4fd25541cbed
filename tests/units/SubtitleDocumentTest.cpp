#include "core/SubtitleDocument.h"

#include "core/SrtReader.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

using namespace vt;

namespace {

// ---- the corpus: every construct a file of each kind may hold -----------------

// Two languages in one file, as Chinese releases carry them.
const std::u16string Bilingual = uR"ass([Script Info]
; 手工写的双语字幕
Title: 双语测试
ScriptType: v4.00+
PlayResX: 1920
PlayResY: 1080

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: 中文,思源黑体,60,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,20,20,40,134
Style: English,Arial,40,&H00E0E0E0,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,1,2,1,2,20,20,15,1

[Fonts]
fontname: veltrana_0.ttf
M(#!"(@``````!``!``(0!3%"#`P````!`(`0`$````!8````"0`#`!4`
[(``$`!``P`!``0`!``4`!``8`!``@`!``D`!``H`

[Graphics]
filename: logo.png
M3:3O\(9)3DHY*@&*!#````/4E#)2"0`0``*@`!`4`$```"!`!``"```#U`0

[Unknown Section]
Dialogue: 0,0:00:09.00,0:00:10.00,中文,,0,0,0,,不在事件段里

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Comment: 0,0:00:00.00,0:00:05.00,中文,,0,0,0,,这一行是注释
Dialogue: 0,0:00:01.00,0:00:03.50,中文,,0,0,0,,{\an8\fs50}你好，世界\N第二行
Dialogue: 1,0:00:01.00,0:00:03.50,English,老王,0000,0000,0000,,{\i1}Hello, world{\i0}\nsecond line
; 事件之间的注释
Dialogue: 0,0:00:04.00,0:00:06.25,中文,,0,0,0,Banner;Scroll, 价格\h100元 {未闭合
Dialogue: 0, 1:02:03.4 , 1:02:05.678 ,English,,0,0,0,,Tail, with, commas

[Aegisub Project Garbage]
Last Style Storage: Default
)ass";

const std::u16string Ssa = uR"ssa([Script Info]
; SSA from an old release
ScriptType: v4.00

[V4 Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, TertiaryColour, BackColour, Bold, Italic, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, AlphaLevel, Encoding
Style: Default,SimHei,20,16777215,65535,65535,-2147483640,-1,0,1,1,2,2,30,30,10,0,134

[Events]
Format: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: Marked=0,0:00:10.00,0:00:12.00,Default,NTP,0000,0000,0000,!Effect,旧格式的字幕
Comment: Marked=0,0:00:12.00,0:00:13.00,Default,NTP,0000,0000,0000,!Effect,注释
Dialogue: Marked=1,0:00:12.50,0:00:14.00,Default,NTP,0000,0000,0000,,{\b1}粗体{\b0}
)ssa";

// A Dialogue line before the Format line, then the fields in another order.
const std::u16string OddOrder = uR"ass(

  [script info]  
Title: 列序不同

[EVENTS]
Dialogue: 0,0:00:00.50,0:00:01.00,Default,,0,0,0,,先于格式行
Format:   End , Style,Start, Layer, Text
Dialogue: 0:00:03.00,Default,0:00:02.00,0,倒序的字段\h
)ass";

const std::u16string Vtt = uR"vtt(WEBVTT - 双语字幕
Kind: captions
Language: zh-CN

NOTE 这是注释
它有两行

STYLE
::cue(.yellow) { color: yellow; }

REGION
id:fred
width:40%

1
00:01.000 --> 00:04.000 line:0 position:20%
<v 老王>你好 &amp; 再见</v>
<i>第二行</i>

intro-2
00:00:05.000 --> 00:00:07.500
<c.yellow>Tom &lt;3 Jerry&gt;</c>&nbsp;ok

00:08.000 --> 00:09.000 align:start
<ruby>漢<rt>kan</rt></ruby><00:08.500>字 &lrm;x&rlm; &copy;

NOTE 末尾之前的注释

59:59.500 --> 59:59.900
尾声
)vtt";

// A cue right under the header, a cue without text, an arrow without
// spaces, a cue with no blank line before it.
const std::u16string TightVtt = uR"vtt(WEBVTT
00:00.000 --> 00:01.000
紧跟头部的字幕


00:02.000 --> 00:03.000

00:03.000-->00:04.000
A
00:05.000 --> 00:06.000
B
)vtt";

using Events = std::vector<std::tuple<int32_t, int32_t, std::u16string, int32_t>>;

struct CorpusFile {
    const char* name;
    const std::u16string& text;
    TimelineFormat format;
    Events events;  // start, end, text as shown, line number
};

const std::vector<CorpusFile> Corpus = {
    {"bilingual ASS", Bilingual, TimelineFormat::Ass,
     {{1000, 3500, u"你好，世界^p第二行", 28},
      {1000, 3500, u"Hello, world^psecond line", 29},
      {4000, 6250, u" 价格\u00A0100元 {未闭合", 31},
      {3723400, 3725678, u"Tail, with, commas", 32}}},
    {"SSA", Ssa, TimelineFormat::Ass, {{10000, 12000, u"旧格式的字幕", 11}, {12500, 14000, u"粗体", 13}}},
    {"ASS in another column order", OddOrder, TimelineFormat::Ass,
     {{500, 1000, u"先于格式行", 7}, {2000, 3000, u"倒序的字段\u00A0", 9}}},
    {"WebVTT", Vtt, TimelineFormat::WebVtt,
     {{1000, 4000, u"你好 & 再见^p第二行", 16},
      {5000, 7500, u"Tom <3 Jerry>\u00A0ok", 21},
      {8000, 9000, u"漢kan字 \u200Ex\u200F &copy;", 24},
      {3599500, 3599900, u"尾声", 29}}},
    {"tight WebVTT", TightVtt, TimelineFormat::WebVtt,
     {{0, 1000, u"紧跟头部的字幕", 2}, {2000, 3000, u"", 6}, {3000, 4000, u"A", 8}, {5000, 6000, u"B", 10}}},
};

// The corpus is written with LF; files come with every kind of line end.
struct LineEnds {
    const char* name;
    std::vector<std::u16string_view> cycle;  // line i ends with cycle[i % size]
    bool finalLineEnd = true;
};
const std::vector<LineEnds> LineEndStyles = {
    {"LF", {u"\n"}},
    {"CR LF", {u"\r\n"}},
    {"lone CR", {u"\r"}},
    // a CR is never followed by a line that starts with LF: that would be one CR LF
    {"mixed", {u"\r\n", u"\n", u"\r"}},
    {"CR LF, none after the last line", {u"\r\n"}, false},
};

std::u16string withLineEnds(std::u16string_view text, const LineEnds& ends)
{
    std::u16string out;
    size_t line = 0;
    for (size_t from = 0; from < text.size();) {
        size_t lf = text.find(u'\n', from);
        out += text.substr(from, lf - from);
        bool last = lf + 1 == text.size();
        if (!last || ends.finalLineEnd)
            out += ends.cycle[line++ % ends.cycle.size()];
        from = lf + 1;
    }
    return out;
}

const std::vector<std::pair<const char*, FileEncoding>> Encodings = {
    {"UTF-8", {TextEncoding::Utf8, false}},       {"UTF-8 with its mark", {TextEncoding::Utf8, true}},
    {"UTF-16LE", {TextEncoding::Utf16LE, true}},  {"UTF-16BE", {TextEncoding::Utf16BE, true}},
    {"UTF-16LE without a mark", {TextEncoding::Utf16LE, false}},
    {"UTF-16BE without a mark", {TextEncoding::Utf16BE, false}},
    {"GBK", {TextEncoding::Gbk, false}},
};

// The timeline a load makes of the document: one slot per event, in order,
// and free slots after them.
TimelineArray timelineOf(const SubtitleDocument& doc, float rate)
{
    TimelineArray timeline;
    for (size_t i = 0; i < doc.events().size(); ++i) {
        const DocumentEvent& e = doc.events()[i];
        timeline.push_back({MsToFrame(e.StartMs, rate), MsToFrame(e.EndMs, rate), e.Text, int32_t(i)});
    }
    return timeline;
}

std::u16string applyAll(const SubtitleDocument& doc, TimelineArray timeline, float rate)
{
    auto count = int32_t(timeline.size());
    timeline.resize(timeline.size() + 3, {FreeSlotFrame, FreeSlotFrame, u"free slots are not written"});
    return doc.apply(timeline, count, rate);
}

Events eventsOf(const SubtitleDocument& doc)
{
    Events out;
    for (const DocumentEvent& e : doc.events())
        out.emplace_back(e.StartMs, e.EndMs, e.Text, e.LineNumber);
    return out;
}

// The text with every time of its kind replaced by "T", blanks kept.
std::string timesMasked(std::u16string_view text, TimelineFormat format)
{
    static const std::regex Ass(R"(\d+:\d{1,2}:\d{1,2}(\.\d{1,3})?)");
    static const std::regex WebVtt(R"((\d+:)?\d\d:\d\d\.\d\d\d)");
    return std::regex_replace(toUtf8(text), format == TimelineFormat::Ass ? Ass : WebVtt, "T");
}

}  // namespace

// ---- reading ------------------------------------------------------------------

TEST(SubtitleDocument, FormatIsToldByTheContent)
{
    const std::vector<std::pair<std::u16string, TimelineFormat>> cases = {
        {u"WEBVTT\n\n00:01.000 --> 00:02.000\nA\n", TimelineFormat::WebVtt},
        {u"WEBVTT\tKind: captions\r\n", TimelineFormat::WebVtt},
        {u"WEBVTT", TimelineFormat::WebVtt},
        {u"WEBVTTX\n", TimelineFormat::Srt},
        {u"\nWEBVTT\n", TimelineFormat::Srt},  // only the first line says so
        {u"\r\n \r\n\u3000[Script Info]\t\r\n", TimelineFormat::Ass},
        {u"[SCRIPT INFO]", TimelineFormat::Ass},
        {u"[Script Info] x\n", TimelineFormat::Srt},
        {u"1\n00:00:01,000 --> 00:00:02,000\n[Script Info]\n", TimelineFormat::Srt},
        {u"", TimelineFormat::Srt},
    };
    for (const auto& [text, format] : cases)
        EXPECT_EQ(timelineFormatOf(text), format) << toUtf8(text);
}

// Every file of the corpus, in every encoding and with every kind of line
// end, read as the loader reads it and saved without an edit: the events
// come out as written, and the save gives back the same bytes.
TEST(SubtitleDocument, SaveWithoutEditsGivesBackTheSameBytes)
{
    for (const CorpusFile& file : Corpus)
        for (const LineEnds& ends : LineEndStyles)
            for (const auto& [encodingName, encoding] : Encodings) {
                SCOPED_TRACE(std::string(file.name) + ", " + ends.name + ", " + encodingName);
                const std::string bytes = encodeText(withLineEnds(file.text, ends), encoding);
                std::optional<FileEncoding> found = detectEncoding(bytes);
                ASSERT_EQ(found, encoding);
                std::optional<std::u16string> text = decodeText(bytes, *found);
                ASSERT_TRUE(text);
                ASSERT_EQ(timelineFormatOf(*text), file.format);
                SubtitleDocument doc = SubtitleDocument::parse(file.format, *text);
                EXPECT_EQ(eventsOf(doc), file.events);
                for (float rate : {23.976f, 25.0f})
                    EXPECT_EQ(encodeText(applyAll(doc, timelineOf(doc, rate), rate), *found), bytes);
            }
}

// ---- times ------------------------------------------------------------------

// Every line 25 frames later at 25 fps: the times move by the frames, and
// no byte outside them changes (blanks around a time, cue settings, an hour
// that appears when a cue passes 59:59).
TEST(SubtitleDocument, ShiftChangesOnlyTheTimes)
{
    for (const CorpusFile& file : Corpus) {
        SCOPED_TRACE(file.name);
        const std::u16string text = withLineEnds(file.text, LineEndStyles[3]);
        SubtitleDocument doc = SubtitleDocument::parse(file.format, text);
        TimelineArray timeline = timelineOf(doc, 25.0f);
        for (TimelineEntry& slot : timeline) {
            slot.StartFrame += 25;
            slot.EndFrame += 25;
        }
        const std::u16string shifted = applyAll(doc, timeline, 25.0f);
        EXPECT_EQ(timesMasked(shifted, file.format), timesMasked(text, file.format));
        // and the lines that changed are the events' own
        std::vector<std::u16string> before = splitLines(text), after = splitLines(shifted);
        ASSERT_EQ(after.size(), before.size());
        std::vector<int32_t> changed, eventLines;
        for (size_t i = 0; i < before.size(); ++i)
            if (after[i] != before[i])
                changed.push_back(int32_t(i + 1));
        for (const auto& event : file.events)
            eventLines.push_back(std::get<3>(event));
        EXPECT_EQ(changed, eventLines);
        SubtitleDocument again = SubtitleDocument::parse(file.format, shifted);
        ASSERT_EQ(again.events().size(), doc.events().size());
        for (size_t i = 0; i < doc.events().size(); ++i) {
            EXPECT_EQ(MsToFrame(again.events()[i].StartMs, 25.0f), MsToFrame(doc.events()[i].StartMs, 25.0f) + 25);
            EXPECT_EQ(MsToFrame(again.events()[i].EndMs, 25.0f), MsToFrame(doc.events()[i].EndMs, 25.0f) + 25);
        }
    }
    // the cue that passed the hour (frame 90013 at 25 fps) is written with it
    SubtitleDocument vtt = SubtitleDocument::parse(TimelineFormat::WebVtt, Vtt);
    TimelineArray timeline = timelineOf(vtt, 25.0f);
    timeline[3].StartFrame += 25;
    EXPECT_NE(applyAll(vtt, timeline, 25.0f).find(u"\n01:00:00.520 --> 59:59.900\n"), std::u16string::npos);
}

// Frames 0 .. 200000 written into a file and read back at the usual rates:
// ASS holds centiseconds, WebVTT milliseconds, and each frame comes back,
// at 59.94 fps too, where a frame lasts less than two centiseconds.
TEST(SubtitleDocument, FramesComeBackThroughTheFile)
{
    const std::vector<std::pair<TimelineFormat, std::u16string>> files = {
        {TimelineFormat::Ass, u"[Script Info]\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
                              u"MarginR, MarginV, Effect, Text\n"},
        {TimelineFormat::WebVtt, u"WEBVTT\n"},
    };
    constexpr int32_t LastFrame = 200000;
    for (const auto& [format, empty] : files)
        for (float rate : {23.976f, 24.0f, 25.0f, 29.97f, 50.0f, 59.94f, 60.0f}) {
            SCOPED_TRACE(testing::Message() << (format == TimelineFormat::Ass ? "ASS" : "WebVTT") << " at " << rate);
            SubtitleDocument doc = SubtitleDocument::parse(format, empty);
            TimelineArray timeline;
            for (int32_t frame = 0; frame <= LastFrame; frame += 2)
                timeline.push_back({frame, frame + 1, u"x"});
            SubtitleDocument written = SubtitleDocument::parse(format, applyAll(doc, timeline, rate));
            ASSERT_EQ(written.events().size(), timeline.size());
            int32_t wrong = 0;
            for (size_t i = 0; i < timeline.size(); ++i) {
                const DocumentEvent& e = written.events()[i];
                if (MsToFrame(e.StartMs, rate) != timeline[i].StartFrame || MsToFrame(e.EndMs, rate) != timeline[i].EndFrame) {
                    if (++wrong <= 3)
                        ADD_FAILURE() << "frame " << timeline[i].StartFrame << " came back as "
                                      << MsToFrame(e.StartMs, rate);
                }
            }
            EXPECT_EQ(wrong, 0);
        }
}

// ---- edits ------------------------------------------------------------------

// Each edit of the timeline, and the file it gives: the file read, with
// these exact pieces replaced (each found once) and nothing else changed.
TEST(SubtitleDocument, EditsChangeOnlyWhatTheyMust)
{
    using Change = std::pair<std::u16string, std::u16string>;
    struct Case {
        const char* name;
        TimelineFormat format;
        std::u16string file;
        std::function<void(TimelineArray&)> edit;
        std::vector<Change> changes;
    };
    constexpr int32_t NewEvent = TimelineEntry::NewEvent;
    const std::vector<Case> cases = {
        {"an edited text keeps its leading override blocks", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) { t[0].Text = u"新的^p一行"; },
         {{uR"({\an8\fs50}你好，世界\N第二行)", uR"({\an8\fs50}新的\N一行)"}}},
        {"an inserted line takes the layer, style and margins of the line before", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) { t.insert(t.begin() + 2, {175, 200, u"New, line\u00A0!", NewEvent}); },
         {{u"\\nsecond line\n", u"\\nsecond line\nDialogue: 1,0:00:07.00,0:00:08.00,English,,0000,0000,0000,,New, line\\h!\n"}}},
        {"a deleted line is gone, and nothing else; a free slot is no line", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) { t[2] = {FreeSlotFrame, FreeSlotFrame, u"", 2}; },
         {{u"Dialogue: 0,0:00:04.00,0:00:06.25,中文,,0,0,0,Banner;Scroll, 价格\\h100元 {未闭合\n", u""}}},
        {"slots out of file order keep the file's order; a new line follows its slot's event", TimelineFormat::Ass,
         Bilingual,
         [](TimelineArray& t) {
             t = {t[3], {250, 275, u"末尾新行", NewEvent}, t[0], t[1], t[2]};
         },
         {{u",,Tail, with, commas\n", u",,Tail, with, commas\nDialogue: 0,0:00:10.00,0:00:11.00,English,,0,0,0,,末尾新行\n"}}},
        {"a line before every kept one goes after the Format line, in the first style", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) { t.insert(t.begin(), {25, 50, u"开场", NewEvent}); },
         {{u"Effect, Text\nComment:", u"Effect, Text\nDialogue: 0,0:00:01.00,0:00:02.00,中文,,0,0,0,,开场\nComment:"}}},
        {"new lines at two places, each after its own neighbour", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) {
             t = {t[0], {75, 90, u"第一处", NewEvent}, t[1], t[2], t[3], {93200, 93225, u"第二处", NewEvent}};
         },
         {{u"\\N第二行\n", u"\\N第二行\nDialogue: 0,0:00:03.00,0:00:03.60,中文,,0,0,0,,第一处\n"},
          {u",,Tail, with, commas\n", u",,Tail, with, commas\nDialogue: 0,1:02:08.00,1:02:09.00,English,,0,0,0,,第二处\n"}}},
        {"slots out of file order with new lines at two places keep both", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) {
             t = {t[3], {250, 275, u"末尾新行", NewEvent}, t[0], {75, 90, u"第一处", NewEvent}, t[1], t[2]};
         },
         {{u"\\N第二行\n", u"\\N第二行\nDialogue: 0,0:00:03.00,0:00:03.60,中文,,0,0,0,,第一处\n"},
          {u",,Tail, with, commas\n", u",,Tail, with, commas\nDialogue: 0,0:00:10.00,0:00:11.00,English,,0,0,0,,末尾新行\n"}}},
        {"a second slot naming the same event is a new line", TimelineFormat::Ass, Bilingual,
         [](TimelineArray& t) {
             t.push_back(t[0]);
             t.back().Text = u"重复";
         },
         {{u",,Tail, with, commas\n", u",,Tail, with, commas\nDialogue: 0,0:00:01.00,0:00:03.52,English,,0,0,0,,重复\n"}}},
        {"SSA: a new line is marked as the line before", TimelineFormat::Ass, Ssa,
         [](TimelineArray& t) { t.insert(t.begin() + 1, {375, 400, u"新行", NewEvent}); },
         {{u"!Effect,旧格式的字幕\n", u"!Effect,旧格式的字幕\nDialogue: Marked=0,0:00:15.00,0:00:16.00,Default,,0000,0000,0000,,新行\n"}}},
        {"fields in another order: the start, the text, a new line", TimelineFormat::Ass, OddOrder,
         [](TimelineArray& t) {
             t[1].StartFrame += 25;
             t[1].Text = u"改了";
             t.push_back({100, 125, u"新", NewEvent});
         },
         {{u"Dialogue: 0:00:03.00,Default,0:00:02.00,0,倒序的字段\\h\n",
           u"Dialogue: 0:00:03.00,Default,0:00:03.00,0,改了\nDialogue: 0:00:05.00,Default,0:00:04.00,0,新\n"}}},
        {"ASS without events: lines at the end of [Events]", TimelineFormat::Ass,
         u"[Script Info]\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n\n"
         u"[Aegisub Extradata]\nData: 1\n",
         [](TimelineArray& t) { t = {{25, 50, u"一", NewEvent}, {50, 75, u"二", NewEvent}}; },
         {{u"Effect, Text\n", u"Effect, Text\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,一\n"
                              u"Dialogue: 0,0:00:02.00,0:00:03.00,Default,,0,0,0,,二\n"}}},
        {"ASS without [Events]: the section is made", TimelineFormat::Ass,
         u"[Script Info]\r\nTitle: 空\r\n\r\n[V4+ Styles]\r\nFormat: Name, Fontname\r\nStyle: 正文,黑体",
         [](TimelineArray& t) { t = {{25, 50, u"一", NewEvent}}; },
         {{u"Style: 正文,黑体", u"Style: 正文,黑体\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, "
                              u"MarginR, MarginV, Effect, Text\r\nDialogue: 0,0:00:01.00,0:00:02.00,正文,,0,0,0,,一"}}},
        {"WebVTT: an edited text keeps the first line's tags, and is escaped", TimelineFormat::WebVtt, Vtt,
         [](TimelineArray& t) { t[0].Text = u"A & B^p<C>\u00A0^p^p"; },
         {{u"<v 老王>你好 &amp; 再见</v>\n<i>第二行</i>\n", u"<v 老王>A &amp; B\n&lt;C&gt;&nbsp;\n"}}},
        {"WebVTT: a deleted cue takes its id and one blank line", TimelineFormat::WebVtt, Vtt,
         [](TimelineArray& t) { t.erase(t.begin() + 1); },
         {{u"\nintro-2\n00:00:05.000 --> 00:00:07.500\n<c.yellow>Tom &lt;3 Jerry&gt;</c>&nbsp;ok\n", u""}}},
        {"WebVTT: a new cue after its neighbour, written as it writes times", TimelineFormat::WebVtt, Vtt,
         [](TimelineArray& t) { t.insert(t.begin() + 1, {250, 275, u"新的一条", NewEvent}); },
         {{u"<i>第二行</i>\n", u"<i>第二行</i>\n\n00:10.000 --> 00:11.000\n新的一条\n"}}},
        {"WebVTT: a new first cue goes after the NOTE, STYLE and REGION blocks", TimelineFormat::WebVtt, Vtt,
         [](TimelineArray& t) { t.insert(t.begin(), {0, 25, u"最先", NewEvent}); },
         {{u"width:40%\n", u"width:40%\n\n00:00.000 --> 00:01.000\n最先\n"}}},
        {"WebVTT: texts given to an empty cue and taken from another", TimelineFormat::WebVtt, TightVtt,
         [](TimelineArray& t) {
             t[0].Text = u"";
             t[1].Text = u"补上";
         },
         {{u"00:00.000 --> 00:01.000\n紧跟头部的字幕\n", u"00:00.000 --> 00:01.000\n"},
          {u"00:02.000 --> 00:03.000\n", u"00:02.000 --> 00:03.000\n补上\n"}}},
        {"WebVTT: the last cue deleted", TimelineFormat::WebVtt, TightVtt,
         [](TimelineArray& t) { t.pop_back(); },
         {{u"A\n00:05.000 --> 00:06.000\nB\n", u"A\n"}}},
        {"WebVTT: a lone CR before a deleted cue still ends its line, and the blank line after stays",
         TimelineFormat::WebVtt, u"WEBVTT\n\n00:01.000 --> 00:02.000\nA\r00:03.000 --> 00:04.000\nB\n\nNOTE x\n",
         [](TimelineArray& t) { t.pop_back(); },
         {{u"A\r00:03.000 --> 00:04.000\nB\n", u"A\r\n"}}},
        {"WebVTT without cues", TimelineFormat::WebVtt, u"WEBVTT\r\n\r\n",
         [](TimelineArray& t) { t = {{25, 50, u"你好", NewEvent}, {90025, 90050, u"一小时后", NewEvent}}; },
         {{u"WEBVTT\r\n", u"WEBVTT\r\n\r\n00:01.000 --> 00:02.000\r\n你好\r\n\r\n01:00:01.000 --> 01:00:02.000\r\n一小时后\r\n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SubtitleDocument doc = SubtitleDocument::parse(c.format, c.file);
        TimelineArray timeline = timelineOf(doc, 25.0f);
        c.edit(timeline);
        std::u16string expected = c.file;
        for (const auto& [from, to] : c.changes) {
            size_t at = expected.find(from);
            ASSERT_NE(at, std::u16string::npos) << toUtf8(from);
            ASSERT_EQ(expected.find(from, at + 1), std::u16string::npos) << toUtf8(from);
            expected.replace(at, from.size(), to);
        }
        EXPECT_EQ(toUtf8(applyAll(doc, timeline, 25.0f)), toUtf8(expected));
    }
}

// ---- broken files ------------------------------------------------------------

TEST(SubtitleDocument, BrokenFilesAreRefusedNamingTheLine)
{
    const std::u16string events = u"[Script Info]\r\n\r\n[Events]\r\n"
                                  u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
                                  u"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,好的\r\n";
    struct Case {
        TimelineFormat format;
        std::u16string text;
        bool timeError;  // else too few fields
        int32_t line;
        std::u16string shown;
    };
    const std::vector<Case> cases = {
        {TimelineFormat::Ass, events + u"Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0\r\n", false, 6,
         u"Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0"},
        {TimelineFormat::Ass, events + u"Dialogue: 0,0:00:03.00,0:00:0x.00,Default,,0,0,0,,坏\r\n", true, 6,
         u"Dialogue: 0,0:00:03.00,0:00:0x.00,Default,,0,0,0,,坏"},
        {TimelineFormat::Ass, events + u"Dialogue: 0,0:00:03.00,,Default,,0,0,0,,空的结束时间\r\n", true, 6,
         u"Dialogue: 0,0:00:03.00,,Default,,0,0,0,,空的结束时间"},
        {TimelineFormat::Ass, u"[Script Info]\n[Events]\r\rDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0\n", false,
         4, u"Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0"},
        {TimelineFormat::Ass, u"[Script Info]\n[Events]\nFormat: Layer, Start, Text, End\n", false, 3,
         u"Format: Layer, Start, Text, End"},
        {TimelineFormat::WebVtt, u"WEBVTT\n\n00:01.000 --> 00:02.000\nA\n\nid\n00:03.000 --> 00:0x.000\nB\n", true, 7,
         u"00:03.000 --> 00:0x.000"},
        {TimelineFormat::WebVtt, u"WEBVTT\r\n\r\n00:60.000 --> 01:01.000\r\n", true, 3, u"00:60.000 --> 01:01.000"},
        {TimelineFormat::WebVtt, u"WEBVTT\n\n0:01.000 --> 00:02.000\tline:0\n", true, 3,
         u"0:01.000 --> 00:02.000\tline:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.text));
        const std::string message = std::string(MsgTimeLinePrefix) + std::to_string(c.line) +
                                    (c.timeError ? MsgTimeLineMiddle : MsgEventLineMiddle) + printable(toUtf8(c.shown));
        try {
            SubtitleDocument::parse(c.format, c.text);
            ADD_FAILURE() << "read without complaint";
        } catch (const SrtTimeLineError& e) {
            EXPECT_TRUE(c.timeError);
            EXPECT_EQ(e.lineNumber(), c.line);
            EXPECT_EQ(e.what(), message);
        } catch (const EventLineError& e) {
            EXPECT_FALSE(c.timeError);
            EXPECT_EQ(e.lineNumber(), c.line);
            EXPECT_EQ(e.what(), message);
        }
    }
}
