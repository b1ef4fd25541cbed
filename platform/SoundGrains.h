// The sound under a frame, played when the user steps onto it: a grain of
// the film's own sound track from the frame's start, decoded by a thread of
// its own with FFmpeg's libraries and played through ALSA. A person timing
// by ear hears where a word starts while going through it frame by frame.
//
// The device is ALSA's "default" (which a desktop's sound server takes), or
// the one VELTRANA_SOUND_DEVICE names. A grain cuts the one still playing
// short; a film without sound, or a machine where no device opens, plays
// nothing and says nothing: stepping works as before.
//
// No Qt here.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vt {

class SoundGrains {
public:
    // A frame's length at 25 fps: the sound one picture stands for.
    static constexpr int GrainMs = 40;

    // What the output played last: for tests and benchmarks.
    struct Played {
        int32_t frame = -1;
        std::chrono::steady_clock::time_point asked;    // play() was called
        std::chrono::steady_clock::time_point started;  // the output started the grain (its trigger time stamp)
        int rate = 0;
        int channels = 0;
        std::vector<int16_t> samples;  // interleaved, as played
    };

    // Frame n is the picture the player shows nearest n / fps seconds after
    // the file's start; its grain starts at that picture's own time.
    SoundGrains(std::string path, double fps);
    ~SoundGrains();
    SoundGrains(const SoundGrains&) = delete;
    SoundGrains& operator=(const SoundGrains&) = delete;

    // Plays the sound of frame (returns at once); a grain asked for while
    // another is being made replaces it.
    void play(int32_t frame);
    // The grain of frame, once the output started it; false after timeoutMs
    // or when the film has no sound or no device opens.
    bool waitPlayed(int32_t frame, int timeoutMs, Played& played) const;

private:
    struct Decoder;
    struct Output;
    void run();
    bool makeGrain(int32_t frame, std::vector<int16_t>& samples);

    const std::string path_;
    const double fps_;
    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<Output> output_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    int32_t wanted_ = -1;
    std::chrono::steady_clock::time_point askedAt_;
    bool stop_ = false;
    bool broken_ = false;  // no sound, or no device: nothing will ever play
    Played played_;
    std::thread thread_;
};

}  // namespace vt
