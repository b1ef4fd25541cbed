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
template <typename OnInvalid>
std::string convert(std::string_view in, const char* from, const char* to, OnInvalid onInvalid)
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
            size_t skip = std::min(srcLeft, onInvalid(out, std::string_view(src, srcLeft)));
            src += skip;
            srcLeft -= skip;
        }
    }
    return out;
}

std::string utf8ToGb18030(std::string_view utf8)
{
    return convert(utf8, "UTF-8", "GB18030", [](std::string& out, std::string_view rest) {
        out.push_back('?');
        char32_t cp;
        size_t n = utf8Sequence(rest, 0, cp);
        return n == 0 ? size_t{1} : n;
    });
}

std::string gb18030ToUtf8(std::string_view gb)
{
    return convert(gb, "GB18030", "UTF-8", [](std::string& out, std::string_view) {
        out += Utf8Replacement;
        return size_t{1};
    });
}

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    if (i < bytes.size())
        out.push_back(Replacement);  // a lone last byte
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

std::u16string decodeUtf32(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 4 + 1);
    size_t i = 0;
    for (; i + 3 < bytes.size(); i += 4) {
        char32_t cp = 0;
        for (size_t k = 0; k < 4; ++k) {
            auto b = static_cast<unsigned char>(bytes[i + (bigEndian ? k : 3 - k)]);
            cp = (cp << 8) | b;
        }
        bool valid = cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        appendCodePoint(out, valid ? cp : char32_t(Replacement));
    }
    if (i < bytes.size())
        out.push_back(Replacement);  // a cut-off last unit
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

// UTF-16 without a byte-order mark, told by its zero bytes: in text that is
// mostly ASCII (digits, time lines, line ends) the high byte of most units is
// zero and the low byte is not. Among the first 64 KiB, at least a fifth of
// the pairs must show the pattern on one side and next to none on the other.
// Chinese text in UTF-16 and ordinary 8-bit text both fail it.
std::optional<TextEncoding> utf16WithoutMark(std::string_view bytes)
{
    size_t pairs = std::min(bytes.size(), size_t{1} << 16) / 2;
    if (pairs < 2)
        return std::nullopt;
    size_t zeroSecond = 0, zeroFirst = 0;  // pairs whose second / first byte alone is zero
    for (size_t i = 0; i < pairs; ++i) {
        bool first = bytes[2 * i] == 0, second = bytes[2 * i + 1] == 0;
        zeroSecond += second && !first;
        zeroFirst += first && !second;
    }
    auto decides = [&](size_t side, size_t other) { return side * 5 >= pairs && other * 20 <= side; };
    if (decides(zeroSecond, zeroFirst))
        return TextEncoding::Utf16LE;
    if (decides(zeroFirst, zeroSecond))
        return TextEncoding::Utf16BE;
    return std::nullopt;
}

std::string_view bomOf(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8: return Utf8Bom;
    case TextEncoding::Utf16LE: return Utf16LEBom;
    case TextEncoding::Utf16BE: return Utf16BEBom;
    case TextEncoding::Utf32LE: return Utf32LEBom;
    case TextEncoding::Utf32BE: return Utf32BEBom;
    default: return {};
    }
}

}  // namespace

FileEncoding detectEncoding(std::string_view bytes)
{
    if (bytes.starts_with(Utf8Bom))
        return {TextEncoding::Utf8, true};
    // before UTF-16: the UTF-32 little-endian mark starts like the UTF-16 one
    if (bytes.starts_with(Utf32LEBom))
        return {TextEncoding::Utf32LE, true};
    if (bytes.starts_with(Utf32BEBom))
        return {TextEncoding::Utf32BE, true};
    if (bytes.starts_with(Utf16LEBom))
        return {TextEncoding::Utf16LE, true};
    if (bytes.starts_with(Utf16BEBom))
        return {TextEncoding::Utf16BE, true};
    if (auto utf16 = utf16WithoutMark(bytes))
        return {*utf16, false};
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return {TextEncoding::Undecided, false};
    return {isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gbk, false};
}

bool isDecodable(std::string_view bytes, FileEncoding encoding)
{
    switch (encoding.encoding) {
    case TextEncoding::Undecided:
    case TextEncoding::Utf8:
    case TextEncoding::Gbk: return bytes.find('\0') == std::string_view::npos;
    default: return true;
    }
}

std::u16string decodeText(std::string_view bytes, FileEncoding encoding)
{
    std::string_view bom = bomOf(encoding.encoding);
    if (!bom.empty() && bytes.starts_with(bom))
        bytes.remove_prefix(bom.size());
    switch (encoding.encoding) {
    case TextEncoding::Utf16LE: return decodeUtf16(bytes, false);
    case TextEncoding::Utf16BE: return decodeUtf16(bytes, true);
    case TextEncoding::Utf32LE: return decodeUtf32(bytes, false);
    case TextEncoding::Utf32BE: return decodeUtf32(bytes, true);
    case TextEncoding::Gbk: return fromUtf8(gb18030ToUtf8(bytes));
    case TextEncoding::Utf8:
    case TextEncoding::Undecided: break;  // ASCII reads the same either way
    }
    return fromUtf8(bytes);
}

std::vector<std::u16string> splitLines(std::u16string_view text)
{
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find(u'\n', start);
        if (lf == std::u16string_view::npos)
            lf = text.size();
        bool crBeforeLf = lf < text.size() && lf > start && text[lf - 1] == u'\r';
        size_t end = crBeforeLf ? lf - 1 : lf;
        lines.emplace_back(text.substr(start, end - start));
        start = lf + 1;
    }
    return lines;
}

TextFile decodeTextFile(std::string_view bytes)
{
    FileEncoding encoding = detectEncoding(bytes);
    return {splitLines(decodeText(bytes, encoding)), encoding, isDecodable(bytes, encoding)};
}

TextFile readTextFile(const std::string& path)
{
    return decodeTextFile(readWholeFile(path));
}

std::string encodeText(std::u16string_view text, FileEncoding encoding)
{
    if (text.empty())
        return {};
    if (encoding.encoding == TextEncoding::Undecided)
        return encodeText(text, {localeEncoding().encoding, encoding.bom});
    std::string out = encoding.bom ? std::string(bomOf(encoding.encoding)) : std::string();
    switch (encoding.encoding) {
    case TextEncoding::Utf16LE: return out + encodeUtf16(text, false);
    case TextEncoding::Utf16BE: return out + encodeUtf16(text, true);
    case TextEncoding::Utf32LE: return out + encodeUtf32(text, false);
    case TextEncoding::Utf32BE: return out + encodeUtf32(text, true);
    case TextEncoding::Gbk: return out + utf8ToGb18030(utf16ToUtf8(text, "?"));
    case TextEncoding::Utf8:
    case TextEncoding::Undecided: break;
    }
    return out + toUtf8(text);
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
    return localeEncoding();
}

}  // namespace vt
