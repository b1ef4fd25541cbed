#include "core/WebVttDocument.h"

#include "core/DocumentSyntax.h"
#include "core/SrtReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace vt {

namespace {

constexpr std::u16string_view Arrow = u"-->";

// ---- times ------------------------------------------------------------------

// "mm:ss.ttt" or "hh:mm:ss.ttt" (an hour of any length).
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

bool hasHours(std::u16string_view time) { return std::count(time.begin(), time.end(), u':') == 2; }

// ---- texts ------------------------------------------------------------------

struct Entity {
    std::u16string_view name;
    char16_t c;
};
constexpr std::array<Entity, 6> Entities{{{u"&amp;", u'&'},
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
            auto entity = std::find_if(Entities.begin(), Entities.end(),
                                       [&](const Entity& e) { return line.substr(i).starts_with(e.name); });
            if (entity != Entities.end()) {
                out += entity->c;
                i += entity->name.size() - 1;
                continue;
            }
        }
        out += c;
    }
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

// ---- reading ----------------------------------------------------------------

// One pass over the file's lines, block by block.
class WebVttReader {
public:
    explicit WebVttReader(DocumentText& file) : file_(file), text_(file.text), lines_(file.text) {}

    WebVttLayout read()
    {
        file_.lineEnd = mostUsedLineEnd(text_, u"\n");
        more_ = lines_.next(line_);
        readHeader();
        while (more_) {
            if (isBlank(line_))
                more_ = lines_.next(line_);
            else
                readBlock();
        }
        // cues made before every cue of the file go right before the first,
        // so that STYLE and REGION blocks stay ahead of all cues
        file_.headAt = file_.places.empty() ? lastFilledEnd_ : file_.places.front().removal.begin;
        return std::move(layout_);
    }

private:
    bool hasArrow(const TextLine& line) const { return line.content(text_).find(Arrow) != NoPosition; }

    bool isBlank(const TextLine& line) const { return isBlankLine(line.content(text_)); }

    // The WEBVTT line and what follows it up to a blank line (or a cue's timing line).
    void readHeader()
    {
        if (!more_)
            return;
        lastFilledEnd_ = line_.next;
        while ((more_ = lines_.next(line_)) && !isBlank(line_) && !hasArrow(line_))
            lastFilledEnd_ = line_.next;
    }

    // The lines from line_ up to a blank one: a cue (its id first, or not),
    // or a NOTE, STYLE or REGION block or anything else, kept as written.
    void readBlock()
    {
        const size_t removalBegin = lastFilledEnd_;
        block_.assign(1, line_);
        const bool firstHasArrow = hasArrow(line_);
        // a line with an arrow starts a cue of its own, unless it follows the cue's id
        while ((more_ = lines_.next(line_)) && !isBlank(line_)) {
            if (hasArrow(line_) && (block_.size() > 1 || firstHasArrow))
                break;
            block_.push_back(line_);
        }
        lastFilledEnd_ = block_.back().next;
        if (firstHasArrow)
            readCue(0, removalBegin);
        else if (block_.size() > 1 && hasArrow(block_[1]))
            readCue(1, removalBegin);
    }

    // The block's cue, its timing line at `timing`; removalBegin: just after
    // the last line before it that is not blank.
    void readCue(size_t timing, size_t removalBegin)
    {
        const TextLine& line = block_[timing];
        EventPlace place;
        const auto [start, end] = readTimingLine(line, place);
        WebVttLayout::Cue cue{line.end, timing + 1 < block_.size()};
        std::u16string shown;
        if (cue.hasPayload) {
            const TextLine& first = block_[timing + 1];
            place.text = {first.begin, block_.back().end};
            place.leadEnd = first.begin + leadingBlocksEnd(first.content(text_), u'<', u'>');
            shown = webVttShown(file_.view(place.text));
        } else {
            place.text = {line.end, line.end};
            place.leadEnd = line.end;
        }
        place.removal = {removalBegin, block_.back().next};
        place.after = block_.back().next;
        file_.places.push_back(place);
        file_.events.push_back({start, end, std::move(shown), line.number});
        layout_.cues.push_back(cue);
    }

    // The two times of a timing line, and where they lie; what follows the
    // second (the cue's settings) is kept as written.
    std::pair<int32_t, int32_t> readTimingLine(const TextLine& line, EventPlace& place) const
    {
        std::u16string_view content = line.content(text_);
        size_t arrow = line.begin + content.find(Arrow);
        place.start = trimmedSpan(text_, {line.begin, arrow});
        size_t endBegin = arrow + Arrow.size();
        while (endBegin < line.end && isFieldBlank(text_[endBegin]))
            ++endBegin;
        size_t endEnd = endBegin;
        while (endEnd < line.end && !isFieldBlank(text_[endEnd]))
            ++endEnd;
        place.end = {endBegin, endEnd};
        std::optional<int32_t> start = readWebVttTime(file_.view(place.start));
        std::optional<int32_t> end = readWebVttTime(file_.view(place.end));
        if (!start || !end)
            throw SrtTimeLineError(line.number, content);
        return {*start, *end};
    }

    DocumentText& file_;
    std::u16string_view text_;
    WebVttLayout layout_;

    LineScanner lines_;
    TextLine line_;
    bool more_ = false;          // whether line_ is a line of the text, not past its end
    size_t lastFilledEnd_ = 0;   // just after the last line so far that is not blank
    std::vector<TextLine> block_;
};

}  // namespace

bool opensWebVtt(std::u16string_view firstLine)
{
    constexpr std::u16string_view Signature = u"WEBVTT";
    return firstLine.starts_with(Signature) &&
           (firstLine.size() == Signature.size() || isFieldBlank(firstLine[Signature.size()]));
}

WebVttLayout readWebVtt(DocumentText& file) { return WebVttReader(file).read(); }

std::u16string webVttShown(std::u16string_view payload) { return linesJoined(payload, appendWebVttShown); }

// ---- writing ----------------------------------------------------------------

std::u16string WebVttWriter::timeText(Span written, int32_t frame) const
{
    return webVttTimeText(frame, rate_, hasHours(file_.view(written)));
}

Replacement WebVttWriter::textChange(size_t event, std::u16string_view text) const
{
    const EventPlace& place = file_.places[event];
    const WebVttLayout::Cue& cue = layout_.cues[event];
    std::vector<std::u16string> lines = webVttWritten(text);
    if (lines.empty())  // tags alone would still make a line of the cue
        return {cue.timingEnd, place.text.end, {}};
    std::u16string payload(file_.view({place.text.begin, place.leadEnd}));
    for (size_t k = 0; k < lines.size(); ++k) {
        if (k > 0)
            payload += file_.lineEnd;
        payload += lines[k];
    }
    if (cue.hasPayload)
        return {place.text.begin, place.text.end, std::move(payload)};
    return {cue.timingEnd, cue.timingEnd, std::u16string(file_.lineEnd) + payload};
}

std::vector<std::u16string> WebVttWriter::eventLines(int32_t anchor, const TimelineEntry& slot) const
{
    // hours written or not as the neighbour writes them
    const int32_t neighbour = file_.neighbourOf(anchor);
    const bool hours = neighbour >= 0 && hasHours(file_.view(file_.places[size_t(neighbour)].start));
    std::vector<std::u16string> lines{u"", webVttTimeText(slot.StartFrame, rate_, hours) + u" --> " +
                                               webVttTimeText(slot.EndFrame, rate_, hours)};
    for (std::u16string& line : webVttWritten(slot.Text))
        lines.push_back(std::move(line));
    return lines;
}

}  // namespace vt
