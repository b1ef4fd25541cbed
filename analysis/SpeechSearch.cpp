#include "analysis/SpeechSearch.h"

#include "analysis/FilmSoundCache.h"
#include "analysis/WaveSummary.h"
#include "core/FileIO.h"

#include <cmath>
#include <utility>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vt {

namespace {

// the kind and the version of the way spans are found: a better finder
// changes the version, and the old spans are found again
constexpr std::string_view SpeechMagic = "VTSPCH02";

constexpr int BackgroundNice = 10;

// The whole sound into the finder; false when not one sample came.
bool feed(SoundSource& sound, SpeechFinder& finder, const std::atomic<bool>& cancel)
{
    bool heard = false;
    while (!cancel.load(std::memory_order_relaxed)) {
        const std::span<const int16_t> samples = sound.next();
        if (samples.empty())
            break;
        heard = true;
        finder.add(samples);
    }
    return heard;
}

}  // namespace

SpeechSpanList findSpeech(SoundSource& sound, std::unique_ptr<VoiceDecider> decider, const std::atomic<bool>& cancel)
{
    SpeechFinder finder(sound.format(), std::move(decider));
    feed(sound, finder, cancel);
    return finder.finish();
}

std::string speechSoundFile(const std::string& videoFileName, const std::string& wavFileName)
{
    if (!wavFileName.empty() && !isWaveSummaryName(wavFileName) && fileExists(wavFileName))
        return wavFileName;
    return videoFileName;
}

std::string speechCacheFile(const std::string& soundFileName)
{
    return cacheFileBeside(soundFileName, ".speech");
}

std::optional<SpeechSpanList> readSpeechCache(const std::string& cacheFile)
{
    const std::optional<ByteArray> bytes = readCacheFile(cacheFile, SpeechMagic);
    if (!bytes || bytes->size() % 8 != 0)
        return std::nullopt;
    SpeechSpanList spans;
    for (size_t i = 0; i < bytes->size(); i += 8) {
        const SpeechSpan span{int32_t(readLe32(bytes->data() + i)), int32_t(readLe32(bytes->data() + i + 4))};
        // spans out of order would make every search over them wrong
        if (span.StartMs < 0 || span.EndMs <= span.StartMs || (!spans.empty() && span.StartMs < spans.back().EndMs))
            return std::nullopt;
        spans.push_back(span);
    }
    return spans;
}

void writeSpeechCache(const std::string& cacheFile, const SpeechSpanList& spans)
{
    ByteArray bytes;
    bytes.reserve(spans.size() * 8);
    for (const SpeechSpan& s : spans) {
        appendLe32(bytes, uint32_t(s.StartMs));
        appendLe32(bytes, uint32_t(s.EndMs));
    }
    writeCacheFile(cacheFile, SpeechMagic, bytes);
}

SpeechFrameList speechFramesOf(const SpeechSpanList& spans, float frameRate)
{
    SpeechFrameList frames;
    frames.reserve(spans.size());
    const double perMs = double(frameRate) / 1000.0;
    for (const SpeechSpan& s : spans) {
        const int32_t start = int32_t(std::floor(s.StartMs * perMs));
        // a line's out time is its end frame's time: the first frame boundary
        // at or after the last sound
        const int32_t end = std::max(start + 1, int32_t(std::ceil(s.EndMs * perMs)));
        // two spans in one frame are one for the frames
        if (!frames.empty() && start <= frames.back().EndFrame)
            frames.back().EndFrame = std::max(frames.back().EndFrame, end);
        else
            frames.push_back({start, end});
    }
    return frames;
}

SpeechSearch::SpeechSearch(SoundOpener open, VoiceDeciderMaker decider, std::string cacheFile)
    : open_(std::move(open)), decider_(std::move(decider)), cacheFile_(std::move(cacheFile)), worker_([this] { run(); })
{
}

SpeechSearch::~SpeechSearch()
{
    stop();
}

void SpeechSearch::stop()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
}

std::optional<SpeechSpanList> SpeechSearch::take()
{
    std::lock_guard guard(lock_);
    return std::exchange(found_, std::nullopt);
}

void SpeechSearch::run()
{
    // play and the refresh come first; on Linux a thread's nice value is its own
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), BackgroundNice);
    std::optional<SpeechSpanList> spans = speechOfSound(open_, decider_, cacheFile_, cancel_);
    std::lock_guard guard(lock_);
    found_ = std::move(spans);
}

SpeechAnswer searchSpeech(const SoundOpener& open, const VoiceDeciderMaker& decider, const std::string& cacheFile,
                          const std::atomic<bool>& cancel)
{
    SpeechAnswer answer;
    if (!cacheFile.empty()) {
        if (std::optional<SpeechSpanList> cached = readSpeechCache(cacheFile)) {
            answer.end = SpeechAnswer::End::Found;
            answer.spans = std::move(*cached);
            return answer;
        }
    }
    try {
        std::unique_ptr<SoundSource> sound = open(cancel);
        const SoundFormat format = sound ? sound->format() : SoundFormat{};
        if (!sound) {
            answer.end = SpeechAnswer::End::NoSound;
        } else if (format.channels < 1 || format.channels > 2 || format.sampleRate < SpeechFinder::MinSampleRate ||
                   format.sampleRate > SpeechFinder::MaxSampleRate) {
            answer.end = SpeechAnswer::End::Unreadable;
            answer.why = SoundFormatUnusable;
        } else {
            SpeechFinder finder(format, decider ? decider() : nullptr);
            // a sound of which not one sample decodes is not silence: nothing was heard at all
            const bool heard = feed(*sound, finder, cancel);
            answer.spans = finder.finish();
            answer.end = heard ? SpeechAnswer::End::Found : SpeechAnswer::End::Unreadable;
        }
    } catch (const UserError& error) {
        // a sound that breaks off has no spans this time; the next opening tries again
        answer.end = SpeechAnswer::End::Unreadable;
        answer.why = error.what();
    }
    if (cancel.load())
        return SpeechAnswer{};
    if (answer.end != SpeechAnswer::End::Found) {
        answer.spans.clear();
        return answer;
    }
    if (!cacheFile.empty()) {
        try {
            writeSpeechCache(cacheFile, answer.spans);
        } catch (const FileError&) {
            // found again at the next opening; nothing is lost
        }
    }
    return answer;
}

std::optional<SpeechSpanList> speechOfSound(const SoundOpener& open, const VoiceDeciderMaker& decider,
                                            const std::string& cacheFile, const std::atomic<bool>& cancel)
{
    SpeechAnswer answer = searchSpeech(open, decider, cacheFile, cancel);
    if (answer.end == SpeechAnswer::End::Stopped)
        return std::nullopt;
    return std::move(answer.spans);
}

}  // namespace vt
