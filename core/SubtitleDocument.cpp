#include "core/SubtitleDocument.h"

#include "core/SrtReader.h"
#include "core/SrtText.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace vt {

namespace {

constexpr size_t NoPosition = std::u16string_view::npos;
constexpr int64_t MaxMs = std::numeric_limits<int32_t>::max();
constexpr char16_t NoBreakSpace = u'\u00A0';
constexpr std::u16string_view WebVttArrow = u"-->";
constexpr std::u16string_view DefaultAssFormatLine =
    u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";

// The blanks a field may stand between.
bool isFieldBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The blanks around a section name or the first line of a file.
bool isLineBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\uFEFF'; }

template <typename IsBlank>
std::u16string_view trimmed(std::u16string_view s, IsBlank isBlank)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::u16string_view trimmedField(std::u16string_view s) { return trimmed(s, isFieldBlank); }

// name: ASCII, lower case.
bool equalsIgnoringCase(std::u16string_view s, std::string_view name)
{
    return s.size() == name.size() && std::equal(s.begin(), s.end(), name.begin(), [](char16_t a, char b) {
               return (a >= u'A' && a <= u'Z' ? char16_t(a - u'A' + u'a') : a) == char16_t(b);
           });
}

void appendAscii(std::u16string& out, std::string_view ascii) { out.append(ascii.begin(), ascii.end()); }

// One line of a text: where it starts, where its line end starts, where the
// next line starts.
struct Line {
    size_t begin = 0;
    size_t end = 0;
    size_t next = 0;
    int32_t number = 0;  // 1-based
};

// Lines as splitLines (core/TextCodec.h) counts them, as offsets: a file of
// 10,000 events is not copied line by line.
class LineScanner {
public:
    explicit LineScanner(std::u16string_view text) : text_(text) {}

    bool next(Line& line)
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

bool endsWithLineEnd(std::u16string_view s) { return !s.empty() && (s.back() == u'\n' || s.back() == u'\r'); }

// The line end the file uses most, for the lines a save adds.
std::u16string_view mostUsedLineEnd(std::u16string_view text, std::u16string_view none)
{
    size_t crLf = 0, lf = 0, cr = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            bool pair = i + 1 < text.size() && text[i + 1] == u'\n';
            (pair ? crLf : cr) += 1;
            i += pair;
        } else if (text[i] == u'\n') {
            ++lf;
        }
    }
    if (crLf + lf + cr == 0)
        return none;
    if (crLf >= lf && crLf >= cr)
        return u"\r\n";
    return lf >= cr ? u"\n" : u"\r";
}

// ---- times ------------------------------------------------------------------

// Decimal digits at s[i]: at least minDigits, at most maxDigits. A long run
// stops growing the value past any time's, so it cannot overflow.
bool readDigits(std::u16string_view s, size_t& i, size_t minDigits, size_t maxDigits, int64_t& value,
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

bool readChar(std::u16string_view s, size_t& i, char16_t c)
{
    if (i >= s.size() || s[i] != c)
        return false;
    ++i;
    return true;
}

std::optional<int32_t> totalMs(int64_t hours, int64_t minutes, int64_t seconds, int64_t ms)
{
    int64_t total = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
    if (total > MaxMs)
        return std::nullopt;
    return static_cast<int32_t>(total);
}

// ASS "H:MM:SS.CC": hours of any length, one or two digits of minutes and
// seconds, one to three digits of fraction (tenths, centiseconds or
// milliseconds).
std::optional<int32_t> readAssTime(std::u16string_view s)
{
    constexpr size_t Any = std::numeric_limits<size_t>::max();
    size_t i = 0, fractionDigits = 0;
    int64_t hours = 0, minutes = 0, seconds = 0, fraction = 0;
    if (!readDigits(s, i, 1, Any, hours) || !readChar(s, i, u':') || !readDigits(s, i, 1, 2, minutes) ||
        !readChar(s, i, u':') || !readDigits(s, i, 1, 2, seconds))
        return std::nullopt;
    if (readChar(s, i, u'.') && !readDigits(s, i, 1, 3, fraction, &fractionDigits))
        return std::nullopt;
    if (i != s.size())
        return std::nullopt;
    constexpr std::array<int64_t, 4> ToMs{0, 100, 10, 1};
    return totalMs(hours, minutes, seconds, fraction * ToMs[fractionDigits]);
}

// WebVTT "mm:ss.ttt" or "hh:mm:ss.ttt" (an hour of any length).
std::optional<int32_t> readWebVttTime(std::u16string_view s)
{
    constexpr size_t Any = std::numeric_limits<size_t>::max();
    size_t i = 0, firstDigits = 0;
    int64_t first = 0, second = 0, third = 0, ms = 0;
    if (!readDigits(s, i, 1, Any, first, &firstDigits) || !readChar(s, i, u':') || !readDigits(s, i, 2, 2, second))
        return std::nullopt;
    bool hours = readChar(s, i, u':');
    if (hours ? !readDigits(s, i, 2, 2, third) : firstDigits != 2)
        return std::nullopt;
    if (!readChar(s, i, u'.') || !readDigits(s, i, 3, 3, ms) || i != s.size())
        return std::nullopt;
    int64_t minutes = hours ? second : first, seconds = hours ? third : second;
    if (minutes > 59 || seconds > 59)
        return std::nullopt;
    return totalMs(hours ? first : 0, minutes, seconds, ms);
}

void appendPadded(std::u16string& out, int64_t value, size_t digits)
{
    std::string text = std::to_string(value);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    appendAscii(out, text);
}

// Centiseconds rounded to the nearest: read back at any rate below 100
// frames a second, they give the same frame, which a truncation would not.
std::u16string assTimeText(int32_t frame, float frameRate, size_t hourDigits)
{
    double exact = std::clamp(double(frame) * 100.0 / double(frameRate), 0.0, double(MaxMs / 10));
    int64_t cs = std::llround(exact);
    std::u16string out;
    appendPadded(out, cs / 360000, std::max<size_t>(hourDigits, 1));
    out += u':';
    appendPadded(out, cs / 6000 % 60, 2);
    out += u':';
    appendPadded(out, cs / 100 % 60, 2);
    out += u'.';
    appendPadded(out, cs % 100, 2);
    return out;
}

// Milliseconds as SRT writes them (FrameToTime).
std::u16string webVttTimeText(int32_t frame, float frameRate, bool withHours)
{
    double exact = std::clamp(std::trunc(double(frame) * 1000.0 / double(frameRate)), 0.0, double(MaxMs));
    auto ms = static_cast<int64_t>(exact);
    std::u16string out;
    if (withHours || ms >= 3600000) {
        appendPadded(out, ms / 3600000, 2);
        out += u':';
    }
    appendPadded(out, ms / 60000 % 60, 2);
    out += u':';
    appendPadded(out, ms / 1000 % 60, 2);
    out += u'.';
    appendPadded(out, ms % 1000, 3);
    return out;
}

size_t hourDigitsOf(std::u16string_view assTime) { return std::min(assTime.find(u':'), assTime.size()); }

bool hasHours(std::u16string_view webVttTime) { return std::count(webVttTime.begin(), webVttTime.end(), u':') == 2; }

// ---- texts ------------------------------------------------------------------

std::u16string assShown(std::u16string_view field)
{
    std::u16string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        char16_t c = field[i];
        if (c == u'{') {
            size_t close = field.find(u'}', i + 1);
            if (close == NoPosition) {
                out += field.substr(i);
                break;
            }
            i = close;
        } else if (c == u'\\' && i + 1 < field.size() && (field[i + 1] == u'N' || field[i + 1] == u'n')) {
            out += LineBreak;
            ++i;
        } else if (c == u'\\' && i + 1 < field.size() && field[i + 1] == u'h') {
            out += NoBreakSpace;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// Where the run of blocks opened by `open` at the very start of s ends.
size_t leadingBlocksEnd(std::u16string_view s, char16_t open, char16_t close)
{
    size_t i = 0;
    while (i < s.size() && s[i] == open) {
        size_t end = s.find(close, i + 1);
        if (end == NoPosition)
            break;
        i = end + 1;
    }
    return i;
}

struct Entity {
    std::u16string_view name;
    char16_t c;
};
constexpr std::array<Entity, 6> WebVttEntities{{{u"&amp;", u'&'},
                                                {u"&lt;", u'<'},
                                                {u"&gt;", u'>'},
                                                {u"&nbsp;", NoBreakSpace},
                                                {u"&lrm;", u'\u200E'},
                                                {u"&rlm;", u'\u200F'}}};

void appendWebVttShown(std::u16string& out, std::u16string_view line)
{
    for (size_t i = 0; i < line.size(); ++i) {
        char16_t c = line[i];
        if (c == u'<') {
            size_t close = line.find(u'>', i + 1);
            if (close == NoPosition) {
                out += line.substr(i);
                break;
            }
            i = close;
            continue;
        }
        if (c == u'&') {
            auto entity = std::find_if(WebVttEntities.begin(), WebVttEntities.end(),
                                       [&](const Entity& e) { return line.substr(i).starts_with(e.name); });
            if (entity != WebVttEntities.end()) {
                out += entity->c;
                i += entity->name.size() - 1;
                continue;
            }
        }
        out += c;
    }
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

// An ASS Text field for a timeline text: one line, its breaks as \N.
std::u16string assWritten(std::u16string_view text)
{
    std::u16string out;
    bool first = true;
    forEachTextLine(text, [&](std::u16string_view line) {
        if (!first)
            out += u"\\N";
        first = false;
        for (char16_t c : line) {
            if (c == NoBreakSpace)
                out += u"\\h";
            else
                out += c;
        }
    });
    return out;
}

// The payload lines of a cue for a timeline text. A blank line would end
// the cue, and the rest of the text would become a block of its own: such
// lines are left out.
std::vector<std::u16string> webVttWritten(std::u16string_view text)
{
    std::vector<std::u16string> lines;
    forEachTextLine(text, [&](std::u16string_view line) {
        if (isBlankLine(line))
            return;
        std::u16string& out = lines.emplace_back();
        for (char16_t c : line) {
            switch (c) {
            case u'&': out += u"&amp;"; break;
            case u'<': out += u"&lt;"; break;
            case u'>': out += u"&gt;"; break;
            case NoBreakSpace: out += u"&nbsp;"; break;
            default: out += c;
            }
        }
    });
    return lines;
}

}  // namespace

TimelineFormat timelineFormatOf(std::u16string_view text)
{
    LineScanner lines(text);
    Line line;
    if (!lines.next(line))
        return TimelineFormat::Srt;
    std::u16string_view first = text.substr(line.begin, line.end - line.begin);
    constexpr std::u16string_view WebVtt = u"WEBVTT";
    if (first.starts_with(WebVtt) && (first.size() == WebVtt.size() || isFieldBlank(first[WebVtt.size()])))
        return TimelineFormat::WebVtt;
    do {
        std::u16string_view content = text.substr(line.begin, line.end - line.begin);
        if (!isBlankLine(content))
            return equalsIgnoringCase(trimmed(content, isLineBlank), "[script info]") ? TimelineFormat::Ass
                                                                                      : TimelineFormat::Srt;
    } while (lines.next(line));
    return TimelineFormat::Srt;
}

std::optional<SubtitleDocument> documentOf(std::string_view bytes, const TextFile& file)
{
    if (!file.decodable || file.lines.empty())
        return std::nullopt;
    // what timelineFormatOf looks at: the first line, and the first that is not blank
    std::u16string head = file.lines.front();
    for (size_t i = 1; i < file.lines.size() && isBlankLine(head); ++i)
        head = file.lines[i];
    if (file.lines.front() != head)
        head = file.lines.front() + u"\n" + head;
    const TimelineFormat format = timelineFormatOf(head);
    if (format == TimelineFormat::Srt)
        return std::nullopt;
    std::optional<std::u16string> text = decodeText(bytes, file.encoding);
    if (!text)
        return std::nullopt;
    return SubtitleDocument::parse(format, std::move(*text));
}

EventLineError::EventLineError(int32_t lineNumber, std::u16string_view line)
    : UserError(MsgTimeLinePrefix + std::to_string(lineNumber) + MsgEventLineMiddle + printable(toUtf8(line))),
      lineNumber_(lineNumber)
{
}

std::u16string textAsShown(TimelineFormat format, std::u16string_view written)
{
    if (format == TimelineFormat::Ass)
        return assShown(written);
    std::u16string out;
    LineScanner lines(written);
    for (Line line; lines.next(line);) {
        if (line.number > 1)
            out += LineBreak;
        std::u16string_view content = written.substr(line.begin, line.end - line.begin);
        if (format == TimelineFormat::WebVtt)
            appendWebVttShown(out, content);
        else
            out += content;
    }
    return out;
}

// ---- reading ------------------------------------------------------------------

class DocumentReader {
public:
    using Span = SubtitleDocument::Span;
    using AssField = SubtitleDocument::AssField;
    using AssFormat = SubtitleDocument::AssFormat;

    static const AssFormat& defaultAssFormat()
    {
        static const AssFormat format{AssField::Layer,   AssField::Start,   AssField::End,
                                      AssField::Style,   AssField::Name,    AssField::MarginL,
                                      AssField::MarginR, AssField::MarginV, AssField::Effect,
                                      AssField::Text};
        return format;
    }

    // The fields of an ASS line from `begin` to `end`: as many as asked, the
    // last taking the rest of the line, commas and all. Fewer when the line
    // has fewer.
    static void splitFields(std::u16string_view text, size_t begin, size_t end, size_t count, std::vector<Span>& fields)
    {
        fields.clear();
        for (size_t from = begin; fields.size() < count;) {
            size_t comma = fields.size() + 1 < count ? text.substr(0, end).find(u',', from) : NoPosition;
            if (comma == NoPosition) {
                fields.push_back({from, end});
                break;
            }
            fields.push_back({from, comma});
            from = comma + 1;
        }
        if (fields.size() < count)
            fields.clear();
    }

    static Span trimmedSpan(std::u16string_view text, Span span)
    {
        while (span.begin < span.end && isFieldBlank(text[span.begin]))
            ++span.begin;
        while (span.end > span.begin && isFieldBlank(text[span.end - 1]))
            --span.end;
        return span;
    }

    static std::u16string_view view(std::u16string_view text, Span span)
    {
        return text.substr(span.begin, span.end - span.begin);
    }

    static AssFormat readAssFormat(std::u16string_view names)
    {
        constexpr std::array<std::pair<std::string_view, AssField>, 12> Known{{{"layer", AssField::Layer},
                                                                               {"marked", AssField::Marked},
                                                                               {"start", AssField::Start},
                                                                               {"end", AssField::End},
                                                                               {"style", AssField::Style},
                                                                               {"name", AssField::Name},
                                                                               {"actor", AssField::Name},
                                                                               {"marginl", AssField::MarginL},
                                                                               {"marginr", AssField::MarginR},
                                                                               {"marginv", AssField::MarginV},
                                                                               {"effect", AssField::Effect},
                                                                               {"text", AssField::Text}}};
        AssFormat format;
        size_t from = 0;
        for (;;) {
            size_t comma = names.find(u',', from);
            std::u16string_view name = trimmedField(names.substr(from, comma == NoPosition ? NoPosition : comma - from));
            auto known = std::find_if(Known.begin(), Known.end(),
                                      [&](const auto& k) { return equalsIgnoringCase(name, k.first); });
            format.push_back(known == Known.end() ? AssField::Other : known->second);
            if (comma == NoPosition)
                return format;
            from = comma + 1;
        }
    }

    static bool holds(const AssFormat& format, AssField field)
    {
        return std::find(format.begin(), format.end(), field) != format.end();
    }

    static void readDialogue(SubtitleDocument& doc, const Line& line, size_t fieldsBegin, int32_t format,
                             std::vector<Span>& fields)
    {
        std::u16string_view text = doc.text_;
        std::u16string_view content = text.substr(line.begin, line.end - line.begin);
        const AssFormat& names = format >= 0 ? doc.formats_[size_t(format)] : defaultAssFormat();
        splitFields(text, fieldsBegin, line.end, names.size(), fields);
        if (fields.empty())
            throw EventLineError(line.number, content);
        SubtitleDocument::EventPlace place;
        for (size_t k = 0; k < names.size(); ++k) {
            if (names[k] == AssField::Start)
                place.start = trimmedSpan(text, fields[k]);
            else if (names[k] == AssField::End)
                place.end = trimmedSpan(text, fields[k]);
            else if (names[k] == AssField::Text)
                place.text = fields[k];
        }
        std::optional<int32_t> start = readAssTime(view(text, place.start)), end = readAssTime(view(text, place.end));
        if (!start || !end)
            throw SrtTimeLineError(line.number, content);
        place.leadEnd = place.text.begin + leadingBlocksEnd(view(text, place.text), u'{', u'}');
        place.removal = {line.begin, line.next};
        place.after = line.next;
        place.fieldsBegin = fieldsBegin;
        place.format = format;
        doc.places_.push_back(place);
        doc.events_.push_back({*start, *end, assShown(view(text, place.text)), line.number});
    }

    static SubtitleDocument ass(std::u16string source)
    {
        SubtitleDocument doc;
        doc.format_ = TimelineFormat::Ass;
        doc.text_ = std::move(source);
        doc.lineEnd_ = mostUsedLineEnd(doc.text_, u"\r\n");
        std::u16string_view text = doc.text_;

        enum class Section : int8_t { Other, Events, Styles };
        Section section = Section::Other;
        int32_t format = -1;        // the Format this section's Dialogue lines follow; -1: the usual one
        size_t styleNameField = 0;  // where the name is in this section's Style lines
        bool styleFound = false;
        // A file without events gets its first one at the end of its first [Events] section.
        bool eventsSeen = false, inFirstEvents = false;
        size_t firstEventsEnd = 0;
        int32_t firstEventsFormat = -1;
        bool lastLineBlank = true;
        std::vector<size_t> formatEnds;  // per Format line: where the line after it starts
        std::vector<Span> fields;

        LineScanner lines(text);
        for (Line line; lines.next(line);) {
            std::u16string_view content = text.substr(line.begin, line.end - line.begin);
            lastLineBlank = isBlankLine(content);
            std::u16string_view bare = trimmed(content, isLineBlank);
            if (bare.size() >= 2 && bare.front() == u'[' && bare.back() == u']') {
                std::u16string_view name = trimmedField(bare.substr(1, bare.size() - 2));
                bool styles = equalsIgnoringCase(name, "v4+ styles") || equalsIgnoringCase(name, "v4 styles") ||
                              equalsIgnoringCase(name, "v4.00+ styles");
                section = equalsIgnoringCase(name, "events") ? Section::Events
                          : styles                           ? Section::Styles
                                                             : Section::Other;
                format = -1;
                styleNameField = 0;
                inFirstEvents = section == Section::Events && !eventsSeen;
                eventsSeen = eventsSeen || inFirstEvents;
                if (inFirstEvents)
                    firstEventsEnd = line.next;
                continue;
            }
            if (inFirstEvents && !lastLineBlank)
                firstEventsEnd = line.next;
            size_t colon = content.find(u':');
            if (section == Section::Other || colon == NoPosition)
                continue;
            std::u16string_view key = trimmedField(content.substr(0, colon));
            size_t valueBegin = line.begin + colon + 1;
            if (section == Section::Styles) {
                if (equalsIgnoringCase(key, "format")) {
                    AssFormat styleFormat = readAssFormat(content.substr(colon + 1));
                    styleNameField = size_t(std::find(styleFormat.begin(), styleFormat.end(), AssField::Name) -
                                            styleFormat.begin()) %
                                     styleFormat.size();
                } else if (equalsIgnoringCase(key, "style") && !styleFound) {
                    // the name, and the rest of the line after it
                    splitFields(text, valueBegin, line.end, styleNameField + 2, fields);
                    if (fields.empty())
                        splitFields(text, valueBegin, line.end, styleNameField + 1, fields);
                    if (!fields.empty()) {
                        doc.firstStyle_ = view(text, trimmedSpan(text, fields[styleNameField]));
                        styleFound = true;
                    }
                }
            } else if (equalsIgnoringCase(key, "format")) {
                AssFormat names = readAssFormat(content.substr(colon + 1));
                // Text takes the rest of the line wherever the Format puts
                // it, as players read it: fields named after it are never there
                auto textField = std::find(names.begin(), names.end(), AssField::Text);
                if (textField == names.end())
                    throw EventLineError(line.number, content);
                names.erase(textField + 1, names.end());
                if (!holds(names, AssField::Start) || !holds(names, AssField::End))
                    throw EventLineError(line.number, content);
                format = int32_t(doc.formats_.size());
                doc.formats_.push_back(std::move(names));
                formatEnds.push_back(line.next);
                if (inFirstEvents)
                    firstEventsFormat = format;
            } else if (equalsIgnoringCase(key, "dialogue")) {
                readDialogue(doc, line, valueBegin, format, fields);
            }
        }
        if (!styleFound)
            doc.firstStyle_ = u"Default";

        if (!doc.places_.empty()) {
            // after the Format line the first event follows, else right before it
            const SubtitleDocument::EventPlace& first = doc.places_.front();
            doc.headAt_ = first.format >= 0 ? formatEnds[size_t(first.format)] : first.removal.begin;
            doc.headFormat_ = first.format;
        } else if (eventsSeen) {
            doc.headAt_ = firstEventsEnd;
            doc.headFormat_ = firstEventsFormat;
            if (firstEventsFormat < 0)
                doc.headLines_.emplace_back(DefaultAssFormatLine);
        } else {
            doc.headAt_ = text.size();
            if (!lastLineBlank)
                doc.headLines_.emplace_back();
            doc.headLines_.emplace_back(u"[Events]");
            doc.headLines_.emplace_back(DefaultAssFormatLine);
        }
        return doc;
    }

    static bool hasArrow(std::u16string_view text, const Line& line)
    {
        return text.substr(line.begin, line.end - line.begin).find(WebVttArrow) != NoPosition;
    }

    static bool isBlank(std::u16string_view text, const Line& line)
    {
        return isBlankLine(text.substr(line.begin, line.end - line.begin));
    }

    // block: the cue's lines, its timing line at `timing`; removalBegin: just
    // after the last line before it that is not blank.
    static void readCue(SubtitleDocument& doc, const std::vector<Line>& block, size_t timing, size_t removalBegin)
    {
        std::u16string_view text = doc.text_;
        const Line& line = block[timing];
        std::u16string_view content = text.substr(line.begin, line.end - line.begin);
        SubtitleDocument::EventPlace place;
        size_t arrow = line.begin + content.find(WebVttArrow);
        place.start = trimmedSpan(text, {line.begin, arrow});
        size_t endBegin = arrow + WebVttArrow.size();
        while (endBegin < line.end && isFieldBlank(text[endBegin]))
            ++endBegin;
        size_t endEnd = endBegin;
        while (endEnd < line.end && !isFieldBlank(text[endEnd]))
            ++endEnd;
        place.end = {endBegin, endEnd};
        std::optional<int32_t> start = readWebVttTime(view(text, place.start)), end = readWebVttTime(view(text, place.end));
        if (!start || !end)
            throw SrtTimeLineError(line.number, content);
        place.timingEnd = line.end;
        place.hasPayload = timing + 1 < block.size();
        std::u16string shown;
        if (place.hasPayload) {
            const Line& first = block[timing + 1];
            place.text = {first.begin, block.back().end};
            place.leadEnd = first.begin + leadingBlocksEnd(text.substr(first.begin, first.end - first.begin), u'<', u'>');
            for (size_t k = timing + 1; k < block.size(); ++k) {
                if (k > timing + 1)
                    shown += LineBreak;
                appendWebVttShown(shown, text.substr(block[k].begin, block[k].end - block[k].begin));
            }
        } else {
            place.text = {line.end, line.end};
            place.leadEnd = line.end;
        }
        place.removal = {removalBegin, block.back().next};
        place.after = block.back().next;
        doc.places_.push_back(place);
        doc.events_.push_back({*start, *end, std::move(shown), line.number});
    }

    static SubtitleDocument webVtt(std::u16string source)
    {
        SubtitleDocument doc;
        doc.format_ = TimelineFormat::WebVtt;
        doc.text_ = std::move(source);
        doc.lineEnd_ = mostUsedLineEnd(doc.text_, u"\n");
        std::u16string_view text = doc.text_;

        LineScanner lines(text);
        Line line;
        bool more = lines.next(line);
        size_t lastFilledEnd = 0;  // just after the last line so far that is not blank
        // the header: the WEBVTT line and what follows it up to a blank line (or a cue's timing line)
        if (more) {
            lastFilledEnd = line.next;
            while ((more = lines.next(line)) && !isBlank(text, line) && !hasArrow(text, line))
                lastFilledEnd = line.next;
        }
        std::vector<Line> block;
        while (more) {
            if (isBlank(text, line)) {
                more = lines.next(line);
                continue;
            }
            size_t removalBegin = lastFilledEnd;
            block.assign(1, line);
            const bool firstHasArrow = hasArrow(text, line);
            // a line with an arrow starts a cue of its own, unless it follows the cue's id
            while ((more = lines.next(line)) && !isBlank(text, line)) {
                if (hasArrow(text, line) && (block.size() > 1 || firstHasArrow))
                    break;
                block.push_back(line);
            }
            lastFilledEnd = block.back().next;
            if (firstHasArrow)
                readCue(doc, block, 0, removalBegin);
            else if (block.size() > 1 && hasArrow(text, block[1]))
                readCue(doc, block, 1, removalBegin);
            // else NOTE, STYLE, REGION or anything else: kept as written
        }
        // cues made before every cue of the file go right before the first,
        // so that STYLE and REGION blocks stay ahead of all cues
        doc.headAt_ = doc.places_.empty() ? lastFilledEnd : doc.places_.front().removal.begin;
        return doc;
    }
};

SubtitleDocument SubtitleDocument::parse(TimelineFormat format, std::u16string text)
{
    switch (format) {
    case TimelineFormat::Ass: return DocumentReader::ass(std::move(text));
    case TimelineFormat::WebVtt: return DocumentReader::webVtt(std::move(text));
    case TimelineFormat::Srt: break;
    }
    throw std::invalid_argument("SubtitleDocument::parse: an SRT file is read by core/SrtReader.h");
}

// ---- writing ------------------------------------------------------------------

namespace {

// The output of a save: the file's text copied piece by piece, with spans
// replaced or skipped and lines put in.
class Splicer {
public:
    Splicer(std::u16string_view text, std::u16string_view lineEnd) : text_(text), lineEnd_(lineEnd)
    {
        out_.reserve(text.size() + text.size() / 8 + 256);
    }

    void copyTo(size_t pos)
    {
        if (pos <= cursor_)
            return;
        if (cursor_ != copiedTo_)
            mendJoint(text_[cursor_]);
        out_ += text_.substr(cursor_, pos - cursor_);
        cursor_ = copiedTo_ = pos;
    }

    void skip(size_t begin, size_t end)
    {
        copyTo(begin);
        cursor_ = std::max(cursor_, end);
    }

    void replace(size_t begin, size_t end, std::u16string_view with)
    {
        skip(begin, end);
        put(with);
    }

    // A whole line, at pos: a line's start or the end of the text.
    void putLine(size_t pos, std::u16string_view line)
    {
        copyTo(pos);
        if (!out_.empty() && !endsWithLineEnd(out_))
            put(lineEnd_);  // after a last line that had no line end
        put(line);
        put(lineEnd_);
    }

    std::u16string finish()
    {
        copyTo(text_.size());
        // a file that did not end with a line end still does not
        if (!endsWithLineEnd(text_) && !text_.empty() && endsWithLineEnd(out_))
            out_.resize(out_.size() - (out_.ends_with(u"\r\n") ? 2 : 1));
        return std::move(out_);
    }

private:
    void put(std::u16string_view s)
    {
        if (s.empty())
            return;
        mendJoint(s.front());
        out_ += s;
        copiedTo_ = NoPosition;
    }

    // A lone CR that pieces put side by side leave before an LF would read
    // as one CR LF, and a line would vanish (in WebVTT, the blank line
    // between two cues): it becomes a CR LF of its own.
    void mendJoint(char16_t next)
    {
        if (next == u'\n' && !out_.empty() && out_.back() == u'\r')
            out_ += u'\n';
    }

    std::u16string_view text_;
    std::u16string_view lineEnd_;
    std::u16string out_;
    size_t cursor_ = 0;    // how far the text has been taken
    size_t copiedTo_ = 0;  // where the last copy ended; NoPosition after something put in
};

}  // namespace

class DocumentWriter {
public:
    using Span = SubtitleDocument::Span;
    using AssField = SubtitleDocument::AssField;
    using AssFormat = SubtitleDocument::AssFormat;
    using EventPlace = SubtitleDocument::EventPlace;

    DocumentWriter(const SubtitleDocument& doc, float frameRate)
        : doc_(doc), text_(doc.text_), rate_(frameRate), out_(doc.text_, doc.lineEnd_)
    {
    }

    std::u16string write(const TimelineArray& timeline, int32_t timelineCount)
    {
        const size_t events = doc_.events_.size();
        const auto count = size_t(std::clamp<int64_t>(timelineCount, 0, int64_t(timeline.size())));
        // the slot that claims each event; the new slots, each with the event it follows (-1: before all)
        std::vector<const TimelineEntry*> claimant(events, nullptr);
        std::vector<std::pair<int32_t, const TimelineEntry*>> added;
        int32_t anchor = -1;
        for (size_t i = 0; i < count; ++i) {
            const TimelineEntry& slot = timeline[i];
            if (slot.isFree())
                continue;
            if (slot.Source >= 0 && size_t(slot.Source) < events && !claimant[size_t(slot.Source)]) {
                claimant[size_t(slot.Source)] = &slot;
                anchor = slot.Source;
            } else {
                added.emplace_back(anchor, &slot);
            }
        }
        std::stable_sort(added.begin(), added.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        auto next = added.begin();
        auto putAdded = [&](int32_t anchorEvent, size_t at) {
            if (next == added.end() || next->first != anchorEvent)
                return;
            if (anchorEvent < 0)
                for (const std::u16string& line : doc_.headLines_)
                    out_.putLine(at, line);
            for (; next != added.end() && next->first == anchorEvent; ++next)
                putEvent(at, anchorEvent, *next->second);
        };
        putAdded(-1, doc_.headAt_);
        for (size_t e = 0; e < events; ++e) {
            const EventPlace& place = doc_.places_[e];
            if (claimant[e])
                rewrite(e, *claimant[e]);
            else
                out_.skip(place.removal.begin, place.removal.end);
            putAdded(int32_t(e), place.after);
        }
        return out_.finish();
    }

private:
    struct Replacement {
        size_t begin = 0;
        size_t end = 0;
        std::u16string text;
    };

    std::u16string_view view(Span span) const { return text_.substr(span.begin, span.end - span.begin); }

    bool isAss() const { return doc_.format_ == TimelineFormat::Ass; }

    // An event the timeline kept: only the fields it changed are written.
    void rewrite(size_t e, const TimelineEntry& slot)
    {
        const DocumentEvent& event = doc_.events_[e];
        const EventPlace& place = doc_.places_[e];
        std::array<Replacement, 3> changes;
        size_t changed = 0;
        for (auto [frame, ms, span] : {std::tuple{slot.StartFrame, event.StartMs, place.start},
                                       std::tuple{slot.EndFrame, event.EndMs, place.end}}) {
            if (frame == MsToFrame(ms, rate_))
                continue;
            changes[changed++] = {span.begin, span.end,
                                  isAss() ? assTimeText(frame, rate_, hourDigitsOf(view(span)))
                                          : webVttTimeText(frame, rate_, hasHours(view(span)))};
        }
        if (slot.Text != event.Text)
            changes[changed++] = textChange(place, slot.Text);
        // an ASS Format may name the fields in any order
        for (size_t k = 1; k < changed; ++k)
            for (size_t j = k; j > 0 && changes[j - 1].begin > changes[j].begin; --j)
                std::swap(changes[j - 1], changes[j]);
        for (size_t k = 0; k < changed; ++k)
            out_.replace(changes[k].begin, changes[k].end, changes[k].text);
    }

    // The text anew, after the override blocks or tags the old one started with.
    Replacement textChange(const EventPlace& place, std::u16string_view text) const
    {
        std::u16string payload(view({place.text.begin, place.leadEnd}));
        if (isAss())
            return {place.text.begin, place.text.end, payload + assWritten(text)};
        std::vector<std::u16string> lines = webVttWritten(text);
        if (lines.empty())  // tags alone would still make a line of the cue
            return {place.timingEnd, place.text.end, {}};
        for (size_t k = 0; k < lines.size(); ++k) {
            if (k > 0)
                payload += doc_.lineEnd_;
            payload += lines[k];
        }
        if (place.hasPayload)
            return {place.text.begin, place.text.end, std::move(payload)};
        return {place.timingEnd, place.timingEnd, std::u16string(doc_.lineEnd_) + payload};
    }

    // A new event at `at`, after the event `anchor` (-1: before every event).
    void putEvent(size_t at, int32_t anchor, const TimelineEntry& slot)
    {
        // the event whose way of writing times and margins the new one follows
        const int32_t neighbour = anchor >= 0 ? anchor : doc_.places_.empty() ? -1 : 0;
        if (!isAss()) {
            const bool hours = neighbour >= 0 && hasHours(view(doc_.places_[size_t(neighbour)].start));
            out_.putLine(at, u"");
            out_.putLine(at, webVttTimeText(slot.StartFrame, rate_, hours) + u" --> " +
                                 webVttTimeText(slot.EndFrame, rate_, hours));
            for (const std::u16string& line : webVttWritten(slot.Text))
                out_.putLine(at, line);
            return;
        }
        // the neighbour follows the same Format: the head's is the first event's
        const int32_t formatIndex = anchor >= 0 ? doc_.places_[size_t(anchor)].format : doc_.headFormat_;
        const AssFormat& format =
            formatIndex >= 0 ? doc_.formats_[size_t(formatIndex)] : DocumentReader::defaultAssFormat();
        std::vector<Span> fields;
        if (neighbour >= 0) {
            size_t begin = doc_.places_[size_t(neighbour)].fieldsBegin;
            size_t end = std::min(text_.find_first_of(u"\r\n", begin), text_.size());
            DocumentReader::splitFields(text_, begin, end, format.size(), fields);
        }
        auto field = [&](size_t k) {
            return fields.empty() ? std::u16string_view() : view(DocumentReader::trimmedSpan(text_, fields[k]));
        };
        std::u16string line = u"Dialogue: ";
        for (size_t k = 0; k < format.size(); ++k) {
            if (k > 0)
                line += u',';
            switch (format[k]) {
            case AssField::Layer: line += anchor >= 0 ? field(k) : u"0"; break;
            case AssField::Marked: line += anchor >= 0 ? field(k) : u"Marked=0"; break;
            case AssField::Style: line += anchor >= 0 ? field(k) : std::u16string_view(doc_.firstStyle_); break;
            case AssField::Start:
                line += assTimeText(slot.StartFrame, rate_, fields.empty() ? 1 : hourDigitsOf(field(k)));
                break;
            case AssField::End:
                line += assTimeText(slot.EndFrame, rate_, fields.empty() ? 1 : hourDigitsOf(field(k)));
                break;
            case AssField::MarginL:
            case AssField::MarginR:
            case AssField::MarginV: {
                // "0" or "0000", as the neighbour writes its margins
                std::u16string_view margin = field(k);
                bool digits = !margin.empty() && margin.size() <= 4 &&
                              std::all_of(margin.begin(), margin.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
                line.append(digits ? margin.size() : 1, u'0');
                break;
            }
            case AssField::Text: line += assWritten(slot.Text); break;
            case AssField::Name:
            case AssField::Effect:
            case AssField::Other: break;
            }
        }
        out_.putLine(at, line);
    }

    const SubtitleDocument& doc_;
    std::u16string_view text_;
    float rate_;
    Splicer out_;
};

std::u16string SubtitleDocument::apply(const TimelineArray& timeline, int32_t timelineCount, float frameRate) const
{
    if (format_ == TimelineFormat::Srt)
        return srtText(timeline, timelineCount, frameRate);
    if (!(frameRate > 0.0f) || !std::isfinite(frameRate))
        throw std::invalid_argument("SubtitleDocument::apply: the frame rate must be a positive number");
    return DocumentWriter(*this, frameRate).write(timeline, timelineCount);
}

}  // namespace vt
