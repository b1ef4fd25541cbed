#include "core/TextCodec.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace std::string_literals;

using namespace vt;

namespace {

const FileEncoding Gbk{TextEncoding::Gbk, false};
const FileEncoding Utf8{TextEncoding::Utf8, false};
const FileEncoding Utf8Bom{TextEncoding::Utf8, true};

// 你好 in GBK and in UTF-8
const std::string NihaoGbk = "\xC4\xE3\xBA\xC3";
const std::string NihaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";

bool operator==(FileEncoding a, FileEncoding b) { return a.encoding == b.encoding && a.bom == b.bom; }

}  // namespace

TEST(TextCodec, DetectsByteOrderMarks)
{
    EXPECT_TRUE(detectEncoding("\xEF\xBB\xBF" "abc") == Utf8Bom);
    EXPECT_TRUE(detectEncoding("\xFF\xFE" "a\0"s) == (FileEncoding{TextEncoding::Utf16LE, true}));
    EXPECT_TRUE(detectEncoding("\xFE\xFF\0a"s) == (FileEncoding{TextEncoding::Utf16BE, true}));
    // a BOM decides even when the rest is not valid UTF-8
    EXPECT_TRUE(detectEncoding("\xEF\xBB\xBF" + NihaoGbk) == Utf8Bom);
}

TEST(TextCodec, AsciiDecidesNothing)
{
    EXPECT_TRUE(detectEncoding("1\r\n00:00:01,000 --> 00:00:02,000\r\n") == (FileEncoding{TextEncoding::Undecided, false}));
    EXPECT_TRUE(detectEncoding("") == (FileEncoding{TextEncoding::Undecided, false}));
}

TEST(TextCodec, ValidUtf8IsUtf8AndAnythingElseGbk)
{
    EXPECT_TRUE(detectEncoding("a" + NihaoUtf8) == Utf8);
    EXPECT_TRUE(detectEncoding("a" + NihaoGbk) == Gbk);
    // a UTF-8 sequence cut off at the end of the file is not valid UTF-8
    EXPECT_TRUE(detectEncoding(NihaoUtf8.substr(0, 5)) == Gbk);
    // overlong forms and encoded surrogates are not valid UTF-8 either
    EXPECT_TRUE(detectEncoding("\xC0\xAF") == Gbk);
    EXPECT_TRUE(detectEncoding("\xED\xA0\x80") == Gbk);
}

TEST(TextCodec, DecodesEachEncoding)
{
    EXPECT_EQ(decodeText(NihaoGbk, Gbk), u"你好");
    EXPECT_EQ(decodeText(NihaoUtf8, Utf8), u"你好");
    EXPECT_EQ(decodeText("\xEF\xBB\xBF" + NihaoUtf8, Utf8Bom), u"你好");
    EXPECT_EQ(decodeText("\xFF\xFE\x60\x4F\x7D\x59", {TextEncoding::Utf16LE, true}), u"你好");
    EXPECT_EQ(decodeText("\xFE\xFF\x4F\x60\x59\x7D", {TextEncoding::Utf16BE, true}), u"你好");
    // GB18030's four-byte form, beyond GBK
    EXPECT_EQ(decodeText("\x94\x39\xFC\x36", Gbk), u"\U0001F600");
}

TEST(TextCodec, InvalidSequencesBecomeReplacementCharacters)
{
    EXPECT_EQ(decodeText("a\x80" "b\x81", Gbk), u"a\uFFFDb\uFFFD");
    EXPECT_EQ(decodeText("a\xFF" "b", Utf8), u"a\uFFFDb");
    EXPECT_EQ(decodeText("\x41\x00\x42"s, {TextEncoding::Utf16LE, false}), u"A\uFFFD");
}

TEST(TextCodec, LinesEndAtLfWithTheCrBeforeItDropped)
{
    EXPECT_EQ(splitLines(u"A\r\nB\nC"), (std::vector<std::u16string>{u"A", u"B", u"C"}));
    EXPECT_EQ(splitLines(u"A\r\n"), (std::vector<std::u16string>{u"A"}));
    EXPECT_EQ(splitLines(u"A\r\n\r\n"), (std::vector<std::u16string>{u"A", u""}));
    EXPECT_EQ(splitLines(u"\n"), (std::vector<std::u16string>{u""}));
    EXPECT_EQ(splitLines(u""), (std::vector<std::u16string>{}));
    // a CR anywhere else stays in the line
    EXPECT_EQ(splitLines(u"A\rB\r"), (std::vector<std::u16string>{u"A\rB\r"}));
}

TEST(TextCodec, DecodeTextFileGivesLinesAndEncoding)
{
    TextFile f = decodeTextFile(NihaoGbk + "\r\n" + "B\r\n");
    EXPECT_EQ(f.lines, (std::vector<std::u16string>{u"你好", u"B"}));
    EXPECT_TRUE(f.encoding == Gbk);
}

TEST(TextCodec, EncodesEachEncoding)
{
    EXPECT_EQ(encodeText(u"你好", Gbk), NihaoGbk);
    EXPECT_EQ(encodeText(u"你好", Utf8), NihaoUtf8);
    EXPECT_EQ(encodeText(u"你好", Utf8Bom), "\xEF\xBB\xBF" + NihaoUtf8);
    EXPECT_EQ(encodeText(u"你好", {TextEncoding::Utf16LE, true}), "\xFF\xFE\x60\x4F\x7D\x59");
    EXPECT_EQ(encodeText(u"你好", {TextEncoding::Utf16BE, false}), "\x4F\x60\x59\x7D");
    EXPECT_EQ(encodeText(u"\U0001F600", Gbk), "\x94\x39\xFC\x36");
}

TEST(TextCodec, AnEmptyTextIsNoBytesEvenWithAByteOrderMark)
{
    EXPECT_EQ(encodeText(u"", Utf8Bom), "");
    EXPECT_EQ(encodeText(u"", {TextEncoding::Utf16LE, true}), "");
}

TEST(TextCodec, UnencodableCharactersBecomeTheReplacementCharacter)
{
    EXPECT_EQ(encodeText(u"a\xD800" "b", Gbk), "a?b");
    EXPECT_EQ(encodeText(u"a\xDC00", Utf8), "a\xEF\xBF\xBD");
}

TEST(TextCodec, EveryTwoByteGbkCodeComesBackByteForByte)
{
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            std::string bytes{char(lead), char(trail)};
            std::u16string text = decodeText(bytes, Gbk);
            ASSERT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << std::hex << lead << trail;
            ASSERT_EQ(encodeText(text, Gbk), bytes) << std::hex << lead << trail;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 126 * 190);
}

TEST(TextCodec, Utf8ComesBackByteForByte)
{
    std::string bytes = "\xEF\xBB\xBF" "A\r\n" + NihaoUtf8 + "\xF0\x9F\x98\x80\r\n";
    TextFile f = decodeTextFile(bytes);
    EXPECT_EQ(encodeText(f.lines[0] + u"\r\n" + f.lines[1] + u"\r\n", f.encoding), bytes);
}

TEST(TextCodec, CodeSetNames)
{
    EXPECT_TRUE(encodingOfCodeSet("GBK") == Gbk);
    EXPECT_TRUE(encodingOfCodeSet("GB18030") == Gbk);
    EXPECT_TRUE(encodingOfCodeSet("GB2312") == Gbk);
    EXPECT_TRUE(encodingOfCodeSet("UTF-8") == Utf8);
    EXPECT_TRUE(encodingOfCodeSet("ANSI_X3.4-1968") == Utf8);
}

TEST(TextCodec, TimelineEncodingPrefersTheSrtThenTheTextFileThenTheLocale)
{
    const FileEncoding undecided{};
    const FileEncoding utf16{TextEncoding::Utf16LE, true};
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);

    EXPECT_TRUE(timelineEncoding(Gbk, &Utf8Bom) == Gbk);
    EXPECT_TRUE(timelineEncoding(utf16, nullptr) == utf16);
    EXPECT_TRUE(timelineEncoding(undecided, &Gbk) == Gbk);
    EXPECT_TRUE(timelineEncoding(undecided, &Utf8Bom) == Utf8Bom);
    EXPECT_TRUE(timelineEncoding(undecided, &undecided) == Utf8);
    EXPECT_TRUE(timelineEncoding(undecided, nullptr) == Utf8);
    // and writing "undecided" means the locale's code set
    EXPECT_EQ(encodeText(u"你好", undecided), NihaoUtf8);
    std::setlocale(LC_CTYPE, "C");
}
