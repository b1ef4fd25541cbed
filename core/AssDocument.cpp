#include "core/AssDocument.h"

#include "core/DocumentSyntax.h"
#include "core/SrtReader.h"
#include "core/TextCodec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace vt {

namespace {

using Field = AssLayout::Field;
using Format = AssLayout::Format;

constexpr std::u16string_view DefaultFormatLine =
    u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text";

// What a Dialogue line follows when its section has no Format line.
const Format& defaultFormat()
{
    static const Format format{Field::Layer,   Field::Start,   Field::End,    Field::Style,  Field::Name,
                               Field::MarginL, Field::MarginR, Field::MarginV, Field::Effect, Field::Text};
    return format;
}

// The names of a Format line (after "Format:"), in its order.
Format readFormat(std::u16string_view names)
{
    constexpr std::array<std::pair<std::string_view, Field>, 12> Known{{{"layer", Field::Layer},
                                                                        {"marked", Field::Marked},
                                                                        {"start", Field::Start},
                                                                        {"end", Field::End},
                                                                        {"style", Field::Style},
                                                                        {"name", Field::Name},
                                                                        {"actor", Field::Name},
                                                                        {"marginl", Field::MarginL},
                                                                        {"marginr", Field::MarginR},
                                                                        {"marginv", Field::MarginV},
                                                                        {"effect", Field::Effect},
                                                                        {"text", Field::Text}}};
    Format format;
    size_t from = 0;
    for (;;) {
        size_t comma = names.find(u',', from);
        std::u16string_view name = trimmedField(names.substr(from, comma == NoPosition ? NoPosition : comma - from));
        auto known = std::find_if(Known.begin(), Known.end(),
                                  [&](const auto& k) { return equalsIgnoringCase(name, k.first); });
        format.push_back(known == Known.end() ? Field::Other : known->second);
        if (comma == NoPosition)
            return format;
        from = comma + 1;
    }
}

bool holds(const Format& format, Field field) { return std::find(format.begin(), format.end(), field) != format.end(); }

// The fields of a line from `begin` to `end`: as many as asked, the last
// taking the rest of the line, commas and all. None when the line has fewer.
void splitFields(std::u16string_view text, size_t begin, size_t end, size_t count, std::vector<Span>& fields)
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

// ---- times ------------------------------------------------------------------

// "H:MM:SS.CC": hours of any length, one or two digits of minutes and
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

size_t hourDigitsOf(std::u16string_view time) { return std::min(time.find(u':'), time.size()); }

// ---- texts ------------------------------------------------------------------

// A Text field for a timeline text: one line, its breaks as \N.
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

// ---- reading ----------------------------------------------------------------

// One pass over the script's lines, section by section.
class AssReader {
public:
    explicit AssReader(DocumentText& file) : file_(file), text_(file.text) {}

    AssLayout read()
    {
        file_.lineEnd = mostUsedLineEnd(text_, u"\r\n");
        LineScanner lines(text_);
        for (TextLine line; lines.next(line);)
            readLine(line);
        if (!styleFound_)
            layout_.firstStyle = u"Default";
        placeHead();
        return std::move(layout_);
    }

private:
    enum class Section : int8_t { Other, Events, Styles };

    void readLine(const TextLine& line)
    {
        std::u16string_view content = line.content(text_);
        lastLineBlank_ = isBlankLine(content);
        std::u16string_view bare = trimmed(content, isLineBlank);
        if (bare.size() >= 2 && bare.front() == u'[' && bare.back() == u']') {
            enterSection(trimmedField(bare.substr(1, bare.size() - 2)), line);
            return;
        }
        if (inFirstEvents_ && !lastLineBlank_)
            firstEventsEnd_ = line.next;
        size_t colon = content.find(u':');
        if (section_ == Section::Other || colon == NoPosition)
            return;
        std::u16string_view key = trimmedField(content.substr(0, colon));
        if (section_ == Section::Styles)
            readStyleLine(line, key, colon);
        else if (equalsIgnoringCase(key, "format"))
            readEventsFormat(line, colon);
        else if (equalsIgnoringCase(key, "dialogue"))
            readDialogue(line, line.begin + colon + 1);
    }

    void enterSection(std::u16string_view name, const TextLine& line)
    {
        bool styles = equalsIgnoringCase(name, "v4+ styles") || equalsIgnoringCase(name, "v4 styles") ||
                      equalsIgnoringCase(name, "v4.00+ styles");
        section_ = equalsIgnoringCase(name, "events") ? Section::Events
                   : styles                           ? Section::Styles
                                                      : Section::Other;
        eventsFormat_ = -1;
        styleNameField_ = 0;
        inFirstEvents_ = section_ == Section::Events && !eventsSeen_;
        eventsSeen_ = eventsSeen_ || inFirstEvents_;
        if (inFirstEvents_)
            firstEventsEnd_ = line.next;
    }

    // Only the first style's name is kept: the style of lines added before every event.
    void readStyleLine(const TextLine& line, std::u16string_view key, size_t colon)
    {
        std::u16string_view content = line.content(text_);
        if (equalsIgnoringCase(key, "format")) {
            Format styleFormat = readFormat(content.substr(colon + 1));
            styleNameField_ = size_t(std::find(styleFormat.begin(), styleFormat.end(), Field::Name) -
                                     styleFormat.begin()) %
                              styleFormat.size();
        } else if (equalsIgnoringCase(key, "style") && !styleFound_) {
            // the name, and the rest of the line after it
            size_t valueBegin = line.begin + colon + 1;
            splitFields(text_, valueBegin, line.end, styleNameField_ + 2, fields_);
            if (fields_.empty())
                splitFields(text_, valueBegin, line.end, styleNameField_ + 1, fields_);
            if (!fields_.empty()) {
                layout_.firstStyle = file_.view(trimmedSpan(text_, fields_[styleNameField_]));
                styleFound_ = true;
            }
        }
    }

    void readEventsFormat(const TextLine& line, size_t colon)
    {
        std::u16string_view content = line.content(text_);
        Format names = readFormat(content.substr(colon + 1));
        // Text takes the rest of the line wherever the Format puts
        // it, as players read it: fields named after it are never there
        auto textField = std::find(names.begin(), names.end(), Field::Text);
        if (textField == names.end())
            throw EventLineError(line.number, content);
        names.erase(textField + 1, names.end());
        if (!holds(names, Field::Start) || !holds(names, Field::End))
            throw EventLineError(line.number, content);
        eventsFormat_ = int32_t(layout_.formats.size());
        layout_.formats.push_back(std::move(names));
        formatEnds_.push_back(line.next);
        if (inFirstEvents_)
            firstEventsFormat_ = eventsFormat_;
    }

    void readDialogue(const TextLine& line, size_t fieldsBegin)
    {
        std::u16string_view content = line.content(text_);
        const Format& names = eventsFormat_ >= 0 ? layout_.formats[size_t(eventsFormat_)] : defaultFormat();
        splitFields(text_, fieldsBegin, line.end, names.size(), fields_);
        if (fields_.empty())
            throw EventLineError(line.number, content);
        EventPlace place;
        for (size_t k = 0; k < names.size(); ++k) {
            if (names[k] == Field::Start)
                place.start = trimmedSpan(text_, fields_[k]);
            else if (names[k] == Field::End)
                place.end = trimmedSpan(text_, fields_[k]);
            else if (names[k] == Field::Text)
                place.text = fields_[k];
        }
        std::optional<int32_t> start = readAssTime(file_.view(place.start)), end = readAssTime(file_.view(place.end));
        if (!start || !end)
            throw SrtTimeLineError(line.number, content);
        place.leadEnd = place.text.begin + leadingBlocksEnd(file_.view(place.text), u'{', u'}');
        place.removal = {line.begin, line.next};
        place.after = line.next;
        file_.places.push_back(place);
        file_.events.push_back({*start, *end, assShown(file_.view(place.text)), line.number});
        layout_.events.push_back({fieldsBegin, eventsFormat_});
    }

    // Where the lines added before every event go, and the Format they follow.
    void placeHead()
    {
        if (!file_.places.empty()) {
            // after the Format line the first event follows, else right before it
            const int32_t format = layout_.events.front().format;
            file_.headAt = format >= 0 ? formatEnds_[size_t(format)] : file_.places.front().removal.begin;
            layout_.headFormat = format;
        } else if (eventsSeen_) {
            // a script without events gets its first one at the end of its first [Events] section
            file_.headAt = firstEventsEnd_;
            layout_.headFormat = firstEventsFormat_;
            if (firstEventsFormat_ < 0)
                file_.headLines.emplace_back(DefaultFormatLine);
        } else {
            file_.headAt = text_.size();
            if (!lastLineBlank_)
                file_.headLines.emplace_back();
            file_.headLines.emplace_back(u"[Events]");
            file_.headLines.emplace_back(DefaultFormatLine);
        }
    }

    DocumentText& file_;
    std::u16string_view text_;
    AssLayout layout_;

    Section section_ = Section::Other;
    int32_t eventsFormat_ = -1;  // the Format this section's Dialogue lines follow; -1: the usual one
    size_t styleNameField_ = 0;  // where the name is in this section's Style lines
    bool styleFound_ = false;
    bool eventsSeen_ = false, inFirstEvents_ = false;
    size_t firstEventsEnd_ = 0;
    int32_t firstEventsFormat_ = -1;
    bool lastLineBlank_ = true;
    std::vector<size_t> formatEnds_;  // per Format line: where the line after it starts
    std::vector<Span> fields_;
};

}  // namespace

EventLineError::EventLineError(int32_t lineNumber, std::u16string_view line)
    : UserError(MsgTimeLinePrefix + std::to_string(lineNumber) + MsgEventLineMiddle + printable(toUtf8(line))),
      lineNumber_(lineNumber)
{
}

bool opensAssScript(std::u16string_view firstFilledLine)
{
    return equalsIgnoringCase(trimmed(firstFilledLine, isLineBlank), "[script info]");
}

AssLayout readAss(DocumentText& file) { return AssReader(file).read(); }

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

// ---- writing ----------------------------------------------------------------

std::u16string AssWriter::timeText(Span written, int32_t frame) const
{
    return assTimeText(frame, rate_, hourDigitsOf(file_.view(written)));
}

Replacement AssWriter::textChange(size_t event, std::u16string_view text) const
{
    const EventPlace& place = file_.places[event];
    std::u16string field(file_.view({place.text.begin, place.leadEnd}));
    return {place.text.begin, place.text.end, field + assWritten(text)};
}

std::vector<std::u16string> AssWriter::eventLines(int32_t anchor, const TimelineEntry& slot) const
{
    const std::u16string_view text = file_.text;
    // times and margins written as the neighbour writes them
    const int32_t neighbour = file_.neighbourOf(anchor);
    // the neighbour follows the same Format: the head's is the first event's
    const int32_t formatIndex = anchor >= 0 ? layout_.events[size_t(anchor)].format : layout_.headFormat;
    const Format& format = formatIndex >= 0 ? layout_.formats[size_t(formatIndex)] : defaultFormat();
    std::vector<Span> fields;
    if (neighbour >= 0) {
        size_t begin = layout_.events[size_t(neighbour)].begin;
        size_t end = std::min(text.find_first_of(u"\r\n", begin), text.size());
        splitFields(text, begin, end, format.size(), fields);
    }
    auto field = [&](size_t k) {
        return fields.empty() ? std::u16string_view() : file_.view(trimmedSpan(text, fields[k]));
    };
    std::u16string line = u"Dialogue: ";
    for (size_t k = 0; k < format.size(); ++k) {
        if (k > 0)
            line += u',';
        switch (format[k]) {
        case Field::Layer: line += anchor >= 0 ? field(k) : u"0"; break;
        case Field::Marked: line += anchor >= 0 ? field(k) : u"Marked=0"; break;
        case Field::Style: line += anchor >= 0 ? field(k) : std::u16string_view(layout_.firstStyle); break;
        case Field::Start:
            line += assTimeText(slot.StartFrame, rate_, fields.empty() ? 1 : hourDigitsOf(field(k)));
            break;
        case Field::End: line += assTimeText(slot.EndFrame, rate_, fields.empty() ? 1 : hourDigitsOf(field(k))); break;
        case Field::MarginL:
        case Field::MarginR:
        case Field::MarginV: {
            // "0" or "0000", as the neighbour writes its margins
            std::u16string_view margin = field(k);
            bool digits = !margin.empty() && margin.size() <= 4 &&
                          std::all_of(margin.begin(), margin.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
            line.append(digits ? margin.size() : 1, u'0');
            break;
        }
        case Field::Text: line += assWritten(slot.Text); break;
        case Field::Name:
        case Field::Effect:
        case Field::Other: break;
        }
    }
    return {std::move(line)};
}

}  // namespace vt
