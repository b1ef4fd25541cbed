#include "core/TextCodec.h"

#include "core/Errors.h"
#include "core/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace vt {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LEBom = "\xFF\xFE";
constexpr std::string_view Utf16BEBom = "\xFE\xFF";
constexpr std::string_view Utf32LEBom{"\xFF\xFE\x00\x00", 4};
constexpr std::string_view Utf32BEBom{"\x00\x00\xFE\xFF", 4};
constexpr std::string_view Utf8Replacement = "\xEF\xBF\xBD";
constexpr char16_t Replacement = u'\uFFFD';

// The length of the well-formed UTF-8 sequence at s[i] and its code point,
// or 0 when none starts there.
size_t utf8Sequence(std::string_view s, size_t i, char32_t& cp)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i < len || byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    return len;
}

bool isValidUtf8(std::string_view s)
{
    char32_t cp;
    for (size_t i = 0; i < s.size();) {
        size_t n = utf8Sequence(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void appendCodePoint(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16 -> UTF-8; a lone surrogate becomes `replacement`.
std::string utf16ToUtf8(std::u16string_view text, std::string_view replacement)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += replacement;
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

// Runs glibc's iconv over the whole input. `onInvalid` is called where the
// input holds a sequence the converter refuses (or that is cut off at the
// end); it appends a replacement to the output and returns how many input
// bytes to skip.
// Runs glibc's iconv over the whole input. `onInvalid` is called where the
// input holds a sequence the converter refuses (or that is cut off at the
// end); it appends a replacement to the output and returns how many input
// bytes to skip, or returns nothing to give the conversion up.
template <typename OnInvalid>
std::optional<std::string> convert(std::string_view in, const char* from, const char* to, OnInvalid onInvalid)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw UserError(std::string("系统缺少从 ") + from + " 到 " + to + " 的编码转换，无法处理这个文件");
    std::unique_ptr<std::remove_pointer_t<iconv_t>, int (*)(iconv_t)> closer(cd, ::iconv_close);
    std::string out;
    char buf[4096];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        int err = errno;
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1) && err != E2BIG) {
            std::optional<size_t> skip = onInvalid(out, std::string_view(src, srcLeft));
            if (!skip)
                return std::nullopt;
            src += std::min(srcLeft, *skip);
            srcLeft -= std::min(srcLeft, *skip);
        }
    }
    return out;
}

std::string utf8ToGb18030(std::string_view utf8)
{
    auto replaced = [](std::string& out, std::string_view rest) -> std::optional<size_t> {
        out.push_back('?');
        char32_t cp;
        size_t n = utf8Sequence(rest, 0, cp);
        return n == 0 ? size_t{1} : n;
    };
    return *convert(utf8, "UTF-8", "GB18030", replaced);
}

std::optional<std::string> gb18030ToUtf8(std::string_view gb)
{
    return convert(gb, "GB18030", "UTF-8", [](std::string&, std::string_view) -> std::optional<size_t> { return {}; });
}

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::optional<std::u16string> decodeUtf16(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;  // a lone last byte
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    return out;
}

std::optional<std::u16string> decodeUtf32(std::string_view bytes, bool bigEndian)
{
    if (bytes.size() % 4 != 0)
        return std::nullopt;  // a cut-off last unit
    std::u16string out;
    out.reserve(bytes.size() / 4);
    for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
        char32_t cp = 0;
        for (size_t k = 0; k < 4; ++k)
            cp = (cp << 8) | static_cast<unsigned char>(bytes[i + (bigEndian ? k : 3 - k)]);
        if (cp > 0x10FFFF || isSurrogate(cp))
            return std::nullopt;
        appendCodePoint(out, cp);
    }
    return out;
}

std::string encodeUtf16(std::u16string_view text, bool bigEndian)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    }
    return out;
}


std::string encodeUtf32(std::u16string_view text, bool bigEndian)
{
    std::string out;
    out.reserve(text.size() * 4);
    auto put = [&](char32_t cp) {
        for (size_t k = 0; k < 4; ++k) {
            size_t shift = 8 * (bigEndian ? 3 - k : k);
            out.push_back(static_cast<char>((cp >> shift) & 0xFF));
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            put(Replacement);
        } else {
            put(c);
        }
    }
    return out;
}


// Windows-1252: Latin-1 but for 0x80-0x9F. The five bytes it leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are read as the C1 controls of
// the same number, as browsers do, so that they too come back as they were.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string decodeWindows1252(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out.push_back(b >= 0x80 && b < 0xA0 ? Windows1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// Nothing when a character has no Windows-1252 byte.
std::optional<std::string> encodeWindows1252(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const char16_t* hit = std::find(std::begin(Windows1252High), std::end(Windows1252High), c);
        if (hit == std::end(Windows1252High))
            return std::nullopt;
        out.push_back(static_cast<char>(0x80 + (hit - std::begin(Windows1252High))));
    }
    return out;
}

std::string_view markOf(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf16LE: return Utf16LEBom;
    case TextEncoding::Utf16BE: return Utf16BEBom;
    case TextEncoding::Utf32LE: return Utf32LEBom;
    case TextEncoding::Utf32BE: return Utf32BEBom;
    default: return Utf8Bom;  // a mark before 8-bit text is the UTF-8 one, as it was read
    }
}

// checkRoundTrip: a GB18030 decoding is taken only when writing it back
// gives the same bytes. Bytes just written from a text need no such check:
// they decode to that text or they do not.
std::optional<std::u16string> decodeWithoutMark(std::string_view bytes, TextEncoding encoding,
                                                bool checkRoundTrip = true)
{
    switch (encoding) {
    case TextEncoding::Utf16LE: return decodeUtf16(bytes, false);
    case TextEncoding::Utf16BE: return decodeUtf16(bytes, true);
    case TextEncoding::Utf32LE: return decodeUtf32(bytes, false);
    case TextEncoding::Utf32BE: return decodeUtf32(bytes, true);
    case TextEncoding::Windows1252:
        if (bytes.find('\0') != std::string_view::npos)
            return std::nullopt;
        return decodeWindows1252(bytes);
    case TextEncoding::Gbk: {
        if (bytes.find('\0') != std::string_view::npos)
            return std::nullopt;
        std::optional<std::string> utf8 = gb18030ToUtf8(bytes);
        if (!utf8)
            return std::nullopt;
        std::u16string text = fromUtf8(*utf8);
        // a GB18030 code this system's tables would write back otherwise is not read
        if (checkRoundTrip && utf8ToGb18030(*utf8) != bytes)
            return std::nullopt;
        return text;
    }
    case TextEncoding::Utf8:
    case TextEncoding::Undecided: break;
    }
    // NUL is no character of any subtitle text: such bytes are no 8-bit text
    if (bytes.find('\0') != std::string_view::npos || !isValidUtf8(bytes))
        return std::nullopt;
    return fromUtf8(bytes);
}

// What marks a subtitle file's units: line ends, digits, the time line's
// punctuation and the space.
bool isStructureUnit(char32_t c)
{
    return c == u'\n' || c == u'\r' || c == u' ' || (c >= u'0' && c <= u'9') || c == u':' || c == u',' ||
           c == u'-' || c == u'>';
}

// How many units of text read as UTF-16 look like a subtitle file's
// structure; nothing when that reading is impossible: a NUL character, or a
// surrogate out of its pair.
std::optional<size_t> utf16StructureUnits(std::u16string_view text)
{
    size_t structure = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == 0)
            return std::nullopt;
        if (isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !isLowSurrogate(text[i + 1]))
                return std::nullopt;
            ++i;
        } else if (isLowSurrogate(c)) {
            return std::nullopt;
        }
        structure += isStructureUnit(c);
    }
    return structure;
}

// Bytes holding NUL, which no 8-bit subtitle text does: UTF-32 or UTF-16
// without a mark, or nothing.
std::optional<FileEncoding> wideWithoutMark(std::string_view bytes)
{
    for (TextEncoding e : {TextEncoding::Utf32LE, TextEncoding::Utf32BE}) {
        std::optional<std::u16string> text = decodeWithoutMark(bytes, e);
        if (text && text->find(u'\0') == std::u16string::npos)
            return FileEncoding{e, false};
    }
    std::optional<size_t> little, big;
    if (std::optional<std::u16string> text = decodeUtf16(bytes, false))
        little = utf16StructureUnits(*text);
    if (std::optional<std::u16string> text = decodeUtf16(bytes, true))
        big = utf16StructureUnits(*text);
    // a reading with none of them is a binary file's
    if (little && *little > 0 && (!big || *little >= *big))
        return FileEncoding{TextEncoding::Utf16LE, false};
    if (big && *big > 0)
        return FileEncoding{TextEncoding::Utf16BE, false};
    return std::nullopt;
}

struct Decoded {
    FileEncoding encoding;
    std::u16string text;
};

// The first of the 8-bit encodings (UTF-8, GB18030, Windows-1252) that reads the bytes.
std::optional<Decoded> eightBit(std::string_view bytes, bool mark, bool checkRoundTrip)
{
    for (TextEncoding e : {TextEncoding::Utf8, TextEncoding::Gbk, TextEncoding::Windows1252})
        if (std::optional<std::u16string> text = decodeWithoutMark(bytes, e, checkRoundTrip))
            return Decoded{{e, mark}, std::move(*text)};
    return std::nullopt;
}

// detectEncoding's order, keeping the text it decoded on the way.
std::optional<Decoded> detectAndDecode(std::string_view bytes, bool checkRoundTrip)
{
    // UTF-32 before UTF-16: the UTF-32 little-endian mark starts like the UTF-16 one
    for (TextEncoding e : {TextEncoding::Utf32LE, TextEncoding::Utf32BE, TextEncoding::Utf16LE, TextEncoding::Utf16BE}) {
        if (bytes.starts_with(markOf(e))) {
            std::optional<std::u16string> text = decodeWithoutMark(bytes.substr(markOf(e).size()), e);
            if (text && text->find(u'\0') == std::u16string::npos)
                return Decoded{{e, true}, std::move(*text)};
            if (e == TextEncoding::Utf32LE)
                continue;  // FF FE 00 00 may still be UTF-16 whose first character is NUL: refused there
            return std::nullopt;
        }
    }
    if (bytes.starts_with(Utf8Bom))
        return eightBit(bytes.substr(Utf8Bom.size()), true, checkRoundTrip);
    if (bytes.find('\0') != std::string_view::npos) {
        std::optional<FileEncoding> wide = wideWithoutMark(bytes);
        if (!wide)
            return std::nullopt;
        return Decoded{*wide, *decodeWithoutMark(bytes, wide->encoding)};
    }
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return Decoded{{TextEncoding::Undecided, false}, fromUtf8(bytes)};
    return eightBit(bytes, false, checkRoundTrip);
}

}  // namespace

std::optional<FileEncoding> detectEncoding(std::string_view bytes)
{
    std::optional<Decoded> decoded = detectAndDecode(bytes, true);
    return decoded ? std::optional(decoded->encoding) : std::nullopt;
}

std::optional<std::u16string> decodeText(std::string_view bytes, FileEncoding encoding)
{
    if (encoding.bom) {
        if (!bytes.starts_with(markOf(encoding.encoding)))
            return std::nullopt;
        bytes.remove_prefix(markOf(encoding.encoding).size());
    }
    return decodeWithoutMark(bytes, encoding.encoding);
}

std::vector<std::u16string> splitLines(std::u16string_view text)
{
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        bool crLf = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n';
        start = end + (crLf ? 2 : 1);
    }
    return lines;
}

TextFile decodeTextFile(std::string_view bytes)
{
    std::optional<Decoded> decoded = detectAndDecode(bytes, true);
    if (!decoded)
        return {{}, {}, false};
    return {splitLines(decoded->text), decoded->encoding, true};
}

TextFile readTextFile(const std::string& path)
{
    return decodeTextFile(readWholeFile(path));
}

namespace {

std::string encodeAsAsked(std::u16string_view text, FileEncoding encoding)
{
    if (encoding.encoding == TextEncoding::Undecided)
        encoding.encoding = localeEncoding().encoding;
    std::string out = encoding.bom ? std::string(markOf(encoding.encoding)) : std::string();
    switch (encoding.encoding) {
    case TextEncoding::Utf16LE: return out + encodeUtf16(text, false);
    case TextEncoding::Utf16BE: return out + encodeUtf16(text, true);
    case TextEncoding::Utf32LE: return out + encodeUtf32(text, false);
    case TextEncoding::Utf32BE: return out + encodeUtf32(text, true);
    case TextEncoding::Gbk: return out + utf8ToGb18030(utf16ToUtf8(text, "?"));
    case TextEncoding::Windows1252:
        if (std::optional<std::string> western = encodeWindows1252(text))
            return out + *western;
        return {};  // reads back as nothing: encodeText writes UTF-8 instead
    case TextEncoding::Utf8:
    case TextEncoding::Undecided: break;
    }
    return out + toUtf8(text);
}

}  // namespace

std::string encodeText(std::u16string_view text, FileEncoding encoding)
{
    if (text.empty())
        return {};
    std::string out = encodeAsAsked(text, encoding);
    // What is written must read back as what was written. Bytes the reader
    // would take for another encoding (a Western text that starts with "ÿþ",
    // which is the UTF-16 mark; a GBK text whose only bytes that are no
    // UTF-8 were in lines the save leaves out) are written as UTF-8 with
    // its mark instead, which always reads back.
    std::optional<Decoded> readBack = detectAndDecode(out, false);
    if (!readBack || readBack->text != text)
        return std::string(Utf8Bom) + toUtf8(text);
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    return utf16ToUtf8(text, Utf8Replacement);
}

std::u16string fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    char32_t cp;
    for (size_t i = 0; i < text.size();) {
        size_t n = utf8Sequence(text, i, cp);
        if (n == 0) {
            out.push_back(Replacement);
            i += 1;
        } else {
            appendCodePoint(out, cp);
            i += n;
        }
    }
    return out;
}

FileEncoding encodingOfCodeSet(std::string_view codeSet)
{
    bool gb = codeSet.starts_with("GB") || codeSet.starts_with("gb") || codeSet == "EUC-CN";
    return {gb ? TextEncoding::Gbk : TextEncoding::Utf8, false};
}

FileEncoding localeEncoding()
{
    return encodingOfCodeSet(::nl_langinfo(CODESET));
}

FileEncoding timelineEncoding(FileEncoding srtFile, const FileEncoding* textFile)
{
    if (srtFile.encoding != TextEncoding::Undecided)
        return srtFile;
    if (textFile && textFile->encoding != TextEncoding::Undecided)
        return *textFile;
    return srtFile;
}

}  // namespace vt
