// Timing by the speech itself: the keys that put a line's ends on the
// speech found in the sound, time the next sentence with one key, and play
// around a line's ends to check them. Each takes the timeline state and the
// speech spans (in frames) and returns what it did; the window carries out
// what concerns the player.
#pragma once

#include "core/ProjectState.h"
#include "core/TimelineState.h"
#include "editor/EditOps.h"
#include "editor/EditorEffect.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace vt {

// The line these keys act on: the current line the last refresh found;
// with none there (a long line whose ends lie outside the strip), the line
// that holds the play position, or else the one nearest to it. However long
// a line is, its ends stay in reach. -1 for an empty timeline.
int32_t lineForSpeechKeys(const TimelineArray& timeline, int32_t timelineCount, int32_t currentLine,
                          int32_t playPosition);

// Puts the line's in-point on the nearest speech onset and its out-point on
// the nearest speech end, each only when one lies within a second of it and
// the line then stays clear of its neighbours and at least
// MinimumLineFrames long; an end out of reach stays. Whether anything moved.
bool snapToSpeech(TimelineState& state, int32_t line, const SpeechFrameList& speech);

// A timed sentence is kept at least this long and at most this long, and
// this many frames clear of the next line.
inline constexpr double TimedLineShortestSeconds = 0.7;
inline constexpr double TimedLineLongestSeconds = 7.0;
inline constexpr int32_t TimedLineClearFrames = 2;

// Where "time the next line" puts a line: on the first span that starts at
// or after the play position and is not timed yet, from its onset to its
// end, made at least TimedLineShortestSeconds and at most
// TimedLineLongestSeconds long and cut back to end TimedLineClearFrames
// before the next line and by the end of the film; a span that leaves less
// room than the shortest line is passed over. Empty when no span is left.
std::optional<PlannedLine> planTimedLine(const TimelineState& state, const SpeechFrameList& speech,
                                         int32_t playPosition, int32_t mediaLength);

// Puts the planned line in, with the next text as the columns choose, the
// way procIns does.
InsertResult timeNextLine(TimelineState& state, const SpeechFrameList& speech, int32_t currentLine,
                          int32_t playPosition, int32_t mediaLength, EditColumns columns,
                          const std::function<void()>& save);

// ---------------------------------------------------------------------------
// Playing around a line

enum class PlayPart : uint8_t {
    BeforeIn,  // the half second before the in-point
    Line,      // the whole line
    AfterOut,  // the half second after the out-point
};

inline constexpr double PlayAroundSeconds = 0.5;

// A stretch played to check a line: from From until the play position
// reaches To, then back to ReturnTo, where play started.
struct PlayRound {
    int32_t From = 0;
    int32_t To = 0;
    int32_t ReturnTo = 0;

    friend bool operator==(const PlayRound&, const PlayRound&) = default;
};

PlayRound playRoundFor(PlayPart part, const TimelineEntry& line, int32_t playPosition, float frameRate);

enum class RoundProgress : uint8_t {
    Playing,  // go on
    Ended,    // stand still at ReturnTo
    Left,     // the user took play over (another speed): the round is forgotten
};

// Looked at on every play tick while a round runs.
RoundProgress roundProgress(const PlayRound& round, int32_t playPosition, int32_t playSpeed);

// What an ended round makes the editor do: stop, step back to where the
// round started and stand there, as after the space key's pause.
EditorEffect endOfRound(const PlayRound& round, int32_t playPosition);

}  // namespace vt
