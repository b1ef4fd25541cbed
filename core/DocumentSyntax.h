// The small pieces of syntax ASS/SSA and WebVTT files share, read and written
// alike by both (core/AssDocument.h, core/WebVttDocument.h): lines as
// offsets, the blanks between fields, the digits of times, the blocks a
// text starts with, and a timeline text's lines.
#pragma once

#include "core/DocumentText.h"
#include "core/ProjectState.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

inline constexpr size_t NoPosition = std::u16string_view::npos;
inline constexpr int64_t MaxMs = std::numeric_limits<int32_t>::max();
inline constexpr char16_t NoBreakSpace = u'\u00A0';

// The blanks a field may stand between.
inline bool isFieldBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The blanks around a section name or the first line of a file.
inline bool isLineBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\uFEFF'; }

template <typename IsBlank>
std::u16string_view trimmed(std::u16string_view s, IsBlank isBlank)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

inline std::u16string_view trimmedField(std::u16string_view s) { return trimmed(s, isFieldBlank); }

// The span without the field blanks at its two ends.
inline Span trimmedSpan(std::u16string_view text, Span span)
{
    while (span.begin < span.end && isFieldBlank(text[span.begin]))
        ++span.begin;
    while (span.end > span.begin && isFieldBlank(text[span.end - 1]))
        --span.end;
    return span;
}

// name: ASCII, lower case.
bool equalsIgnoringCase(std::u16string_view s, std::string_view name);

// One line of a text: where it starts, where its line end starts, where the
// next line starts.
struct TextLine {
    size_t begin = 0;
    size_t end = 0;
    size_t next = 0;
    int32_t number = 0;  // 1-based

    std::u16string_view content(std::u16string_view text) const { return text.substr(begin, end - begin); }
};

// Lines as splitLines (core/TextCodec.h) counts them, as offsets: a file of
// 10,000 events is not copied line by line. Inline, like the digits of
// times below: every line and every time of a file passes through them.
class LineScanner {
public:
    explicit LineScanner(std::u16string_view text) : text_(text) {}

    bool next(TextLine& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find_first_of(u"\r\n", pos_);
        if (end == NoPosition)
            end = text_.size();
        size_t next = end;
        if (next < text_.size())
            next += text_[end] == u'\r' && end + 1 < text_.size() && text_[end + 1] == u'\n' ? 2 : 1;
        line = {pos_, end, next, ++number_};
        pos_ = next;
        return true;
    }

private:
    std::u16string_view text_;
    size_t pos_ = 0;
    int32_t number_ = 0;
};

// The line end the file uses most, for the lines a save adds; `none` for a
// text without one.
std::u16string_view mostUsedLineEnd(std::u16string_view text, std::u16string_view none);

// ---- times ------------------------------------------------------------------

// Decimal digits at s[i]: at least minDigits, at most maxDigits. A long run
// stops growing the value past any time's, so it cannot overflow.
inline bool readDigits(std::u16string_view s, size_t& i, size_t minDigits, size_t maxDigits, int64_t& value,
                       size_t* count = nullptr)
{
    size_t from = i;
    value = 0;
    while (i < s.size() && i - from < maxDigits && s[i] >= u'0' && s[i] <= u'9') {
        value = std::min<int64_t>(value * 10 + (s[i] - u'0'), int64_t(1) << 40);
        ++i;
    }
    if (count)
        *count = i - from;
    return i - from >= minDigits;
}

inline bool readChar(std::u16string_view s, size_t& i, char16_t c)
{
    if (i >= s.size() || s[i] != c)
        return false;
    ++i;
    return true;
}

// Nothing for a time past the latest an event can have (MaxMs).
inline std::optional<int32_t> totalMs(int64_t hours, int64_t minutes, int64_t seconds, int64_t ms)
{
    int64_t total = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
    if (total > MaxMs)
        return std::nullopt;
    return static_cast<int32_t>(total);
}

// value with zeros ahead of it up to `digits` digits.
void appendPadded(std::u16string& out, int64_t value, size_t digits);

// ---- texts ------------------------------------------------------------------

// Where the run of blocks opened by `open` at the very start of s ends.
size_t leadingBlocksEnd(std::u16string_view s, char16_t open, char16_t close);

// The lines of a written text joined with "^p", each put in as
// appendLine(out, line) writes it.
template <typename AppendLine>
std::u16string linesJoined(std::u16string_view written, AppendLine appendLine)
{
    std::u16string out;
    LineScanner lines(written);
    for (TextLine line; lines.next(line);) {
        if (line.number > 1)
            out += LineBreak;
        appendLine(out, line.content(written));
    }
    return out;
}

// Calls f for each line of a timeline text: split at "^p" and at any line
// end, which a file's line must not hold.
template <typename F>
void forEachTextLine(std::u16string_view text, F f)
{
    size_t from = 0;
    for (size_t i = 0; i <= text.size();) {
        size_t breakSize = 0;
        if (i == text.size())
            breakSize = 1;
        else if (text.substr(i).starts_with(LineBreak))
            breakSize = LineBreak.size();
        else if (text[i] == u'\r')
            breakSize = i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
        else if (text[i] == u'\n')
            breakSize = 1;
        if (breakSize == 0) {
            ++i;
            continue;
        }
        f(text.substr(from, i - from));
        i += breakSize;
        from = i;
    }
}

}  // namespace vt
