#include "core/SrtReader.h"

#include "core/TextCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

using namespace vt;

namespace {

using Texts = std::vector<std::u16string>;

TextLines linesOf(const std::string& utf8) { return decodeTextFile(utf8).lines; }

std::vector<std::pair<int32_t, int32_t>> timesOf(const std::string& utf8)
{
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const SrtTimeCode& t : readSrtTimeCodes(linesOf(utf8)))
        out.emplace_back(t.StartMs, t.EndMs);
    return out;
}

Texts srtTexts(const std::string& utf8) { return readSrtTexts(linesOf(utf8)); }

using Times = std::vector<std::pair<int32_t, int32_t>>;

const std::string Strict =
    "1\r\n00:00:01,000 --> 00:00:01,100\r\n你好\r\n世界\r\n\r\n"
    "2\r\n00:00:01,050 --> 00:00:03,000\r\nB\r\n\r\n";

}  // namespace

// ---- the strict layout ----------------------------------------------------

TEST(SrtReader, StrictLayoutGivesTimesAndTexts)
{
    EXPECT_EQ(timesOf(Strict), (Times{{1000, 1100}, {1050, 3000}}));
    EXPECT_EQ(srtTexts(Strict), (Texts{u"你好^p世界", u"B"}));
}

TEST(SrtReader, PointsInsteadOfCommasReadTheSame)
{
    EXPECT_EQ(timesOf("1\n00:00:01.500 --> 00:00:02.000\nA\n"), (Times{{1500, 2000}}));
}

TEST(SrtReader, LfAloneReadsLikeCrLf)
{
    std::string lf = Strict;
    for (size_t p; (p = lf.find("\r\n")) != std::string::npos;)
        lf.erase(p, 1);
    EXPECT_EQ(timesOf(lf), timesOf(Strict));
    EXPECT_EQ(srtTexts(lf), srtTexts(Strict));
}

TEST(SrtReader, ByteOrderMarkIsSkipped)
{
    std::string withBom = "\xEF\xBB\xBF" + Strict;
    EXPECT_EQ(timesOf(withBom), (Times{{1000, 1100}, {1050, 3000}}));
    EXPECT_EQ(srtTexts(withBom), (Texts{u"你好^p世界", u"B"}));
}

TEST(SrtReader, ATextLineKeepsItsCaretP)
{
    EXPECT_EQ(srtTexts("1\n00:00:01,000 --> 00:00:02,000\nA^pB\n\n"), (Texts{u"A^pB"}));
}

// ---- broken files: every text stays with its own time line ----------------

TEST(SrtReader, BlockWithMissingTextGetsAnEmptyText)
{
    std::string srt =
        "1\n00:00:01,000 --> 00:00:02,000\n\n"
        "2\n00:00:03,000 --> 00:00:04,000\nB\n\n"
        "3\n00:00:05,000 --> 00:00:06,000\nC\n\n";
    EXPECT_EQ(srtTexts(srt), (Texts{u"", u"B", u"C"}));
}

TEST(SrtReader, BlankLinesAtTheStartAndDoubledBetweenBlocks)
{
    std::string srt =
        "\r\n\r\n1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\n\r\n\r\n\r\n"
        "2\r\n00:00:03,000 --> 00:00:04,000\r\nB\r\n\r\n";
    EXPECT_EQ(timesOf(srt), (Times{{1000, 2000}, {3000, 4000}}));
    EXPECT_EQ(srtTexts(srt), (Texts{u"A", u"B"}));
}

TEST(SrtReader, NoBlankLineAtTheEnd)
{
    EXPECT_EQ(srtTexts("1\n00:00:01,000 --> 00:00:02,000\nA\nA2"), (Texts{u"A^pA2"}));
}

TEST(SrtReader, NoBlankLineOrNumberBetweenBlocks)
{
    std::string srt =
        "1\n00:00:01,000 --> 00:00:02,000\nA\n2\n00:00:03,000 --> 00:00:04,000\nB\n"
        "00:00:05,000 --> 00:00:06,000\nC\n";
    EXPECT_EQ(srtTexts(srt), (Texts{u"A", u"B", u"C"}));
}

TEST(SrtReader, StrayTextIsKeptWithTheNeighbouringBlock)
{
    std::string srt =
        "Title\n\n1\n00:00:01,000 --> 00:00:02,000\nA\n\n"
        "a paragraph without a time line\n\n"
        "2\n00:00:03,000 --> 00:00:04,000\nB\n\n";
    EXPECT_EQ(srtTexts(srt), (Texts{u"Title^pA^pa paragraph without a time line", u"B"}));
}

TEST(SrtReader, BlockNumbersWithBlanksAroundThemAreNotText)
{
    // A number line counts only right before a time line; "2020" in a block is text.
    struct Case {
        const char* file;
        Texts texts;
    };
    const Case cases[] = {
        {"1 \n00:00:01,000 --> 00:00:02,000\nA\n\n2 \n00:00:03,000 --> 00:00:04,000\nB\n", {u"A", u"B"}},
        {"1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\n\r\n2 \r\n00:00:03,000 --> 00:00:04,000\r\nB\r\n", {u"A", u"B"}},
        {"1\n00:00:01,000 --> 00:00:02,000\nA\n\n\t2\t\n00:00:03,000 --> 00:00:04,000\nB\n", {u"A", u"B"}},
        {"1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\u3000\n00:00:03,000 --> 00:00:04,000\nB\n", {u"A", u"B"}},
        {"1\n00:00:01,000 --> 00:00:02,000\nA\n 2 \n00:00:03,000 --> 00:00:04,000\nB\n", {u"A", u"B"}},
        {"1\n00:00:01,000 --> 00:00:02,000\n2020\n\n2\n00:00:03,000 --> 00:00:04,000\nB\n", {u"2020", u"B"}},
        {"1\n00:00:01,000 --> 00:00:02,000\nA\n2 0\n00:00:03,000 --> 00:00:04,000\nB\n", {u"A^p2 0", u"B"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(srtTexts(c.file), c.texts) << c.file;
}

TEST(SrtReader, LineOfFullWidthSpacesSeparatesParagraphs)
{
    // "\xE3\x80\x80" is U+3000 in UTF-8, "\xA1\xA1" the same space in GBK
    enum Reader { SrtTexts, TxtParagraphs };
    struct Case {
        Reader reader;
        std::string file;
        Texts texts;
    };
    const Case cases[] = {
        {TxtParagraphs, "第一句\n\xE3\x80\x80\xE3\x80\x80\n第二句\n\n第三句\n", {u"第一句", u"第二句", u"第三句"}},
        {TxtParagraphs, "第一句\r\n \xE3\x80\x80\t\r\n第二句", {u"第一句", u"第二句"}},
        {TxtParagraphs, "\xE3\x80\x80\n第一句\n\n第二句", {u"", u"第一句", u"第二句"}},
        {TxtParagraphs, "\xC4\xE3\xBA\xC3\r\n\xA1\xA1\xA1\xA1\r\n\xCA\xC0\xBD\xE7\r\n", {u"你好", u"世界"}},
        {SrtTexts, "第一句\n\xE3\x80\x80\n第二句\n", {u"第一句", u"第二句"}},
        {SrtTexts,
         "1\n00:00:01,000 --> 00:00:02,000\n第一句\n\xE3\x80\x80\n"
         "2\n00:00:03,000 --> 00:00:04,000\n第二句\n\xE3\x80\x80\xE3\x80\x80\n",
         {u"第一句", u"第二句"}},
    };
    for (const Case& c : cases) {
        TextLines lines = linesOf(c.file);
        EXPECT_EQ(c.reader == SrtTexts ? readSrtTexts(lines) : readTxtTexts(lines, false), c.texts) << c.file;
    }
}

TEST(SrtReader, BlankLinesOnlyGiveNothing)
{
    EXPECT_EQ(srtTexts("\r\n"), Texts{});
    EXPECT_EQ(srtTexts("\n \n\t\n"), Texts{});
    EXPECT_EQ(srtTexts(""), Texts{});
    EXPECT_EQ(timesOf("\r\n"), Times{});
}

TEST(SrtReader, WithoutTimeLinesEachParagraphIsAText)
{
    EXPECT_EQ(srtTexts("A\nA2\n\n\nB\n"), (Texts{u"A^pA2", u"B"}));
}

// ---- time lines -------------------------------------------------------------

TEST(SrtReader, BlanksAroundATimeLineAndAOneDigitHourAreAccepted)
{
    EXPECT_EQ(timesOf("1\n  00:00:01,000  -->  1:00:02,000 \t\nA\n"), (Times{{1000, 3602000}}));
    EXPECT_EQ(timesOf("1\n0:00:01,000 --> 0:00:02,000\nA\n"), (Times{{1000, 2000}}));
}

TEST(SrtReader, WordsAfterTheEndTimeAreIgnored)
{
    EXPECT_EQ(timesOf("1\n00:00:01,000 --> 00:00:02,000 X1:40 X2:600\nA\n"), (Times{{1000, 2000}}));
}

TEST(SrtReader, UnreadableTimeLineNamesItsLineNumber)
{
    std::string srt = "1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:00:0x,000 --> 00:00:04,000\nB\n";
    try {
        readSrtTimeCodes(linesOf(srt));
        FAIL() << "no error";
    } catch (const SrtTimeLineError& e) {
        EXPECT_EQ(e.lineNumber(), 6);
        EXPECT_EQ(std::string(e.what()),
                  std::string(MsgTimeLinePrefix) + "6" + MsgTimeLineMiddle + "00:00:0x,000 --> 00:00:04,000");
    }
}

// Other tools write the arrow without its spaces; such a line is a time
// line only when both its times are written out in full, so that a text
// holding "-->" stays a text.
TEST(SrtReader, TimeLinesWithOrWithoutSpacesAroundTheArrow)
{
    const struct {
        std::u16string_view line;
        std::optional<std::pair<int32_t, int32_t>> times;  // nothing: not a time line
    } cases[] = {
        {u"00:00:01,000 --> 00:00:02,000", std::pair{1000, 2000}},
        {u"00:00:04,000-->00:00:06,000", std::pair{4000, 6000}},
        {u"00:00:04.000-->00:00:06.500", std::pair{4000, 6500}},
        {u"0:00:04,000-->0:00:06,000", std::pair{4000, 6000}},
        {u"00:00:04,000 -->00:00:06,000", std::pair{4000, 6000}},
        {u"  00:00:04,000-->\t00:00:06,000  X1:100 X2:200", std::pair{4000, 6000}},
        {u"a-->b", std::nullopt},
        {u"<!-- a comment -->", std::nullopt},
        {u"1234567890123-->1234567890123", std::nullopt},
        {u"00:00:04,00-->00:00:06,000", std::nullopt},
        {u"00:00:04,000-->", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.line));
        EXPECT_EQ(isTimeLine(c.line), c.times.has_value());
        Times times = timesOf(toUtf8(c.line) + "\n");
        EXPECT_EQ(times, c.times ? Times{*c.times} : Times{});
    }
}

// A 300-entry file whose time lines mostly lack the spaces keeps all 300.
TEST(SrtReader, BareArrowsAmongSpacedOnesKeepEveryEntry)
{
    std::string srt;
    for (int i = 0; i < 300; ++i) {
        const char* arrow = i % 75 == 0 ? " --> " : "-->";
        char line[64];
        std::snprintf(line, sizeof line, "%d\r\n00:%02d:%02d,000%s00:%02d:%02d,500\r\nline %d\r\n\r\n", i + 1, i / 60,
                      i % 60, arrow, i / 60, i % 60, i);
        srt += line;
    }
    EXPECT_EQ(timesOf(srt).size(), 300u);
    Texts texts = srtTexts(srt);
    ASSERT_EQ(texts.size(), 300u);
    EXPECT_EQ(texts[299], u"line 299");
}

// ---- sizing counts ------------------------------------------------------------

TEST(SrtReader, SizingCounts)
{
    EXPECT_EQ(countTimeLines(linesOf(Strict)), 2);
    EXPECT_EQ(countTimeLines(linesOf("A --> B\nC\n")), 1);
    TextLines txt = linesOf("A\n\nB\nC\n\n");
    EXPECT_EQ(countTxtSubtitles(txt, true), 5);
    EXPECT_EQ(countTxtSubtitles(txt, false), 2);
}

// ---- subtitle text files ----------------------------------------------------------

TEST(TxtReader, ParagraphsAreSeparatedByBlankLines)
{
    EXPECT_EQ(readTxtTexts(linesOf("A\n\nB"), false), (Texts{u"A", u"B"}));
    EXPECT_EQ(readTxtTexts(linesOf("A\r\nA2\r\n\r\n\r\nB\r\n\r\n"), false), (Texts{u"AA2", u"B"}));
}

TEST(TxtReader, BlankLinesAtTheStartGiveOneEmptyTextFirst)
{
    EXPECT_EQ(readTxtTexts(linesOf("\n\nA\n\nB\n"), false), (Texts{u"", u"A", u"B"}));
}

TEST(TxtReader, SingleLineAndEmptyFile)
{
    EXPECT_EQ(readTxtTexts(linesOf("A"), false), (Texts{u"A"}));
    EXPECT_EQ(readTxtTexts(linesOf("A"), true), (Texts{u"A"}));
    EXPECT_EQ(readTxtTexts(linesOf(""), false), Texts{});
    EXPECT_EQ(readTxtTexts(linesOf(""), true), Texts{});
}

TEST(TxtReader, OneLinePerSubtitleKeepsEmptyLines)
{
    EXPECT_EQ(readTxtTexts(linesOf("A\r\n\r\nB\r\n"), true), (Texts{u"A", u"", u"B"}));
}

TEST(TxtReader, CaretPIsKept)
{
    EXPECT_EQ(readTxtTexts(linesOf("A^pB\n"), true), (Texts{u"A^pB"}));
    EXPECT_EQ(readTxtTexts(linesOf("A^pB\n"), false), (Texts{u"A^pB"}));
}

TEST(TxtReader, GbkTextFile)
{
    TextFile f = decodeTextFile("\xC4\xE3\xBA\xC3\r\n\r\nB\r\n");
    EXPECT_EQ(f.encoding.encoding, TextEncoding::Gbk);
    EXPECT_EQ(readTxtTexts(f.lines, false), (Texts{u"你好", u"B"}));
}
