#include "analysis/ShotSearch.h"

#include "analysis/FilmSoundCache.h"
#include "analysis/ShotChanges.h"
#include "core/Errors.h"
#include "core/FileIO.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vt {

namespace {

// the kind and the version of the way cuts are found
constexpr std::string_view ShotMagic = "VTSHOT01";
constexpr int BackgroundNice = 10;
// settled cuts are handed over this often, in pictures
constexpr int64_t PicturesPerHandover = 48;

int32_t frameNumber(int64_t frame)
{
    return int32_t(std::clamp<int64_t>(frame, 0, std::numeric_limits<int32_t>::max()));
}

std::vector<int32_t> frameNumbers(const std::vector<int64_t>& frames)
{
    std::vector<int32_t> out;
    out.reserve(frames.size());
    for (int64_t f : frames)
        out.push_back(frameNumber(f));
    return out;
}

}  // namespace

std::string shotChangesCacheFile(const std::string& videoFileName)
{
    return cacheFileBeside(videoFileName, ".shots");
}

std::optional<std::vector<int32_t>> readShotChangesCache(const std::string& cacheFile, float frameRate)
{
    const std::optional<ByteArray> bytes = readCacheFile(cacheFile, ShotMagic);
    if (!bytes || bytes->size() < 4 || bytes->size() % 4 != 0)
        return std::nullopt;
    float rate = 0;
    const uint32_t rateBits = readLe32(bytes->data());
    std::memcpy(&rate, &rateBits, sizeof rate);
    if (rate != frameRate)
        return std::nullopt;
    std::vector<int32_t> cuts;
    for (size_t i = 4; i < bytes->size(); i += 4) {
        const int32_t cut = int32_t(readLe32(bytes->data() + i));
        if (cut < 0 || (!cuts.empty() && cut <= cuts.back()))
            return std::nullopt;
        cuts.push_back(cut);
    }
    return cuts;
}

void writeShotChangesCache(const std::string& cacheFile, float frameRate, const std::vector<int32_t>& cuts)
{
    ByteArray bytes;
    bytes.reserve(4 + cuts.size() * 4);
    uint32_t rateBits = 0;
    std::memcpy(&rateBits, &frameRate, sizeof rateBits);
    appendLe32(bytes, rateBits);
    for (int32_t cut : cuts)
        appendLe32(bytes, uint32_t(cut));
    writeCacheFile(cacheFile, ShotMagic, bytes);
}

ShotSearch::ShotSearch(PictureOpener open, KeyFrameReader keyFrames, float frameRate, int32_t playPosition,
                       std::string cacheFile)
    : open_(std::move(open)), keyFrames_(std::move(keyFrames)), frameRate_(frameRate), playPosition_(playPosition),
      cacheFile_(std::move(cacheFile)), worker_([this] { run(); })
{
}

ShotSearch::~ShotSearch()
{
    stop();
}

void ShotSearch::stop()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
}

std::optional<ShotMarks> ShotSearch::take()
{
    std::lock_guard guard(lock_);
    return std::exchange(fresh_, std::nullopt);
}

void ShotSearch::publish(const ShotMarks& marks)
{
    std::lock_guard guard(lock_);
    fresh_ = marks;
}

std::vector<int32_t> ShotSearch::cutsBetween(int64_t from, int64_t to)
{
    std::unique_ptr<PictureSource> pictures = open_(from, cancel_);
    if (!pictures)
        return {};
    ShotChangeFinder finder(pictures->width(), pictures->height(), frameRate_);
    while (std::optional<SmallPicture> picture = pictures->next()) {
        finder.add(*picture);
        if (picture->frame > to)
            break;
    }
    return frameNumbers(finder.finish());
}

void ShotSearch::run()
{
    // play comes first; the decoder's own threads, started after this, inherit it
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), BackgroundNice);
    ShotMarks marks;
    if (!cacheFile_.empty()) {
        if (std::optional<std::vector<int32_t>> cached = readShotChangesCache(cacheFile_, frameRate_)) {
            marks.cuts = std::move(*cached);
            marks.finished = true;
            publish(marks);
            return;
        }
    }
    const std::vector<int32_t> keyFrames = frameNumbers(keyFrames_(cancel_));
    if (cancel_.load())
        return;
    marks.keyFrames = keyFrames;
    publish(marks);

    // What has been looked at: [0, lookedUpTo] from the start, and the stretch around the play position.
    const int64_t near = int64_t(ShotsNearPlaySeconds * double(frameRate_));
    const int64_t nearFrom = std::max<int64_t>(int64_t(playPosition_) - near, 0);
    const int64_t nearTo = int64_t(playPosition_) + near;
    std::vector<int32_t> nearCuts;
    int64_t lookedUpTo = -1;
    auto show = [&](std::vector<int32_t> cuts) {
        for (int32_t c : nearCuts)
            if (c > lookedUpTo)
                cuts.push_back(c);
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        marks.cuts = std::move(cuts);
        marks.keyFrames.clear();
        for (int32_t k : keyFrames)
            if (k > lookedUpTo && (k < nearFrom || k > nearTo))
                marks.keyFrames.push_back(k);
        publish(marks);
    };

    bool complete = false;
    try {
        if (nearFrom > 0) {
            nearCuts = cutsBetween(nearFrom, nearTo);
            if (cancel_.load())
                return;
            show({});
        }
        std::unique_ptr<PictureSource> pictures = open_(0, cancel_);
        if (pictures) {
            ShotChangeFinder finder(pictures->width(), pictures->height(), frameRate_);
            int64_t fed = 0;
            int64_t last = -1;
            while (std::optional<SmallPicture> picture = pictures->next()) {
                finder.add(*picture);
                last = picture->frame;
                if (++fed % PicturesPerHandover == 0) {
                    // the last pictures may still hold a cut waiting to be told from a flash
                    lookedUpTo = last - int64_t(2 * frameRate_);
                    show(frameNumbers(finder.settled()));
                }
            }
            if (!cancel_.load() && last >= 0) {
                lookedUpTo = std::numeric_limits<int64_t>::max();
                show(frameNumbers(finder.finish()));
                complete = true;
            }
        }
    } catch (const UserError&) {
        // a film that breaks off keeps the cuts found so far and its key frames beyond; the next opening tries again
    }
    if (cancel_.load())
        return;
    if (complete && !cacheFile_.empty()) {
        try {
            writeShotChangesCache(cacheFile_, frameRate_, marks.cuts);
        } catch (const FileError&) {
            // looked for again at the next opening; nothing is lost
        }
    }
    marks.finished = true;
    publish(marks);
}

ShotAnswer shotChangesOf(const PictureOpener& open, float frameRate, const std::string& cacheFile,
                         const std::atomic<bool>& cancel)
{
    ShotAnswer answer;
    if (!cacheFile.empty())
        if (std::optional<std::vector<int32_t>> cached = readShotChangesCache(cacheFile, frameRate)) {
            answer.end = ShotAnswer::End::Found;
            answer.cuts = std::move(*cached);
            return answer;
        }
    try {
        std::unique_ptr<PictureSource> pictures = open(0, cancel);
        if (!pictures) {
            answer.end = ShotAnswer::End::NoPictures;
        } else {
            ShotChangeFinder finder(pictures->width(), pictures->height(), frameRate);
            // a film of which not one picture decodes has no cuts to tell: it was not looked at
            bool seen = false;
            while (std::optional<SmallPicture> picture = pictures->next()) {
                if (cancel.load(std::memory_order_relaxed))
                    break;
                seen = true;
                finder.add(*picture);
            }
            answer.cuts = frameNumbers(finder.finish());
            answer.end = seen ? ShotAnswer::End::Found : ShotAnswer::End::Unreadable;
        }
    } catch (const UserError& error) {
        answer.end = ShotAnswer::End::Unreadable;
        answer.why = error.what();
    }
    if (cancel.load())
        return ShotAnswer{};
    if (answer.end != ShotAnswer::End::Found) {
        answer.cuts.clear();
        return answer;
    }
    if (!cacheFile.empty()) {
        try {
            writeShotChangesCache(cacheFile, frameRate, answer.cuts);
        } catch (const FileError&) {
            // looked for again next time; nothing is lost
        }
    }
    return answer;
}

}  // namespace vt
