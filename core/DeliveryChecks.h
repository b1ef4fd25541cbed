// Delivery checks: what a client's quality check of subtitles looks at —
// reading speed, line length and count, time on screen, and the gaps
// between lines — worked out for a timeline against the rules
// (DeliveryRules, core/ProjectState.h), and the fix of what timing alone
// can put right. The editor shows the current line's figures, the file
// tools list every line that breaks a rule and fix them in one go.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// How much reading a text is, in halves of a full-width character: a CJK
// or other full-width character counts 2, a half-width character (letters,
// digits, Latin punctuation) and any punctuation (full-width too) count 1;
// spaces, the "^p" line breaks and override blocks ({...}, as ASS writes
// them) count nothing. Lines are split at "^p".
int32_t readingHalves(std::u16string_view text);
std::vector<int32_t> lineHalves(std::u16string_view text);

// The rules a line can break, as bits.
enum DeliveryProblem : uint32_t {
    TooFast = 1u << 0,        // reading speed over the limit
    LineTooLong = 1u << 1,    // a line of more characters than the limit
    TooManyLines = 1u << 2,
    TooShort = 1u << 3,       // fewer frames on screen than the minimum
    TooLong = 1u << 4,        // longer on screen than the maximum
    TooClose = 1u << 5,       // less than the minimum gap before the next line, or over it
    SmallGap = 1u << 6,       // a gap to the next line that should be closed to the minimum
};

// One line's figures. The reading speed is kept in tenths of a character a
// second, rounded half up: the editor shows it with one decimal, and a line
// is too fast exactly when the number shown is over the limit.
struct LineCheck {
    int32_t slot = 0;
    int32_t speedTenths = 0;      // characters a second x 10 (0 for a line of no frames)
    int32_t halves = 0;           // the text's reading, in halves
    int32_t longestLineHalves = 0;
    int32_t lines = 0;
    int32_t frames = 0;           // on screen: EndFrame - StartFrame
    int32_t gapFrames = 0;        // to the next line's start; INT32_MAX for the last line
    uint32_t problems = 0;        // DeliveryProblem bits
};

// The figures of slot `slot` (a time-coded slot below timelineCount).
LineCheck checkLine(const TimelineArray& timeline, int32_t timelineCount, int32_t slot, float frameRate,
                    const DeliveryRules& rules);

// Every time-coded line that breaks a rule, in slot order.
std::vector<LineCheck> checkTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                     const DeliveryRules& rules);

// Between the reasons of a line that breaks more than one rule.
inline constexpr std::string_view ProblemSeparator = "、";

// The short reason shown for the problems, most serious first, in Chinese
// ("太快" "太短" "太长" "离下一行太近" "空隙太小" "一行太长" "行数太多"),
// joined with ProblemSeparator.
std::string problemText(uint32_t problems);

// The reading speed as shown: "8.5字/秒".
std::string speedText(int32_t speedTenths);

// What "全部修正" changed on one line, and why.
struct DeliveryFix {
    int32_t slot = 0;
    int32_t oldStart = 0, oldEnd = 0;
    int32_t newStart = 0, newEnd = 0;
    std::string reason;  // Chinese, for the list shown after the fix
};

// "全部修正": from the first line to the last, only the timing of lines
// that break a rule is changed, and only within the free time around them
// (the previous line's end, as already fixed, plus the minimum gap; the
// next line's start less the minimum gap; the film's end, mediaLength
// frames): a line that runs into the next (or stops less than the minimum
// gap before it) ends that gap before it, where it stays long enough; a
// gap up to the closing size is closed by ending the line the minimum gap
// before the next; a line too short or too fast for its text is made
// longer, first at its end, then at its start. Texts are never changed,
// no line is split or made longer than the maximum, and what cannot be
// fixed so stays as it was. Returns the changes, in slot order; the caller
// keeps the coverage marks and the history in step.
std::vector<DeliveryFix> fixTimeline(TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                     int32_t mediaLength, const DeliveryRules& rules);

}  // namespace vt
