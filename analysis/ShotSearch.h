// The film's cuts, found in the background while the editor already works,
// and kept in the cache folder beside the sound's summary.
//
// A worker thread, at a lower priority than play, first reads the key
// frames the container flags (marks to show at once), then looks at the
// pictures around the play position, then at every picture from the start,
// handing the cuts over as they are settled, and at the end caches them. The thread that owns the project takes what came; the
// worker never touches the project.
#pragma once

#include "core/PictureSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vt {

// Opens the film's pictures in the worker, from the key frame at or before
// fromFrame on; empty when it has none it can decode.
using PictureOpener =
    std::function<std::unique_ptr<PictureSource>(int64_t fromFrame, const std::atomic<bool>& cancel)>;
// The frames the container marks as key frames, in order.
using KeyFrameReader = std::function<std::vector<int64_t>(const std::atomic<bool>& cancel)>;

// Where the cuts of this film are cached: beside its summary, empty when it
// has no cache file. A cache holds the frame rate the cuts were counted at
// and is ignored at another.
std::string shotChangesCacheFile(const std::string& videoFileName);
std::optional<std::vector<int32_t>> readShotChangesCache(const std::string& cacheFile, float frameRate);
// Throws FileError when the cache cannot be written.
void writeShotChangesCache(const std::string& cacheFile, float frameRate, const std::vector<int32_t>& cuts);

// What the worker has to show so far.
struct ShotMarks {
    std::vector<int32_t> cuts;       // settled cuts, in order
    std::vector<int32_t> keyFrames;  // the container's key frames where no pictures were looked at yet
    bool finished = false;           // nothing more will come
};

// The pictures this far either side of the play position are looked at first.
inline constexpr double ShotsNearPlaySeconds = 10.0;

class ShotSearch {
public:
    ShotSearch(PictureOpener open, KeyFrameReader keyFrames, float frameRate, int32_t playPosition,
               std::string cacheFile);
    ~ShotSearch();
    ShotSearch(const ShotSearch&) = delete;
    ShotSearch& operator=(const ShotSearch&) = delete;

    // Asks the worker to stop and waits until it has. Safe to call more than once.
    void stop();

    // The marks as they stand, when they changed since the last call.
    std::optional<ShotMarks> take();

private:
    void run();
    void publish(const ShotMarks& marks);
    // The cuts between the two frames, for the first marks near the play position.
    std::vector<int32_t> cutsBetween(int64_t from, int64_t to);

    PictureOpener open_;
    KeyFrameReader keyFrames_;
    float frameRate_;
    int32_t playPosition_;
    std::string cacheFile_;
    std::atomic<bool> cancel_{false};

    std::mutex lock_;
    std::optional<ShotMarks> fresh_;  // under lock_

    std::thread worker_;  // last: started once everything above exists
};

// What looking for the cuts of a film came to.
struct ShotAnswer {
    enum class End {
        Found,       // cuts: all of them (none in a film of one shot)
        NoPictures,  // the opener gave no pictures
        Unreadable,  // not one picture decoded, or decoding broke off
        Stopped,     // `cancel` was set
    };
    End end = End::Stopped;
    std::vector<int32_t> cuts;  // Found only
    std::string why;            // Unreadable: the decoder's own text, when it gave one
};

// The whole search in the calling thread, for the command line: the cache,
// else every picture looked at. Only an answer found to the end is cached.
ShotAnswer shotChangesOf(const PictureOpener& open, float frameRate, const std::string& cacheFile,
                         const std::atomic<bool>& cancel);

}  // namespace vt
