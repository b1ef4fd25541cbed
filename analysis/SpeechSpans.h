// Where speech is in a film's sound: the stretches the editor times
// subtitles from. A voice-activity detector (or, without one, an energy
// gate) says every 10 ms whether it hears speech; over music, where a
// detector hears speech in the notes, only what also stands broadly above
// the background's spectrum counts. The answers are joined into stretches
// a sentence long, and each stretch's start and end are then set from the
// sound's own short-window energy, so that they land on the right picture
// frame.
#pragma once

#include "core/SoundSource.h"
#include "core/VoiceDecider.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vt {

// A stretch of speech, in milliseconds from the sound's start: [StartMs, EndMs).
struct SpeechSpan {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
    friend bool operator==(const SpeechSpan&, const SpeechSpan&) = default;
};
using SpeechSpanList = std::vector<SpeechSpan>;

// Finds speech in sound fed to it in pieces (interleaved int16, 1 or 2
// channels, any sample rate 8000..192000). Memory stays small however long
// the sound: stretches are settled a few seconds behind the sound fed.
class SpeechFinder {
public:
    static constexpr int32_t MinSampleRate = 8000;
    static constexpr int32_t MaxSampleRate = 192000;

    // decider: the voice-activity detector; null for the plain energy gate
    // alone. Throws std::invalid_argument for a format outside the above.
    SpeechFinder(SoundFormat format, std::unique_ptr<VoiceDecider> decider);
    ~SpeechFinder();
    SpeechFinder(const SpeechFinder&) = delete;
    SpeechFinder& operator=(const SpeechFinder&) = delete;

    void add(std::span<const int16_t> interleaved);  // whole sample frames
    SpeechSpanList finish();                         // spans in order, not overlapping; once, after the last add()

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace vt
