// Shot changes: how well the finder tells the hard cuts of three generated
// films (100 shots each, 640x360 H.264, at 23.976, 25 and 29.97 fps) from
// their white flashes, fast pans, slow changes of light and dissolves, and
// what it makes of a fourth film whose shots are all dark; how
// long the whole analysis of a 1080p H.264 film takes against
// `ffmpeg -v error -i film -f null -` decoding the same file; how soon
// keyFramesOf answers for it; and how soon the editor's search shows the
// cuts around the play position, in the middle of the film.
//
// With VT_BENCH_TWO_HOURS=1 the same is measured on a film of two hours:
// the 1080p film joined to itself 23 times (without re-encoding), about 4.6
// GB, which is made beside it in seconds and kept like it.
//
// The films are generated once (about ten minutes of ffmpeg on two cores)
// into $VT_BENCH_DIR/vt-shot-bench (default: the system's temporary folder)
// and kept there for the next run; a film's name carries a fingerprint of
// how it is made, so a changed recipe makes a new one.
//
//   bench_shot_changes                                 both
//   bench_shot_changes --benchmark_filter=none         the accuracy table only
#include "analysis/ShotChanges.h"
#include "analysis/ShotSearch.h"
#include "platform/FilmPictures.h"
#include "tests/support/ShotClips.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace clips = vt::shotclips;
namespace fs = std::filesystem;

namespace {

// not one of the films the finder's constants were tuned on
constexpr uint32_t Seed = 20261209;
constexpr int Shots = 100;

// The speed film: 6 minutes at 25 fps. Its shots are made at 480x270 and
// scaled up, with a little grain added over the whole film, so that it
// holds about as much detail per second as a film does (7 Mbit/s at
// x264's veryfast, CRF 21); drawing them at 1080p would take ffmpeg most of
// an hour on two cores.
constexpr int SpeedShots = 140;
const clips::Rate SpeedRate = clips::Film25;
const char* const SpeedCodec = "-preset veryfast -crf 21";
const char* const SpeedFinish = "scale=1920:1080:flags=bicubic,noise=alls=3:allf=t";

// the two-hour film: the speed film this many times
constexpr int LongCopies = 23;

fs::path gDir;
// the films the speed is measured on: the speed film, and the two-hour one when asked for
std::vector<std::string> gSpeedFilms;
std::vector<clips::Truth> gSpeedTruths;

uint64_t fingerprint(const std::vector<clips::Shot>& shots, const std::string& more)
{
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    auto add = [&h](const std::string& s) {
        for (unsigned char c : s)
            h = (h ^ c) * 1099511628211ull;
    };
    for (const clips::Shot& shot : shots)
        add(shot.graph + "|" + std::to_string(shot.frames) + ";");
    add(more);
    return h;
}

// The film made once and kept; its truth comes from the recipe every time.
clips::Film keptFilm(const std::string& stem, const clips::Rate& rate, const std::vector<clips::Shot>& shots,
                     const std::string& codec = "", const std::string& finish = "")
{
    char name[96];
    std::snprintf(name, sizeof name, "%s-%016llx.mp4", stem.c_str(),
                  static_cast<unsigned long long>(fingerprint(shots, codec + "|" + finish)));
    const fs::path path = gDir / name;
    if (fs::exists(path))
        return {path.string(), clips::truthOf(shots)};
    std::printf("generating %s ...\n", path.string().c_str());
    std::fflush(stdout);
    clips::Film film = clips::makeFilm(gDir, std::string(name) + ".part.mp4", rate, shots, codec, finish);
    if (film.path.empty())
        return film;
    fs::rename(film.path, path);
    film.path = path.string();
    return film;
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ffmpeg and the analysis one after the other on the same film, so that a
// machine busy with something else slows both alike; the time reported is
// the analysis's, from opening the film to its last cut.
void BM_AnalysisAgainstFfmpeg(benchmark::State& state)
{
    if (size_t(state.range(0)) >= gSpeedFilms.size()) {
        state.SkipWithError("set VT_BENCH_TWO_HOURS=1 for the two-hour film");
        return;
    }
    const std::string& film = gSpeedFilms[size_t(state.range(0))];
    const clips::Truth& truth = gSpeedTruths[size_t(state.range(0))];
    const std::string ffmpeg = "ffmpeg -v error -nostdin -i '" + film + "' -f null -";
    double ffmpegSeconds = 0, analysisSeconds = 0, ffmpegCpu = 0, analysisCpu = 0;
    std::vector<int64_t> found;
    for (auto _ : state) {
        const double childCpu0 = cpuSeconds(RUSAGE_CHILDREN);
        auto t0 = std::chrono::steady_clock::now();
        if (std::system(ffmpeg.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        auto t1 = std::chrono::steady_clock::now();
        const double selfCpu0 = cpuSeconds(RUSAGE_SELF);
        const std::atomic<bool> never{false};
        std::unique_ptr<vt::PictureSource> pictures = vt::openFilmPictures(film, SpeedRate.fps(), never);
        if (!pictures) {
            state.SkipWithError("no pictures");
            break;
        }
        found = vt::findShotChanges(*pictures, SpeedRate.fps(), never);
        pictures.reset();
        auto t2 = std::chrono::steady_clock::now();
        ffmpegSeconds = std::chrono::duration<double>(t1 - t0).count();
        analysisSeconds = std::chrono::duration<double>(t2 - t1).count();
        ffmpegCpu = cpuSeconds(RUSAGE_CHILDREN) - childCpu0;
        analysisCpu = cpuSeconds(RUSAGE_SELF) - selfCpu0;
        state.SetIterationTime(analysisSeconds);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["ffmpeg_s"] = ffmpegSeconds;
    state.counters["ratio"] = analysisSeconds / ffmpegSeconds;
    state.counters["cpu_ratio"] = analysisCpu / ffmpegCpu;
    const clips::Score score = clips::score(found, truth);
    state.counters["cuts"] = double(score.cuts);
    state.counters["found"] = double(score.found);
    state.counters["exact"] = double(score.exact);
    state.counters["reported"] = double(score.reported);
    state.counters["peak_rss_MB"] = double(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_AnalysisAgainstFfmpeg)->Arg(0)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);
// the two-hour film takes some 17 minutes a pair
BENCHMARK(BM_AnalysisAgainstFfmpeg)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(1);

// From the call to the container's key frames of the whole film.
void BM_KeyFrames(benchmark::State& state)
{
    if (size_t(state.range(0)) >= gSpeedFilms.size()) {
        state.SkipWithError("set VT_BENCH_TWO_HOURS=1 for the two-hour film");
        return;
    }
    size_t keys = 0;
    for (auto _ : state) {
        const std::atomic<bool> never{false};
        keys = vt::keyFramesOf(gSpeedFilms[size_t(state.range(0))], SpeedRate.fps(), never).size();
    }
    state.counters["key_frames"] = double(keys);
}
BENCHMARK(BM_KeyFrames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

// The editor's search, as the editor starts it on a film opened at its
// middle, without a cache: from the start to the first marks that hold the
// cuts found in the pictures around the play position, and how many of the
// true cuts there those are.
void BM_FirstMarksNearPlay(benchmark::State& state)
{
    if (size_t(state.range(0)) >= gSpeedFilms.size()) {
        state.SkipWithError("set VT_BENCH_TWO_HOURS=1 for the two-hour film");
        return;
    }
    const std::string film = gSpeedFilms[size_t(state.range(0))];
    const clips::Truth& truth = gSpeedTruths[size_t(state.range(0))];
    const float rate = SpeedRate.fps();
    const int32_t play = int32_t(truth.frames / 2);
    const int64_t near = int64_t(vt::ShotsNearPlaySeconds * double(rate));
    std::vector<int64_t> nearTruth;
    for (int64_t c : truth.cuts)
        if (c >= play - near && c <= play + near)
            nearTruth.push_back(c);
    double keyFramesSeconds = 0;
    std::vector<int64_t> shown;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        vt::ShotSearch search(
            [film, rate](int64_t from, const std::atomic<bool>& cancel) {
                return vt::openFilmPictures(film, rate, cancel, vt::AnalysisWidth, from);
            },
            [film, rate](const std::atomic<bool>& cancel) { return vt::keyFramesOf(film, rate, cancel); }, rate, play,
            "");
        bool keys = false;
        for (;;) {
            std::optional<vt::ShotMarks> marks = search.take();
            if (marks && !keys) {
                keys = true;
                keyFramesSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            }
            // the key frames around the play position give way to what the pictures there show
            if (marks && (!marks->cuts.empty() || marks->finished)) {
                shown.assign(marks->cuts.begin(), marks->cuts.end());
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        search.stop();
    }
    clips::Truth nearOnly;
    nearOnly.cuts = nearTruth;
    const clips::Score score = clips::score(shown, nearOnly);
    state.counters["key_frames_s"] = keyFramesSeconds;
    state.counters["true_cuts_near"] = double(nearTruth.size());
    state.counters["shown_exact"] = double(score.exact);
}
BENCHMARK(BM_FirstMarksNearPlay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

// The speed film joined to itself `copies` times by the concat demuxer,
// packets copied as they are; its truth is the speed film's, again and
// again, and a cut where each copy starts.
clips::Film joinedFilm(const clips::Film& one, int copies)
{
    const fs::path path = fs::path(one.path).replace_extension("").string() + "-x" + std::to_string(copies) + ".mp4";
    clips::Film joined{path.string(), {}};
    for (int k = 0; k < copies; ++k) {
        const int64_t offset = k * one.truth.frames;
        if (k > 0)
            joined.truth.cuts.push_back(offset);
        for (int64_t c : one.truth.cuts)
            joined.truth.cuts.push_back(c + offset);
    }
    joined.truth.frames = copies * one.truth.frames;
    if (fs::exists(path))
        return joined;
    const fs::path list = gDir / "join.txt";
    {
        std::ofstream out(list);
        for (int k = 0; k < copies; ++k)
            out << "file '" << one.path << "'\n";
    }
    std::printf("joining %s ...\n", path.string().c_str());
    std::fflush(stdout);
    const std::string part = path.string() + ".part.mp4";
    const std::string command = "ffmpeg -v error -nostdin -y -f concat -safe 0 -i '" + list.string() +
                                "' -c copy '" + part + "'";
    if (std::system(command.c_str()) != 0)
        return {};
    fs::rename(part, path);
    fs::remove(list);
    return joined;
}

void accuracyTable()
{
    struct Sum {
        int cuts = 0, found = 0, exact = 0, reported = 0, darkCuts = 0, darkFound = 0;
        int inFlashes = 0, inPans = 0, inSlow = 0, inDissolves = 0, elsewhere = 0;
        int flashes = 0, pans = 0, slow = 0, dissolves = 0, dissolvesReported = 0;
        std::vector<double> places;
    } all;
    std::printf("\n| film | hard cuts | found (±2 frames) | on the exact frame | between dark shots found | reported "
                "in flashes / pans / slow changes / dissolves / elsewhere |\n|---|---|---|---|---|---|\n");
    const clips::Rate rates[] = {clips::Film23976, clips::Film25, clips::Film2997, clips::Film25};
    for (int i = 0; i < 4; ++i) {
        const clips::Rate& rate = rates[i];
        // the last film all dark shots, also of looks that dimmed are all but flat
        const bool allDark = i == 3;
        const std::vector<clips::Shot> shots = allDark ? clips::darkShots(Seed + uint32_t(i), Shots, 640, 360, rate)
                                                       : clips::manyShots(Seed + uint32_t(i), Shots, 640, 360, rate);
        const clips::Film film = keptFilm((allDark ? "dark-" : "accuracy-") + std::to_string(i), rate, shots);
        const std::string name = rate.text() + " fps" + (allDark ? ", every shot dark" : "");
        if (film.path.empty()) {
            std::printf("| %s | could not be made |\n", name.c_str());
            continue;
        }
        const std::atomic<bool> never{false};
        std::unique_ptr<vt::PictureSource> pictures = vt::openFilmPictures(film.path, rate.fps(), never);
        const std::vector<int64_t> found = pictures ? vt::findShotChanges(*pictures, rate.fps(), never)
                                                    : std::vector<int64_t>{};
        const clips::Score s = clips::score(found, film.truth);
        std::printf("| %s, %lld frames | %d | %d | %d | %d of %d | %d / %d / %d / %d / %d |\n", name.c_str(),
                    static_cast<long long>(film.truth.frames), s.cuts, s.found, s.exact, s.darkFound, s.darkCuts,
                    s.inFlashes, s.inPans, s.inSlowChanges, s.inDissolves, s.elsewhere);
        std::fflush(stdout);
        if (allDark)
            continue;  // apart from the sums: it shows where luma alone runs out
        all.cuts += s.cuts;
        all.found += s.found;
        all.exact += s.exact;
        all.reported += s.reported;
        all.darkCuts += s.darkCuts;
        all.darkFound += s.darkFound;
        all.inFlashes += s.inFlashes;
        all.inPans += s.inPans;
        all.inSlow += s.inSlowChanges;
        all.inDissolves += s.inDissolves;
        all.elsewhere += s.elsewhere;
        all.flashes += int(film.truth.flashes.size());
        all.pans += int(film.truth.pans.size());
        all.slow += int(film.truth.slowChanges.size());
        all.dissolves += int(film.truth.dissolves.size());
        all.dissolvesReported += s.dissolvesReported;
        all.places.insert(all.places.end(), s.dissolvePlaces.begin(), s.dissolvePlaces.end());
    }
    if (all.cuts == 0)
        return;
    std::printf("\nthe three films of every kind: recall %.1f %%, precision %.1f %%, on the exact frame %.1f %% of those found; "
                "%d flashes, %d pans, %d slow changes, %d dissolves in the films; %d dissolves with a cut reported",
                100.0 * all.found / all.cuts, all.reported ? 100.0 * all.found / all.reported : 100.0,
                all.found ? 100.0 * all.exact / all.found : 0.0, all.flashes, all.pans, all.slow, all.dissolves,
                all.dissolvesReported);
    std::sort(all.places.begin(), all.places.end());
    for (double p : all.places)
        std::printf(" %.2f", p);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!clips::haveFfmpeg()) {
        std::fprintf(stderr, "ffmpeg is needed\n");
        return 1;
    }
    const char* env = std::getenv("VT_BENCH_DIR");
    gDir = fs::path(env && *env ? env : fs::temp_directory_path().string()) / "vt-shot-bench";
    fs::create_directories(gDir);

    accuracyTable();

    const std::vector<clips::Shot> shots = clips::manyShots(Seed, SpeedShots, 480, 270, SpeedRate, true);
    const clips::Film speed = keptFilm("speed-1080p", SpeedRate, shots, SpeedCodec, SpeedFinish);
    if (speed.path.empty()) {
        std::fprintf(stderr, "cannot generate the 1080p film\n");
        return 1;
    }
    gSpeedFilms.push_back(speed.path);
    gSpeedTruths.push_back(speed.truth);
    const char* twoHours = std::getenv("VT_BENCH_TWO_HOURS");
    if (twoHours && std::string(twoHours) == "1") {
        const clips::Film joined = joinedFilm(speed, LongCopies);
        if (joined.path.empty()) {
            std::fprintf(stderr, "cannot join the two-hour film\n");
            return 1;
        }
        gSpeedFilms.push_back(joined.path);
        gSpeedTruths.push_back(joined.truth);
    }
    for (size_t i = 0; i < gSpeedFilms.size(); ++i) {
        // both sides read it from memory
        std::system(("cat '" + gSpeedFilms[i] + "' > /dev/null").c_str());
        std::printf("\nspeed film %zu: %s, %lld frames (%.0f s) at %s fps, %.0f MB\n", i, gSpeedFilms[i].c_str(),
                    static_cast<long long>(gSpeedTruths[i].frames), double(gSpeedTruths[i].frames) / SpeedRate.fps(),
                    SpeedRate.text().c_str(), double(fs::file_size(gSpeedFilms[i])) / 1e6);
    }
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
