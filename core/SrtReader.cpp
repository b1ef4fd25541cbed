#include "core/SrtReader.h"

#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <algorithm>
#include <optional>

namespace vt {

namespace {

constexpr std::u16string_view Arrow = u" --> ";
constexpr std::u16string_view BareArrow = u"-->";

bool isBlankChar(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\u3000' || c == u'\uFEFF';
}

std::u16string_view trimmed(std::u16string_view s)
{
    while (!s.empty() && isBlankChar(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankChar(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isNumberLine(std::u16string_view line)
{
    line = trimmed(line);
    return !line.empty() && std::all_of(line.begin(), line.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// One time of a time line: the first word of the field, with a one-digit
// hour padded to two. Throws TimeStringError.
int32_t readTime(std::u16string_view field)
{
    field = trimmed(field);
    field = field.substr(0, std::find_if(field.begin(), field.end(), isBlankChar) - field.begin());
    std::string ascii;
    for (char16_t c : field)
        ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    if (ascii.size() > 1 && ascii[1] == ':')
        ascii.insert(0, "0");
    return StrToMs(ascii);
}

// A time written strictly, H:MM:SS,mmm or HH:MM:SS.mmm: the times beside
// an arrow without its spaces, where a looser reading would take text for
// a time line.
std::optional<int32_t> strictTime(std::u16string_view field)
{
    field = trimmed(field);
    auto digits = [&](size_t from, size_t count) {
        int32_t value = 0;
        for (size_t k = from; k < from + count; ++k) {
            if (k >= field.size() || field[k] < u'0' || field[k] > u'9')
                return -1;
            value = value * 10 + (field[k] - u'0');
        }
        return value;
    };
    size_t h = field.size() > 1 && field[1] == u':' ? 1 : 2;  // a one-digit hour
    if (field.size() != h + 10 || field[h] != u':' || field[h + 3] != u':' ||
        (field[h + 6] != u',' && field[h + 6] != u'.'))
        return std::nullopt;
    int32_t hours = digits(0, h), minutes = digits(h + 1, 2), seconds = digits(h + 4, 2), millis = digits(h + 7, 3);
    if (hours < 0 || minutes < 0 || seconds < 0 || millis < 0)
        return std::nullopt;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis;
}

// A time line whose arrow lacks the spaces around it ("00:00:04,000-->00:00:06,000",
// or a space on one side only): its two times, when both are written strictly.
// Anything after the second time (a position, cue settings) is passed over.
std::optional<SrtTimeCode> timeLineWithBareArrow(std::u16string_view line)
{
    size_t arrow = line.find(BareArrow);
    if (arrow == std::u16string_view::npos)
        return std::nullopt;
    std::u16string_view after = trimmed(line.substr(arrow + BareArrow.size()));
    after = after.substr(0, std::find_if(after.begin(), after.end(), isBlankChar) - after.begin());
    std::optional<int32_t> start = strictTime(line.substr(0, arrow)), end = strictTime(after);
    if (!start || !end)
        return std::nullopt;
    return SrtTimeCode{*start, *end};
}

void appendTextLine(std::u16string& text, std::u16string_view line, std::u16string_view joiner)
{
    if (!text.empty())
        text += joiner;
    text += line;
}

// Runs of non-blank lines, each joined into one text.
std::vector<std::u16string> paragraphs(const TextLines& lines, std::u16string_view joiner)
{
    std::vector<std::u16string> texts;
    bool inParagraph = false;
    for (const auto& line : lines) {
        bool blank = isBlankLine(line);
        if (!blank && !inParagraph)
            texts.emplace_back();
        if (!blank)
            appendTextLine(texts.back(), line, joiner);
        inParagraph = !blank;
    }
    return texts;
}

}  // namespace

SrtTimeLineError::SrtTimeLineError(int32_t lineNumber, std::u16string_view line)
    : UserError(MsgTimeLinePrefix + std::to_string(lineNumber) + MsgTimeLineMiddle + printable(toUtf8(line))),
      lineNumber_(lineNumber)
{
}

bool isTimeLine(std::u16string_view line)
{
    return line.find(Arrow) != std::u16string_view::npos || timeLineWithBareArrow(line).has_value();
}

bool isBlankLine(std::u16string_view line)
{
    return std::all_of(line.begin(), line.end(), isBlankChar);
}

int32_t countTimeLines(const TextLines& lines)
{
    return static_cast<int32_t>(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return isTimeLine(l); }));
}

int32_t countTxtSubtitles(const TextLines& lines, bool oneLinePerSubtitle)
{
    if (oneLinePerSubtitle)
        return static_cast<int32_t>(lines.size());
    return static_cast<int32_t>(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return isBlankLine(l); }));
}

std::vector<SrtTimeCode> readSrtTimeCodes(const TextLines& lines)
{
    std::vector<SrtTimeCode> times;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string_view line = lines[i];
        size_t arrow = line.find(Arrow);
        if (arrow == std::u16string_view::npos) {
            if (std::optional<SrtTimeCode> bare = timeLineWithBareArrow(line))
                times.push_back(*bare);
            continue;
        }
        try {
            times.push_back({readTime(line.substr(0, arrow)), readTime(line.substr(arrow + Arrow.size()))});
        } catch (const TimeStringError&) {
            throw SrtTimeLineError(static_cast<int32_t>(i + 1), line);
        }
    }
    return times;
}

std::vector<std::u16string> readSrtTexts(const TextLines& lines)
{
    int32_t blocks = countTimeLines(lines);
    if (blocks == 0)
        return paragraphs(lines, LineBreak);  // nothing to attach them to
    std::vector<std::u16string> texts(static_cast<size_t>(blocks));
    size_t block = 0;  // text before the first time line goes to the first block
    size_t timeLinesSeen = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        if (isTimeLine(line)) {
            block = timeLinesSeen++;
            continue;
        }
        bool numberOfNextBlock = i + 1 < lines.size() && isTimeLine(lines[i + 1]) && isNumberLine(line);
        if (!isBlankLine(line) && !numberOfNextBlock)
            appendTextLine(texts[block], line, LineBreak);
    }
    return texts;
}

std::vector<std::u16string> readTxtTexts(const TextLines& lines, bool oneLinePerSubtitle)
{
    if (oneLinePerSubtitle)
        return lines;
    std::vector<std::u16string> texts = paragraphs(lines, u"");
    if (!texts.empty() && isBlankLine(lines.front()))
        texts.insert(texts.begin(), std::u16string());
    return texts;
}

}  // namespace vt
