#include "core/SubtitleDocument.h"

#include "core/DocumentSyntax.h"
#include "core/SrtReader.h"
#include "core/SrtText.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace vt {

TimelineFormat timelineFormatOf(std::u16string_view text)
{
    LineScanner lines(text);
    TextLine line;
    if (!lines.next(line))
        return TimelineFormat::Srt;
    if (opensWebVtt(line.content(text)))
        return TimelineFormat::WebVtt;
    do {
        std::u16string_view content = line.content(text);
        if (!isBlankLine(content))
            return opensAssScript(content) ? TimelineFormat::Ass : TimelineFormat::Srt;
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

std::u16string textAsShown(TimelineFormat format, std::u16string_view written)
{
    switch (format) {
    case TimelineFormat::Ass: return assShown(written);
    case TimelineFormat::WebVtt: return webVttShown(written);
    case TimelineFormat::Srt: break;
    }
    return linesJoined(written, [](std::u16string& out, std::u16string_view line) { out += line; });
}

// ---- reading ------------------------------------------------------------------

SubtitleDocument SubtitleDocument::parse(TimelineFormat format, std::u16string text)
{
    SubtitleDocument doc;
    doc.file_.text = std::move(text);
    switch (format) {
    case TimelineFormat::Ass: doc.layout_ = readAss(doc.file_); return doc;
    case TimelineFormat::WebVtt: doc.layout_ = readWebVtt(doc.file_); return doc;
    case TimelineFormat::Srt: break;
    }
    throw std::invalid_argument("SubtitleDocument::parse: an SRT file is read by core/SrtReader.h");
}

TimelineFormat SubtitleDocument::format() const
{
    if (std::holds_alternative<AssLayout>(layout_))
        return TimelineFormat::Ass;
    if (std::holds_alternative<WebVttLayout>(layout_))
        return TimelineFormat::WebVtt;
    return TimelineFormat::Srt;
}

// ---- writing ------------------------------------------------------------------

namespace {

bool endsWithLineEnd(std::u16string_view s) { return !s.empty() && (s.back() == u'\n' || s.back() == u'\r'); }

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

// Which events the timeline keeps, and what it adds where.
struct Claims {
    std::vector<const TimelineEntry*> claimant;  // per event: the slot that claims it, or none
    // the new slots, each with the event it follows (-1: before all), in that order
    std::vector<std::pair<int32_t, const TimelineEntry*>> added;
};

Claims claimsOf(const TimelineArray& timeline, int32_t timelineCount, size_t events)
{
    Claims claims;
    claims.claimant.assign(events, nullptr);
    const auto count = size_t(std::clamp<int64_t>(timelineCount, 0, int64_t(timeline.size())));
    int32_t anchor = -1;
    for (size_t i = 0; i < count; ++i) {
        const TimelineEntry& slot = timeline[i];
        if (slot.isFree())
            continue;
        if (slot.Source >= 0 && size_t(slot.Source) < events && !claims.claimant[size_t(slot.Source)]) {
            claims.claimant[size_t(slot.Source)] = &slot;
            anchor = slot.Source;
        } else {
            claims.added.emplace_back(anchor, &slot);
        }
    }
    std::stable_sort(claims.added.begin(), claims.added.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return claims;
}

class DocumentWriter {
public:
    DocumentWriter(const DocumentText& file, const EventWriter& format, float frameRate)
        : file_(file), format_(format), rate_(frameRate), out_(file.text, file.lineEnd)
    {
    }

    std::u16string write(const TimelineArray& timeline, int32_t timelineCount)
    {
        const size_t events = file_.events.size();
        const Claims claims = claimsOf(timeline, timelineCount, events);
        auto next = claims.added.begin();
        auto putAdded = [&](int32_t anchorEvent, size_t at) {
            if (next == claims.added.end() || next->first != anchorEvent)
                return;
            if (anchorEvent < 0)
                for (const std::u16string& line : file_.headLines)
                    out_.putLine(at, line);
            for (; next != claims.added.end() && next->first == anchorEvent; ++next)
                for (const std::u16string& line : format_.eventLines(anchorEvent, *next->second))
                    out_.putLine(at, line);
        };
        putAdded(-1, file_.headAt);
        for (size_t e = 0; e < events; ++e) {
            const EventPlace& place = file_.places[e];
            if (claims.claimant[e])
                rewrite(e, *claims.claimant[e]);
            else
                out_.skip(place.removal.begin, place.removal.end);
            putAdded(int32_t(e), place.after);
        }
        return out_.finish();
    }

private:
    // An event the timeline kept: only the fields it changed are written.
    void rewrite(size_t e, const TimelineEntry& slot)
    {
        const DocumentEvent& event = file_.events[e];
        const EventPlace& place = file_.places[e];
        std::array<Replacement, 3> changes;
        size_t changed = 0;
        for (auto [frame, ms, span] : {std::tuple{slot.StartFrame, event.StartMs, place.start},
                                       std::tuple{slot.EndFrame, event.EndMs, place.end}}) {
            if (frame != MsToFrame(ms, rate_))
                changes[changed++] = {span.begin, span.end, format_.timeText(span, frame)};
        }
        if (slot.Text != event.Text)
            changes[changed++] = format_.textChange(e, slot.Text);
        // an ASS Format may name the fields in any order
        for (size_t k = 1; k < changed; ++k)
            for (size_t j = k; j > 0 && changes[j - 1].begin > changes[j].begin; --j)
                std::swap(changes[j - 1], changes[j]);
        for (size_t k = 0; k < changed; ++k)
            out_.replace(changes[k].begin, changes[k].end, changes[k].text);
    }

    const DocumentText& file_;
    const EventWriter& format_;
    float rate_;
    Splicer out_;
};

}  // namespace

std::u16string SubtitleDocument::apply(const TimelineArray& timeline, int32_t timelineCount, float frameRate) const
{
    if (format() == TimelineFormat::Srt)
        return srtText(timeline, timelineCount, frameRate);
    if (!(frameRate > 0.0f) || !std::isfinite(frameRate))
        throw std::invalid_argument("SubtitleDocument::apply: the frame rate must be a positive number");
    if (const auto* ass = std::get_if<AssLayout>(&layout_))
        return DocumentWriter(file_, AssWriter(file_, *ass, frameRate), frameRate).write(timeline, timelineCount);
    const auto& webVtt = std::get<WebVttLayout>(layout_);
    return DocumentWriter(file_, WebVttWriter(file_, webVtt, frameRate), frameRate).write(timeline, timelineCount);
}

}  // namespace vt
