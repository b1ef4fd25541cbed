#include "analysis/FilmSoundSummary.h"

#include "core/Coverage.h"
#include "core/FileIO.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/WaveSummary.h"

#include <algorithm>
#include <utility>

namespace vt {

FilmSoundSummary::FilmSoundSummary(SoundOpener open, std::string cacheFile)
    : open_(std::move(open)), cacheFile_(std::move(cacheFile)), worker_([this] { run(); })
{
}

FilmSoundSummary::~FilmSoundSummary()
{
    stop();
}

void FilmSoundSummary::stop()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
}

void FilmSoundSummary::publish(Stage stage)
{
    std::lock_guard guard(lock_);
    stage_ = stage;
}

void FilmSoundSummary::run()
{
    std::unique_ptr<SoundSource> source;
    try {
        source = open_(cancel_);
    } catch (const UserError&) {
        source.reset();
    }
    if (!source) {
        publish(cancel_.load() ? Stage::Stopped : Stage::NoSound);
        return;
    }
    const SoundFormat format = source->format();
    std::optional<StreamingSummary> summarizer;
    try {
        if (format.channels < 1 || format.channels > 2)
            throw WavFormatError("more channels than the decoder promises");
        summarizer.emplace(PcmFormat{uint16_t(format.channels), uint32_t(format.sampleRate), 16});
    } catch (const WavFormatError&) {
        publish(Stage::NoSound);
        return;
    }
    {
        std::lock_guard guard(lock_);
        stage_ = Stage::Decoding;
        // two bytes per 10 ms
        expectedBytes_ = size_t(std::max<int64_t>(source->durationMicroseconds(), 0) / 10000 * 2);
    }

    ByteArray all;  // kept for the cache
    bool failed = false;
    try {
        while (!cancel_.load(std::memory_order_relaxed)) {
            const std::span<const int16_t> samples = source->next();
            if (samples.empty())
                break;
            const size_t before = all.size();
            summarizer->add(reinterpret_cast<const uint8_t*>(samples.data()), samples.size_bytes(), all);
            if (all.size() > before) {
                std::lock_guard guard(lock_);
                queue_.insert(queue_.end(), all.begin() + ptrdiff_t(before), all.end());
            }
        }
    } catch (const SoundError&) {
        failed = true;
    }
    source.reset();  // the film is closed before anything else happens

    if (cancel_.load()) {
        publish(Stage::Stopped);
    } else if (failed) {
        publish(Stage::Failed);  // a broken summary is not cached: the next opening tries again
    } else if (all.empty()) {
        publish(Stage::NoSound);
    } else {
        if (!cacheFile_.empty()) {
            try {
                writeFilmSoundCache(cacheFile_, all);
            } catch (const FileError&) {
                // without a cache the next opening decodes again; nothing is lost
            }
        }
        publish(Stage::Finished);
    }
}

FilmSoundSummary::Delivery FilmSoundSummary::deliver(ByteArray& summary, ByteArray& marks,
                                                     const TimelineArray& timeline, int32_t timelineCount,
                                                     float frameRate)
{
    Delivery delivery;
    ByteArray fresh;
    size_t expected;
    {
        std::lock_guard guard(lock_);
        fresh.swap(queue_);
        delivery.stage = stage_;
        expected = expectedBytes_;
    }
    const Stage stage = delivery.stage;
    if (done_) {
        delivery.done = true;
        return delivery;
    }

    const size_t length = summary.size();
    const size_t inPlace = delivered_ < length ? std::min(fresh.size(), length - delivered_) : 0;
    std::copy_n(fresh.begin(), inPlace, summary.begin() + ptrdiff_t(delivered_));
    heldBack_.insert(heldBack_.end(), fresh.begin() + ptrdiff_t(inPlace), fresh.end());
    delivered_ += fresh.size();

    switch (stage) {
    case Stage::Opening:
        return delivery;
    case Stage::Decoding: {
        const size_t whole = expected > 0 ? expected : length;
        delivery.permille = whole > 0 ? int(std::min<size_t>(delivered_ * 1000 / whole, 999)) : 0;
        return delivery;
    }
    case Stage::Finished:
        // the queue was emptied under the same lock that showed the stage, so every pair is here
        if (delivered_ != length) {
            summary.resize(delivered_);
            if (delivered_ > length)
                std::copy(heldBack_.begin(), heldBack_.end(), summary.begin() + ptrdiff_t(length));
            marks.assign(summary.size(), 0);
            rebuildWaveMarks(marks, timeline, timelineCount, frameRate);
        }
        break;
    case Stage::NoSound:
    case Stage::Failed:
    case Stage::Stopped:
        break;
    }
    heldBack_.clear();
    heldBack_.shrink_to_fit();
    done_ = true;
    delivery.done = true;
    return delivery;
}

}  // namespace vt
