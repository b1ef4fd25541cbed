// The waveform summary of a film's own sound track, built in the background
// while the editor already works on the placeholder summary.
//
// A worker thread opens the sound, decodes it and summarises it into a
// buffer of its own; it never touches the project. Finished pairs wait in a
// queue guarded by a mutex until the user-interface thread takes them with
// deliver(), which writes them over the placeholder in the project's
// summary: the project's summary and marks are only ever written by the
// thread that calls deliver().
//
// While decoding runs, the summary keeps its length (the placeholder's), and
// so do the marks; pairs beyond it are held back. When the sound has ended,
// the summary takes the sound's real length and the marks are rebuilt from
// the timeline at that length, so a line inserted over the placeholder's
// extra seconds is kept. A film without usable sound keeps the placeholder.
#pragma once

#include "core/ProjectState.h"
#include "core/SoundSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vt {

// Opens the sound in the worker thread; empty when the film has none it can
// decode. Decoding is to stop soon after `cancel` is set.
using SoundOpener = std::function<std::unique_ptr<SoundSource>(const std::atomic<bool>& cancel)>;

class FilmSoundSummary {
public:
    // How far the worker has come.
    enum class Stage : uint8_t {
        Opening,   // the film is being opened
        Decoding,  // pairs are coming
        Finished,  // the whole sound is summarised (and cached)
        NoSound,   // nothing usable: the placeholder stays
        Failed,    // decoding broke off: what came stays, the rest keeps the placeholder
        Stopped,   // stop() was called first
    };

    // Starts the worker at once. A finished summary is stored in cacheFile
    // (FilmSoundCache.h) by the worker; an empty name stores nothing.
    FilmSoundSummary(SoundOpener open, std::string cacheFile);
    // Stops the worker and waits for it.
    ~FilmSoundSummary();
    FilmSoundSummary(const FilmSoundSummary&) = delete;
    FilmSoundSummary& operator=(const FilmSoundSummary&) = delete;

    // Asks the worker to stop and waits until it has: the file is closed and
    // nothing is written afterwards. Safe to call more than once.
    void stop();

    struct Delivery {
        Stage stage = Stage::Opening;
        bool done = false;               // nothing more will come; the caller may drop this object
        std::optional<int> permille;     // progress to show while decoding; empty: no bar
    };

    // On the thread that owns the project (the refresh tick): writes the
    // pairs finished since the last call into `summary` at their place, and
    // once the sound has ended gives summary and marks the sound's length,
    // the marks rebuilt from the timeline's first timelineCount slots.
    Delivery deliver(ByteArray& summary, ByteArray& marks, const TimelineArray& timeline, int32_t timelineCount,
                     float frameRate);

    // Summary bytes written so far by deliver(), held-back ones included.
    size_t deliveredBytes() const { return delivered_; }

private:
    void run();
    void publish(Stage stage);

    SoundOpener open_;
    std::string cacheFile_;
    std::atomic<bool> cancel_{false};

    // shared with the worker, under lock_
    std::mutex lock_;
    ByteArray queue_;
    Stage stage_ = Stage::Opening;
    size_t expectedBytes_ = 0;  // from the sound's stated length; 0 unknown

    // the owning thread's own
    size_t delivered_ = 0;
    ByteArray heldBack_;        // pairs past the summary's length while decoding runs
    bool done_ = false;

    std::thread worker_;        // last: started once everything above exists
};

}  // namespace vt
