// Where a film's shots change: the cuts the editor marks on its strip and
// snaps subtitles to. Each small picture is compared with the one before:
// the pattern of its light (allowing for the camera moving a little), the
// spread of its light around its mean, and its light as a whole, each
// measured against the pictures' own contrast so that a dark scene counts
// as much as a bright one. A change counts as a cut when it stands out
// from the usual changes on both sides of it, and the picture before it
// does not come back within a flash's length (a flash, lightning, a
// glitch). Movement that goes on (a pan, a slow change of light, a
// dissolve) raises the changes around it alike, so it stands out nowhere.
#pragma once

#include "core/PictureSource.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace vt {

// Finds cuts in small luma pictures fed in display order. A cut is the frame number of the first
// picture of the new shot.
//
// Any frame may come first (a stretch in the middle of the film is as good
// as the whole). Memory stays small however long the film: only the last
// few pictures are kept, besides the cuts.
class ShotChangeFinder {
public:
    ShotChangeFinder(int32_t width, int32_t height, float frameRate);
    ~ShotChangeFinder();
    ShotChangeFinder(const ShotChangeFinder&) = delete;
    ShotChangeFinder& operator=(const ShotChangeFinder&) = delete;

    // A picture of width x height; pictures of any other size are ignored.
    void add(const SmallPicture& picture);
    // Cuts settled so far (a cut is settled a few frames after it, once a flash is ruled out).
    std::vector<int64_t> settled() const;
    std::vector<int64_t> finish();   // all cuts, in order

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// Every cut of the pictures, read to their end; once `cancel` is set, the
// cuts settled so far.
std::vector<int64_t> findShotChanges(PictureSource& pictures, float frameRate, const std::atomic<bool>& cancel);

}  // namespace vt
