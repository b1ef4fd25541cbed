// The speech in a film's sound, found in the background while the editor
// already works, and kept in the cache folder beside the sound's summary so
// that the next opening has it at once.
//
// A worker thread opens the sound, feeds it to a SpeechFinder and leaves
// the spans for the thread that owns the project to take; it never touches
// the project itself.
#pragma once

#include "analysis/FilmSoundSummary.h"
#include "analysis/SpeechSpans.h"
#include "core/ProjectState.h"
#include "core/SoundSource.h"
#include "core/VoiceDecider.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace vt {

// Makes the voice-activity detector in the worker; null leaves the finder
// its energy gate.
using VoiceDeciderMaker = std::function<std::unique_ptr<VoiceDecider>()>;

// The speech in the whole sound; stops early, with what was found so far,
// once `cancel` is set. Throws SoundError when decoding breaks off.
SpeechSpanList findSpeech(SoundSource& sound, std::unique_ptr<VoiceDecider> decider,
                          const std::atomic<bool>& cancel);

// The sound speech is looked for in: the project's WAV file when it has
// one (not its summary), else the film's own sound track.
std::string speechSoundFile(const std::string& videoFileName, const std::string& wavFileName);

// Where the spans of this sound file are cached: beside its summary, empty
// when it has no cache file.
std::string speechCacheFile(const std::string& soundFileName);
std::optional<SpeechSpanList> readSpeechCache(const std::string& cacheFile);
// Throws FileError when the cache cannot be written.
void writeSpeechCache(const std::string& cacheFile, const SpeechSpanList& spans);

// The spans as frames, the way lines count them: a span starts on the frame
// its first sound falls in and ends on the first frame boundary after its
// last sound, so a line timed to it shows for all of the speech. Spans that
// meet in one frame become one.
SpeechFrameList speechFramesOf(const SpeechSpanList& spans, float frameRate);

// What looking for the speech in a sound came to.
struct SpeechAnswer {
    enum class End {
        Found,        // spans: all the speech (none in sound where no one speaks)
        NoSound,      // the opener gave no sound
        Unreadable,   // not one sample decoded, decoding broke off, or a sound the finder cannot take
        Stopped,      // `cancel` was set
    };
    End end = End::Stopped;
    SpeechSpanList spans;  // Found only
    std::string why;       // Unreadable: the decoder's own text, when it gave one
};

// A sound whose channels or sample rate the speech finder cannot take.
inline constexpr std::string_view SoundFormatUnusable = "声音的声道数或采样率无法分析";

// The spans of a sound: from the cache when it holds them, else found and
// cached (an empty cache name caches nothing). Only an answer that was
// found to the end is cached: a sound that could not be read is tried
// again next time.
SpeechAnswer searchSpeech(const SoundOpener& open, const VoiceDeciderMaker& decider, const std::string& cacheFile,
                          const std::atomic<bool>& cancel);

// searchSpeech for the editor, which shows no speech where none could be
// found: empty spans for sound that cannot be decoded; nothing only once
// `cancel` is set.
std::optional<SpeechSpanList> speechOfSound(const SoundOpener& open, const VoiceDeciderMaker& decider,
                                            const std::string& cacheFile, const std::atomic<bool>& cancel);

// speechOfSound in a thread of its own.
class SpeechSearch {
public:
    // Starts the worker at once: the cache when it holds the spans, else
    // the sound, whose spans it then caches (an empty name caches nothing).
    SpeechSearch(SoundOpener open, VoiceDeciderMaker decider, std::string cacheFile);
    ~SpeechSearch();
    SpeechSearch(const SpeechSearch&) = delete;
    SpeechSearch& operator=(const SpeechSearch&) = delete;

    // Asks the worker to stop and waits until it has. Safe to call more than once.
    void stop();

    // The spans, once the worker has them all (empty for sound without
    // speech, for a film without sound, and when decoding broke off);
    // nothing while it still works or after it was stopped.
    std::optional<SpeechSpanList> take();

private:
    void run();

    SoundOpener open_;
    VoiceDeciderMaker decider_;
    std::string cacheFile_;
    std::atomic<bool> cancel_{false};

    std::mutex lock_;
    std::optional<SpeechSpanList> found_;  // under lock_

    std::thread worker_;  // last: started once everything above exists
};

}  // namespace vt
