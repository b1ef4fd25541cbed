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
// Pictures are kept as the film's own planar YUV 4:2:0 at the size they are
// shown, 12 bits a pixel against 32 for RGB, and turned into RGB when drawn;
// how many are kept follows a budget in bytes.
//
// No Qt here: drawn pictures are plain 32-bit buffers in QImage's RGB32 layout.
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

struct SwsContext;

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

// One frame's picture of width x height, the film fitted inside with black
// bars where its shape differs. Only the film part is kept: three planes of
// 8-bit YUV 4:2:0 (chroma at half the width and height, rounded up), in the
// film's own colour matrix and range.
struct FramePicture {
    int32_t frame = 0;
    int width = 0;
    int height = 0;
    // where the film lies in the picture
    int filmX = 0;
    int filmY = 0;
    int filmWidth = 0;
    int filmHeight = 0;
    int colorspace = 0;  // swscale's SWS_CS_* of the film
    bool fullRange = false;
    int strides[3] = {};
    size_t offsets[3] = {};
    std::vector<uint8_t, MappedAllocator<uint8_t>> planes;

    // What a picture of the film part's size takes, rounded to whole pages.
    static size_t bytesFor(int filmWidth, int filmHeight);
    // Shapes the planes for a film part of w x h.
    void allocate(int w, int h);
};
using FramePicturePtr = std::shared_ptr<const FramePicture>;

// Turns cached pictures into 0xffRRGGBB pixels for drawing, bars included;
// keeps its converter from one picture to the next. One per thread.
class PictureToRgb {
public:
    PictureToRgb() = default;
    ~PictureToRgb();
    PictureToRgb(const PictureToRgb&) = delete;
    PictureToRgb& operator=(const PictureToRgb&) = delete;
    // dst holds picture.height rows of stride bytes; false when swscale fails.
    bool convert(const FramePicture& picture, uint8_t* dst, int stride);

private:
    SwsContext* sws_ = nullptr;
    int space_ = -1;
    bool full_ = false;
};

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

    // The memory pictures may take on this machine: an eighth of its memory,
    // at least 128 MiB and at most 160 MiB. A film shown at the editor's size
    // keeps about 600 frames in 160 MiB (24 s at 25 fps), two to three groups
    // of a typical H.264 film; shown at 1920x1080, about 50.
    static size_t defaultBudgetBytes();
    static size_t budgetFor(uint64_t physicalBytes);

    // notify is called on the decoding thread when the frame last wanted is
    // ready, cannot be made, or the film is given up; it must only post.
    FrameCache(Film film, std::function<void()> notify, size_t budgetBytes = defaultBudgetBytes());
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
    // What the pictures held take.
    size_t bytesHeld() const;

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
