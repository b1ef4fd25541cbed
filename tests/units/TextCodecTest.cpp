#include "core/TextCodec.h"

#include "core/Errors.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>

using namespace std::string_literals;

using namespace vt;

namespace {

const FileEncoding Undecided{};
const FileEncoding Gbk{TextEncoding::Gbk, false};
const FileEncoding Utf8{TextEncoding::Utf8, false};
const FileEncoding Utf8Bom{TextEncoding::Utf8, true};
const FileEncoding Western{TextEncoding::Windows1252, false};

// 你好 in GBK and in UTF-8
const std::string NihaoGbk = "\xC4\xE3\xBA\xC3";
const std::string NihaoUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";

// The text's UTF-16 or UTF-32 code units as bytes, in either order.
template <typename Char>
std::string units(std::basic_string_view<Char> text, bool bigEndian)
{
    std::string out;
    for (Char c : text)
        for (size_t k = 0; k < sizeof(Char); ++k) {
            size_t shift = 8 * (bigEndian ? sizeof(Char) - 1 - k : k);
            out.push_back(char((uint32_t(c) >> shift) & 0xFF));
        }
    return out;
}
std::string utf16(std::u16string_view text, bool bigEndian = false) { return units(text, bigEndian); }
std::string utf32(std::u32string_view text, bool bigEndian = false) { return units(text, bigEndian); }

std::string describe(std::optional<FileEncoding> e)
{
    return e ? std::to_string(int(e->encoding)) + (e->bom ? "+mark" : "") : "refused";
}

}  // namespace

// Each row: what a file holds, what it is read as (nothing: refused), and
// the text. Every file that is read must come back byte for byte.
TEST(TextCodec, EachFileIsReadInItsOwnEncodingAndWrittenBackAsItWas)
{
    const struct {
        const char* name;
        std::string bytes;
        std::optional<FileEncoding> encoding;
        std::u16string text;
    } files[] = {
        {"empty", "", Undecided, u""},
        {"ASCII", "1\r\n00:00:01,000 --> 00:00:02,000\r\n", Undecided, u"1\r\n00:00:01,000 --> 00:00:02,000\r\n"},
        {"UTF-8", "a" + NihaoUtf8, Utf8, u"a你好"},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" "a" + NihaoUtf8, Utf8Bom, u"a你好"},
        {"GBK", "a" + NihaoGbk, Gbk, u"a你好"},
        {"GB18030's four-byte form", "\x94\x39\xFC\x36", Gbk, u"\U0001F600"},
        {"a UTF-8 mark before GBK", "\xEF\xBB\xBF" "1\r\n" + NihaoGbk, FileEncoding{TextEncoding::Gbk, true}, u"1\r\n你好"},
        {"Windows-1252", "EXIST\xC9.\r\n", Western, u"EXISTÉ.\r\n"},
        {"Windows-1252's quotes and euro", "\x93" "5 \x80\x94", Western, u"“5 €”"},
        {"its undefined bytes", "a\x81\x8D\x8F\x90\x9D", Western, u"a\u0081\u008D\u008F\u0090\u009D"},
        {"a UTF-8 mark before Windows-1252", "\xEF\xBB\xBF" "caf\xE9 ", FileEncoding{TextEncoding::Windows1252, true},
         u"café "},
        // no UTF-8, and its last byte is a GB18030 lead without its trail
        {"UTF-8 cut off at the end", NihaoUtf8.substr(0, 5), Western, u"ä½\u00A0å¥"},
        {"an overlong UTF-8 form is GBK", "\xC0\xAF", Gbk, u"蜡"},
        {"UTF-16 LE with its mark", "\xFF\xFE" + utf16(u"你好\r\n"), FileEncoding{TextEncoding::Utf16LE, true}, u"你好\r\n"},
        {"UTF-16 BE with its mark", "\xFE\xFF" + utf16(u"你好\r\n", true), FileEncoding{TextEncoding::Utf16BE, true},
         u"你好\r\n"},
        {"UTF-32 LE with its mark", "\xFF\xFE\0\0"s + utf32(U"你\n"), FileEncoding{TextEncoding::Utf32LE, true}, u"你\n"},
        {"UTF-32 BE with its mark", "\0\0\xFE\xFF"s + utf32(U"你\n", true), FileEncoding{TextEncoding::Utf32BE, true},
         u"你\n"},
        // without a mark, one line end among Chinese text is enough to tell the order
        {"UTF-16 LE, Chinese, one line end", utf16(u"第一句话在这里第二句话在那里\n"), FileEncoding{TextEncoding::Utf16LE},
         u"第一句话在这里第二句话在那里\n"},
        {"UTF-16 BE, Chinese, one line end", utf16(u"第一句话在这里第二句话在那里\n", true), FileEncoding{TextEncoding::Utf16BE},
         u"第一句话在这里第二句话在那里\n"},
        {"UTF-16 LE with a surrogate pair", utf16(u"1\r\n\U0001F600\r\n"), FileEncoding{TextEncoding::Utf16LE},
         u"1\r\n\U0001F600\r\n"},
        {"UTF-32 LE up to U+10FFFF", utf32(U"1\n\U0010FFFF"), FileEncoding{TextEncoding::Utf32LE}, u"1\n\U0010FFFF"},
        {"UTF-32 BE", utf32(U"1\n你", true), FileEncoding{TextEncoding::Utf32BE}, u"1\n你"},
        {"UTF-32 past U+10FFFF", utf32(U"1\n") + utf32(std::u32string(1, char32_t(0x110000))), std::nullopt, u""},
        {"UTF-32 with its mark past U+10FFFF", "\xFF\xFE\0\0"s + utf32(std::u32string(1, char32_t(0x110000))),
         std::nullopt, u""},
        {"UTF-16 with its mark, a byte cut off", "\xFF\xFE" "a\0b"s, std::nullopt, u""},
        {"NUL bytes in 8-bit text", "a\0b"s, std::nullopt, u""},
        {"only NUL bytes", std::string(1000, '\0'), std::nullopt, u""},
        // read in the other order, this has no line end, digit or space at all
        {"UTF-16 without a mark with a lone surrogate", utf16(u"1\n") + "\x00\xD8" "a\0"s, std::nullopt, u""},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        std::optional<FileEncoding> found = detectEncoding(file.bytes);
        EXPECT_EQ(describe(found), describe(file.encoding));
        TextFile decoded = decodeTextFile(file.bytes);
        EXPECT_EQ(decoded.decodable, file.encoding.has_value());
        if (!found || !file.encoding)
            continue;
        std::optional<std::u16string> text = decodeText(file.bytes, *found);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, file.text);
        EXPECT_EQ(encodeText(*text, *found), file.bytes);
    }
}

// Bytes that only look like UTF-8: overlong forms, encoded surrogates, code
// points past U+10FFFF and sequences cut short. Read as UTF-8 they would
// need a replacement character, so they are no UTF-8: the file is read in
// the 8-bit encoding that holds them, whole, and written back as it was.
TEST(TextCodec, BytesThatOnlyLookLikeUtf8AreReadAsTheEncodingThatHoldsThem)
{
    const struct {
        const char* name;
        std::string bytes;
        FileEncoding encoding;
        std::u16string text;
    } files[] = {
        {"an overlong slash, C0 AF", "1\r\n\xC0\xAF\r\n", Gbk, u"1\r\n蜡\r\n"},
        {"an overlong two-byte form, C1 BF", "1\r\n\xC1\xBF\r\n", Gbk, u"1\r\n量\r\n"},
        {"an overlong three-byte NUL, E0 80 80", "1\r\n\xE0\x80\x80\r\n", Western, u"1\r\nà€€\r\n"},
        {"an overlong three-byte slash, E0 80 AF", "1\r\n\xE0\x80\xAF\r\n", Western, u"1\r\nà€¯\r\n"},
        {"an overlong four-byte NUL, F0 80 80 80", "1\r\n\xF0\x80\x80\x80\r\n", Western, u"1\r\nð€€€\r\n"},
        {"an overlong four-byte form, F0 8F BF BF", "1\r\n\xF0\x8F\xBF\xBF\r\n", Gbk, u"1\r\n饛靠\r\n"},
        {"an encoded high surrogate, ED A0 80", "1\r\n\xED\xA0\x80\r\n", Western, u"1\r\ní\u00A0€\r\n"},
        {"an encoded low surrogate, ED BF BF", "1\r\n\xED\xBF\xBF\r\n", Western, u"1\r\ní¿¿\r\n"},
        {"U+110000, F4 90 80 80", "1\r\n\xF4\x90\x80\x80\r\n", Western, u"1\r\nô\u0090€€\r\n"},
        {"a lead byte past F4, F5 80 80 80", "1\r\n\xF5\x80\x80\x80\r\n", Western, u"1\r\nõ€€€\r\n"},
        {"a sequence cut short by a line end", "1\r\n\xE4\xBD\r\n", Gbk, u"1\r\n浣\r\n"},
        {"a sequence cut short by the next one's lead", "1\r\n\xE4\xBD\xC3\xA9\r\n", Gbk, u"1\r\n浣茅\r\n"},
        {"an encoded surrogate after a UTF-8 mark", "\xEF\xBB\xBF" "1\r\n\xED\xA0\x80\r\n",
         FileEncoding{TextEncoding::Windows1252, true}, u"1\r\ní\u00A0€\r\n"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const bool marked = file.bytes.starts_with("\xEF\xBB\xBF");
        EXPECT_EQ(decodeText(file.bytes, FileEncoding{TextEncoding::Utf8, marked}), std::nullopt)
            << "no UTF-8: it would need a replacement character";
        const std::optional<FileEncoding> found = detectEncoding(file.bytes);
        ASSERT_EQ(describe(found), describe(file.encoding));
        const std::optional<std::u16string> text = decodeText(file.bytes, *found);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, file.text);
        EXPECT_EQ(decodeTextFile(file.bytes).lines, splitLines(file.text));
        EXPECT_EQ(encodeText(*text, *found), file.bytes);
    }
}

// A mark names the file's encoding, and units no UTF-32 or UTF-16 file can
// hold (a surrogate or a code point past U+10FFFF in UTF-32, a unit cut off
// at the end) make the file unreadable rather than read in part: it is
// refused, in whatever encoding it is asked for.
TEST(TextCodec, WideFilesWithUnitsTheirEncodingCannotHoldAreRefused)
{
    const FileEncoding Utf32LE{TextEncoding::Utf32LE, false}, Utf32BE{TextEncoding::Utf32BE, false};
    const FileEncoding Utf32LEMark{TextEncoding::Utf32LE, true}, Utf32BEMark{TextEncoding::Utf32BE, true};
    const FileEncoding Utf16LEMark{TextEncoding::Utf16LE, true}, Utf16BEMark{TextEncoding::Utf16BE, true};
    const struct {
        const char* name;
        std::string bytes;
        FileEncoding asked;
    } files[] = {
        {"UTF-32 LE holding a high surrogate", utf32(U"1\n") + "\x00\xD8\x00\x00"s, Utf32LE},
        {"UTF-32 BE holding a low surrogate", utf32(U"1\n", true) + "\x00\x00\xDC\x00"s, Utf32BE},
        {"UTF-32 LE with its mark holding a surrogate", "\xFF\xFE\0\0"s + utf32(U"你") + "\xFF\xDF\x00\x00"s,
         Utf32LEMark},
        {"UTF-32 BE past U+10FFFF", utf32(U"1\n", true) + "\x00\x11\x00\x00"s, Utf32BE},
        {"UTF-32 LE cut off by two bytes", utf32(U"1\n你") + "a\0"s, Utf32LE},
        {"UTF-32 BE with its mark cut off by a byte", "\0\0\xFE\xFF"s + utf32(U"1\n", true) + "\0"s, Utf32BEMark},
        {"UTF-16 BE with its mark cut off by a byte", "\xFE\xFF"s + utf16(u"1\n你", true) + "\0"s, Utf16BEMark},
        // without the mark these bytes would be good Windows-1252
        {"a UTF-16 mark before an odd number of bytes", "\xFF\xFE" "ABC", Utf16LEMark},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(describe(detectEncoding(file.bytes)), "refused");
        EXPECT_FALSE(decodeTextFile(file.bytes).decodable);
        EXPECT_EQ(decodeText(file.bytes, file.asked), std::nullopt);
    }
}

TEST(TextCodec, EveryTwoByteGbkCodeComesBackByteForByte)
{
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            std::string bytes{char(lead), char(trail)};
            std::optional<std::u16string> text = decodeText(bytes, Gbk);
            ASSERT_TRUE(text) << std::hex << lead << trail;
            ASSERT_EQ(text->find(u'\uFFFD'), std::u16string::npos) << std::hex << lead << trail;
            // beside 你好, which is no UTF-8, as in any real GBK file
            ASSERT_EQ(encodeText(*text + u"你好", Gbk), bytes + NihaoGbk) << std::hex << lead << trail;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 126 * 190);
}

TEST(TextCodec, LinesEndAtCrLfLfOrALoneCr)
{
    const struct {
        std::u16string_view text;
        std::vector<std::u16string> lines;
    } cases[] = {
        {u"A\r\nB\nC", {u"A", u"B", u"C"}},
        {u"A\rB\rC\r", {u"A", u"B", u"C"}},
        {u"A\r\rB\r", {u"A", u"", u"B"}},
        {u"A\r\r\nB", {u"A", u"", u"B"}},  // a CR doubled before its LF by a second conversion
        {u"A\n\rB", {u"A", u"", u"B"}},
        {u"A\r\n\r\n", {u"A", u""}},
        {u"\n", {u""}},
        {u"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitLines(c.text), c.lines) << toUtf8(c.text);
}

TEST(TextCodec, ATextTheFileCannotHoldIsWrittenWithoutLoss)
{
    // Chinese typed into a Western file: the whole file becomes UTF-8 with its mark
    EXPECT_EQ(encodeText(u"caf\u00E9 你好", Western), "\xEF\xBB\xBF" "caf\xC3\xA9 " + NihaoUtf8);
    EXPECT_EQ(encodeText(u"caf\u00E9", Western), "caf\xE9");
    EXPECT_EQ(encodeText(u"\U0001F600", Gbk), "\x94\x39\xFC\x36");
    // bytes that would read back as something else: a Western text starting
    // with "ÿþ", the UTF-16 mark; a GBK text that is also UTF-8 (浣犲ソ is 你好's UTF-8)
    EXPECT_EQ(encodeText(u"ÿþ!", Western), "\xEF\xBB\xBF\xC3\xBF\xC3\xBE!");
    EXPECT_EQ(encodeText(u"浣犲ソ", Gbk), "\xEF\xBB\xBF\xE6\xB5\xA3\xE7\x8A\xB2\xE3\x82\xBD");
    // a lone surrogate, which no 8-bit encoding holds, is all that is lost
    EXPECT_EQ(encodeText(u"a\xD800" "b", Gbk), "\xEF\xBB\xBF" "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(encodeText(u"a\xD800" "b", {TextEncoding::Utf16LE, true}), "\xFF\xFE" "a\0\x00\xD8" "b\0"s);
    EXPECT_EQ(encodeText(u"", Utf8Bom), "");
}

TEST(TextCodec, ControlCharactersInMessagesAreShownAsPictures)
{
    EXPECT_EQ(printable("00:00:01 --> x\r\x1B[0m\t."), "00:00:01 --> x␍␛[0m␉.");
    EXPECT_EQ(printable("字幕.srt"), "字幕.srt");
}

TEST(TextCodec, CodeSetNames)
{
    EXPECT_EQ(encodingOfCodeSet("GBK"), Gbk);
    EXPECT_EQ(encodingOfCodeSet("GB18030"), Gbk);
    EXPECT_EQ(encodingOfCodeSet("GB2312"), Gbk);
    EXPECT_EQ(encodingOfCodeSet("UTF-8"), Utf8);
    EXPECT_EQ(encodingOfCodeSet("ANSI_X3.4-1968"), Utf8);
}

TEST(TextCodec, TimelineEncodingPrefersTheSrtThenTheTextFileAndKeepsPureAscii)
{
    const FileEncoding utf16{TextEncoding::Utf16LE, true};
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);

    EXPECT_EQ(timelineEncoding(Gbk, &Utf8Bom), Gbk);
    EXPECT_EQ(timelineEncoding(utf16, nullptr), utf16);
    EXPECT_EQ(timelineEncoding(Undecided, &Gbk), Gbk);
    EXPECT_EQ(timelineEncoding(Undecided, &Utf8Bom), Utf8Bom);
    EXPECT_EQ(timelineEncoding(Undecided, &Undecided), Undecided);
    EXPECT_EQ(timelineEncoding(Undecided, nullptr), Undecided);
    // and writing "undecided" means the locale's code set
    EXPECT_EQ(encodeText(u"你好", Undecided), NihaoUtf8);
    std::setlocale(LC_CTYPE, "C");
}
