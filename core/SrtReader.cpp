#include "core/SrtReader.h"

#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <algorithm>

namespace vt {

namespace {

constexpr std::u16string_view Arrow = u" --> ";

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
    : UserError(MsgTimeLinePrefix + std::to_string(lineNumber) + MsgTimeLineMiddle + toUtf8(line)),
      lineNumber_(lineNumber)
{
}

bool isTimeLine(std::u16string_view line)
{
    return line.find(Arrow) != std::u16string_view::npos;
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
        if (arrow == std::u16string_view::npos)
            continue;
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
