// Pictures of the frames around where the user stands, decoded from the film
// by a thread of their own with FFmpeg's libraries and scaled to the size the
// picture is shown at. Going back one frame on a film whose key frames are
// far apart means decoding from the key frame before it; done once for the
// whole group, every further step back over it is a look-up, and the group
// before is decoded while the user is still on this one.
//
// Every picture is filed under the frame number its time stamp names, with
// the player's own frame rate and start, and a film whose time stamps do not
// fall on the frame grid (variable rate, frames missing) is given up as a
// whole: the player then seeks exactly as it would without this.
//
// No Qt here: the pictures are plain 32-bit buffers in QImage's RGB32 layout.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vt {

// Memory for pictures straight from the system and back to it when freed:
// pictures of a few hundred kilobytes made on one thread and freed on
// another otherwise stay in the allocator's pools, and the process grows
// far past the cache's budget.
template <class T>
struct MappedAllocator {
    using value_type = T;
    MappedAllocator() = default;
    template <class U>
    MappedAllocator(const MappedAllocator<U>&) noexcept {}
    T* allocate(size_t n);
    void deallocate(T* p, size_t n) noexcept;
    friend bool operator==(const MappedAllocator&, const MappedAllocator&) { return true; }
};

// One frame's picture, 0xffRRGGBB pixels in rows of stride bytes, the film
// fitted inside with black bars where its shape differs.
struct FramePicture {
    int32_t frame = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t, MappedAllocator<uint8_t>> pixels;
};
using FramePicturePtr = std::shared_ptr<const FramePicture>;

class FrameCache {
public:
    // Which way the user goes: the frames on that side are decoded ahead.
    enum class Heading { Backward, Forward, Standing };

    struct Film {
        std::string path;
        double fps = 0.0;         // the player's rate: frame n lies at n / fps after the start
        int32_t frameCount = 0;
        int displayWidth = 0;     // the picture's shape, pixel aspect applied
        int displayHeight = 0;
    };

    // Pictures held at most: 1080p films shown at the editor's size keep about
    // 600 frames (24 s at 25 fps), two to three groups of a typical H.264 film.
    static constexpr size_t DefaultBudgetBytes = size_t{512} << 20;

    // notify is called on the decoding thread when the frame last wanted is
    // ready, cannot be made, or the film is given up; it must only post.
    FrameCache(Film film, std::function<void()> notify, size_t budgetBytes = DefaultBudgetBytes);
    ~FrameCache();
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // Pictures are made at this size; a new size drops the ones held.
    void setPictureSize(int width, int height);
    // The user stands on (or is heading for) frame; it is made first, then
    // the frames on the side of heading. jumping: he goes back in jumps with
    // a little play between (the fast backward levels), so the next jumps
    // land on the frames passed on the way here.
    void want(int32_t frame, Heading heading, bool jumping = false);
    void want(int32_t, Heading, int32_t) = delete;  // a step's size is not whether it jumps
    // Nothing to do until the next want (the player plays on its own).
    void rest();

    // The picture of frame at the current size, or null.
    FramePicturePtr picture(int32_t frame) const;
    // False once the film turned out unfit; nothing is made after that.
    bool usable() const { return usable_.load(); }
    // True when the decoder cannot make frame (past the film's last decodable
    // frame, or before its first).
    bool cannotMake(int32_t frame) const;
    size_t picturesHeld() const;

private:
    struct Decoder;
    // A decoding thread with its own decoder. The front one makes the frame
    // wished for and the few after it; the one behind fills the groups
    // before, at the same time, so that a user going back fast finds the
    // group before already made. Neither starts on frames the other is
    // decoding its way to.
    struct Worker {
        std::unique_ptr<Decoder> decoder;
        bool behind = false;
        int32_t decodedUpTo = -1;  // goes on from here + 1 without a seek, -1: it must seek
        bool urgentPass = false;   // on its way to the frame wished for, which is not there yet
        int32_t jobFrom = 0;       // the frames its pass goes through
        int32_t jobTo = -1;
        std::thread thread;
    };
    struct Plan {
        int32_t target = -1;   // the frame to reach next
        bool seek = false;     // from its key frame rather than on from where the decoder stands
        int32_t keepFrom = 0;  // frames in this range are kept
        int32_t keepTo = -1;
        int generation = 0;
        int width = 0;
        int height = 0;
    };

    // Where a decoded frame falls: the next one, a seek that landed too late
    // (the key frame before is sought again), or frames missing or doubled.
    enum class Placed { InOrder, Reseek, OutOfOrder };

    void run(Worker& worker);
    void startPassLocked(const Plan& plan, Worker& worker);
    // The frames the decoder has ready after a packet, filed and those kept
    // scaled; false when the film must be given up.
    bool receiveFrames(Worker& worker, bool& ended, bool& news);
    Placed placeLocked(Worker& worker, int32_t frame, bool key, bool& news);
    bool keepsLocked(const Worker& worker, int32_t frame) const;
    // After the decoder's last frame; true when the wish lies past it.
    bool reachedEndLocked(Worker& worker);
    bool planLocked(Plan& plan, const Worker& worker) const;
    bool waitedForLocked() const;
    size_t capacityLocked() const;
    void keepRangeLocked(int32_t& from, int32_t& to) const;
    bool continuableLocked(int32_t frame, const Worker& worker) const;
    void evictLocked();
    void giveUp();

    const Film film_;
    const std::function<void()> notify_;
    const size_t budgetBytes_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int32_t, FramePicturePtr> pictures_;
    int32_t want_ = -1;
    Heading heading_ = Heading::Standing;
    bool jumping_ = false;
    bool resting_ = true;
    int width_ = 0;
    int height_ = 0;
    int generation_ = 0;          // bumped when the size changes
    int32_t firstFrame_ = 0;      // frames before this cannot be made
    int32_t endFrame_;            // nor this one and after
    int32_t longestGroup_ = 300;  // frames between key frames seen so far, with some room
    bool stop_ = false;
    std::atomic<bool> stopFlag_{false};
    std::atomic<bool> usable_{true};

    Worker workers_[2];
};

}  // namespace vt
