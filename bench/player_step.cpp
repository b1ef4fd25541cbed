// Latency of exact frame steps: our player (libmpv, software-rendered into
// the editor's 554x312 picture) against the mpv player itself doing the same
// steps over its JSON IPC socket; and runs of the editor's backward levels
// (one frame back every 80 ms, 1.6 s back every 200 ms), each picture read
// back and checked against the frame the player reports. Clips are made with
// ffmpeg on first run; the frame number is drawn into every frame as twelve
// blocks along the top, as the tests' clips carry it.
#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct ClipSpec {
    const char* name;
    const char* ffmpegArgs;
};

// the frame number in twelve blocks of 1/15 of the width, white for a 1 bit
#define NUMBERED(w, h, block)                                                                                    \
    "-vf \"drawbox=x=0:y=0:w=" #w "*12/15:h=" #block ":color=black:t=fill"                                        \
    ",drawbox=x=0*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,1)'"            \
    ",drawbox=x=1*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,2)'"            \
    ",drawbox=x=2*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,4)'"            \
    ",drawbox=x=3*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,8)'"            \
    ",drawbox=x=4*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,16)'"           \
    ",drawbox=x=5*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,32)'"           \
    ",drawbox=x=6*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,64)'"           \
    ",drawbox=x=7*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,128)'"          \
    ",drawbox=x=8*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,256)'"          \
    ",drawbox=x=9*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,512)'"          \
    ",drawbox=x=10*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,1024)'"        \
    ",drawbox=x=11*" #block ":y=0:w=" #block ":h=" #block ":color=white:t=fill:enable='bitand(n\\,2048)'"        \
    "\" "

// 1080p H.264 as films come: a key frame every 250 frames (x264's default),
// three B-frames between references; 50 s, so that the runs of the fast
// backward level start in every part of a group
const ClipSpec kLongGop{"gop250b-1080p-50s.mp4",
                        "-f lavfi -i testsrc2=size=1920x1080:rate=25 " NUMBERED(1920, 1080, 128)
                        "-frames:v 1250 -c:v libx264 -preset veryfast -g 250 -keyint_min 250 -sc_threshold 0 "
                        "-x264-params bframes=3:b-adapt=0 -pix_fmt yuv420p"};
const ClipSpec kShortGop{"gop12n-360p.avi",
                         "-f lavfi -i testsrc2=size=640x360:rate=25 " NUMBERED(640, 360, 1280/30)
                         "-frames:v 1000 -c:v mpeg4 -q:v 3 -g 12"};

// The editor's picture band for a 16:9 film in its design window.
const QRect kPicture(0, 0, 554, 312);

// The same film shown full size, as on a 1920x1080 screen.
const QRect kFullHd(0, 0, 1920, 1080);

struct Setup {
    QWidget window;
    std::unique_ptr<vt::MediaPlayer> player;
    QRect picture = kPicture;
    int count = 0;
};

bool openClip(Setup& s, const std::string& clip, const QRect& picture = kPicture)
{
    s.picture = picture;
    s.window.resize(std::max(680, picture.width()), picture.height() + 2);
    s.window.show();
    s.player = vt::createMediaPlayer(false);
    s.player->setDisplayWindow(&s.window);
    s.player->setDisplayRect(picture);
    s.player->setFileName(clip);
    s.player->open();
    s.count = static_cast<int>(s.player->length());
    return s.count > 0;
}

int shownFrame(QWidget& window, const QRect& picture = kPicture)
{
    return vt::testclips::frameNumberIn(window.grab(picture).toImage());
}

long peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

std::string clipPath(const ClipSpec& spec)
{
    fs::path dir = fs::temp_directory_path() / "veltrana-bench";
    fs::create_directories(dir);
    fs::path path = dir / spec.name;
    if (!fs::exists(path)) {
        std::string cmd = std::string("ffmpeg -v error -y ") + spec.ffmpegArgs + " \"" + path.string() + "\"";
        if (std::system(cmd.c_str()) != 0)
            return {};
    }
    return path.string();
}

// Runs the event loop for ms, asleep while nothing happens, as the editor's
// own loop is: a loop that spins would take a core from the decoders.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// One measured step: from a random frame, step by delta and wait for the
// picture; standMs is how long the user looked at the first frame. arrive_ms:
// the seek to that first frame, a click on the waveform.
void stepOurs(benchmark::State& state, const ClipSpec& spec, int delta, int standMs)
{
    std::string clip = clipPath(spec);
    Setup s;
    if (clip.empty() || !openClip(s, clip)) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    static std::mt19937 rng(7);  // repetitions start from different frames
    std::uniform_int_distribution<int> from(60, s.count - 60);
    int wrong = 0;
    double arriveMs = 0;
    for (auto _ : state) {
        int start = from(rng);
        auto a0 = Clock::now();
        s.player->step(start - static_cast<int>(s.player->position()));
        s.player->waitUntilSettled(10000);
        arriveMs += std::chrono::duration<double, std::milli>(Clock::now() - a0).count();
        pump(standMs);
        auto t0 = Clock::now();
        s.player->step(delta);
        bool ok = s.player->waitUntilSettled(10000);
        auto t1 = Clock::now();
        if (!ok)
            state.SkipWithError("step did not settle");
        wrong += shownFrame(s.window) != start + delta;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["wrong_frames"] = wrong;
    state.counters["arrive_ms"] = arriveMs / state.iterations();
}

// The editor's level -3 (one frame back every 80 ms, 40 times) or -10 (1.6 s
// back and play, every 200 ms, 20 times), from a frame reached by a seek and
// playMs of play.
// At every tick, just before the next request, the picture is read back:
// right = it shows the frame the player reports; distinct/s = pictures that
// differ from the one before, per second; in_order = those exactly one frame
// (or one jump) before the last.
void backwardLevel(benchmark::State& state, const ClipSpec& spec, int level, int playMs, QRect picture = kPicture)
{
    std::string clip = clipPath(spec);
    Setup s;
    if (clip.empty() || !openClip(s, clip, picture)) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const int tickMs = level == -3 ? 80 : 200;
    const int ticks = level == -3 ? 40 : 20;
    const int jump = level == -3 ? 1 : int(1.6 * 25);
    static std::mt19937 rng(11);
    std::uniform_int_distribution<int> from(ticks * jump + 60, s.count - 60);
    double right = 0, distinct = 0, inOrder = 0, seconds = 0;
    for (auto _ : state) {
        // play into a random place, as the user does before going back
        int start = from(rng);
        s.player->step(start - static_cast<int>(s.player->position()) - 25);
        s.player->waitUntilSettled(10000);
        s.player->play();
        pump(playMs);
        auto t0 = Clock::now();
        int last = -1;
        for (int i = 0; i < ticks; ++i) {
            s.player->step(-jump);
            if (level != -3)
                s.player->play();
            pump(tickMs);
            int shown = shownFrame(s.window, s.picture);
            right += shown == s.player->position();
            if (shown != last) {
                distinct += 1;
                inOrder += last >= 0 && (level == -3 ? shown == last - 1 : shown <= last - jump + 6 && shown >= last - jump);
            }
            last = shown;
        }
        s.player->pause();
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count() / ticks);
    }
    state.counters["right_of_ticks"] = right / ticks / state.iterations();
    state.counters["distinct_per_s"] = distinct / seconds;
    state.counters["in_order_per_s"] = inOrder / seconds;
    state.counters["peak_rss_MiB"] = double(peakResidentMiB());
}

// The turn from play: a seek to a random frame, playMs of play, then one
// frame back, timed until the picture stands there.
void stepBackAfterPlay(benchmark::State& state, const ClipSpec& spec, int playMs)
{
    std::string clip = clipPath(spec);
    Setup s;
    if (clip.empty() || !openClip(s, clip)) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    static std::mt19937 rng(13);
    std::uniform_int_distribution<int> from(60, s.count - 60 - playMs * 25 / 1000);
    int wrong = 0;
    for (auto _ : state) {
        s.player->step(from(rng) - static_cast<int>(s.player->position()));
        s.player->waitUntilSettled(10000);
        s.player->play();
        pump(playMs);
        auto t0 = Clock::now();
        s.player->step(-1);
        const int target = static_cast<int>(s.player->position());
        bool ok = s.player->waitUntilSettled(10000);
        auto t1 = Clock::now();
        if (!ok)
            state.SkipWithError("step did not settle");
        wrong += shownFrame(s.window) != target;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["wrong_frames"] = wrong;
}

// The mpv player itself, driven over its IPC socket.
class MpvProcess {
public:
    explicit MpvProcess(const std::string& clip)
    {
        static int serial = 0;
        socket_ = (fs::temp_directory_path() / ("veltrana-bench-mpv-" + std::to_string(getpid()) + "-" + std::to_string(serial++))).string();
        std::vector<std::string> args = {"mpv", "--no-config", "--idle=yes", "--pause", "--vo=null", "--ao=null",
                                         "--hr-seek=yes", "--hr-seek-framedrop=no", "--keep-open=always",
                                         "--really-quiet", "--input-ipc-server=" + socket_, clip};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, "mpv", nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        for (int i = 0; i < 200 && fd_ < 0; ++i) {
            usleep(50000);
            int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_.c_str());
            if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
                fd_ = fd;
            else
                ::close(fd);
        }
    }
    ~MpvProcess()
    {
        if (fd_ >= 0) {
            send(R"({"command":["quit"]})");
            ::close(fd_);
        }
        // the player we started, and only it, goes all the same
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 40 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                usleep(50000);
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        fs::remove(socket_);
    }
    bool ok() const { return fd_ >= 0; }

    void send(const std::string& json)
    {
        std::string line = json + "\n";
        (void)::write(fd_, line.data(), line.size());
    }
    // Reads until a line contains what.
    bool waitFor(const std::string& what)
    {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.find(what) != std::string::npos)
                    return true;
                continue;
            }
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            char buf[4096];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                return false;
            buffer_.append(buf, static_cast<size_t>(n));
        }
        return false;
    }
    void seekExact(int frame, double fps)
    {
        send("{\"command\":[\"seek\"," + std::to_string((frame - 0.25) / fps) + ",\"absolute+exact\"]}");
        waitFor("playback-restart");
    }

private:
    std::string socket_;
    std::string buffer_;
    int fd_ = -1;
    pid_t pid_ = -1;
};

// One mpv process per clip for the whole run, ready once it answers for the
// file's frame count.
MpvProcess* mpvFor(const std::string& clip)
{
    static std::map<std::string, std::unique_ptr<MpvProcess>> running;
    auto& slot = running[clip];
    if (!slot) {
        slot = std::make_unique<MpvProcess>(clip);
        for (int i = 0; slot->ok() && i < 100; ++i) {
            slot->send(R"({"command":["get_property","estimated-frame-count"]})");
            if (slot->waitFor(R"("error":"success")"))
                break;
            usleep(100000);
        }
    }
    return slot->ok() ? slot.get() : nullptr;
}

void stepMpv(benchmark::State& state, const ClipSpec& spec, int delta)
{
    std::string clip = clipPath(spec);
    MpvProcess* mpv = clip.empty() ? nullptr : mpvFor(clip);
    if (!mpv) {
        state.SkipWithError("mpv could not be started");
        return;
    }
    static std::mt19937 rng(7);  // repetitions start from different frames
    std::uniform_int_distribution<int> from(60, 1000 - 60);
    for (auto _ : state) {
        int start = from(rng);
        mpv->seekExact(start, 25.0);
        auto t0 = Clock::now();
        mpv->seekExact(start + delta, 25.0);
        auto t1 = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}

}  // namespace

// Each repetition is one step, so the reported median is the median step.
#define STEP_BENCH(fn, name, n, ...) \
    BENCHMARK_CAPTURE(fn, name, __VA_ARGS__)->UseManualTime()->Iterations(1)->Repetitions(n) \
        ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)

// at once after arriving, and after looking at the frame for a second
STEP_BENCH(stepOurs, long_gop_1080p_plus1, 15, kLongGop, +1, 0);
STEP_BENCH(stepOurs, long_gop_1080p_minus1, 15, kLongGop, -1, 0);
STEP_BENCH(stepOurs, long_gop_1080p_minus1_after_1s, 15, kLongGop, -1, 1000);
STEP_BENCH(stepOurs, long_gop_1080p_minus40, 15, kLongGop, -40, 0);
STEP_BENCH(stepOurs, long_gop_1080p_minus40_after_1s, 15, kLongGop, -40, 1000);
STEP_BENCH(stepMpv, long_gop_1080p_plus1, 15, kLongGop, +1);
STEP_BENCH(stepMpv, long_gop_1080p_minus1, 15, kLongGop, -1);
STEP_BENCH(stepMpv, long_gop_1080p_minus40, 15, kLongGop, -40);
STEP_BENCH(stepOurs, short_gop_360p_plus1, 30, kShortGop, +1, 0);
STEP_BENCH(stepOurs, short_gop_360p_minus1, 30, kShortGop, -1, 0);
STEP_BENCH(stepOurs, short_gop_360p_minus40, 30, kShortGop, -40, 0);
STEP_BENCH(stepMpv, short_gop_360p_plus1, 30, kShortGop, +1);
STEP_BENCH(stepMpv, short_gop_360p_minus1, 30, kShortGop, -1);
STEP_BENCH(stepMpv, short_gop_360p_minus40, 30, kShortGop, -40);
STEP_BENCH(stepBackAfterPlay, long_gop_1080p_minus1_after_1s_play, 9, kLongGop, 1000);
STEP_BENCH(stepBackAfterPlay, long_gop_1080p_minus1_after_4s_play, 9, kLongGop, 4000);
BENCHMARK_CAPTURE(backwardLevel, long_gop_1080p_level_minus3, kLongGop, -3, 1000)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(backwardLevel, long_gop_1080p_level_minus10, kLongGop, -10, 1000)
    ->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(backwardLevel, long_gop_1080p_level_minus3_after_3s_play, kLongGop, -3, 3000)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(backwardLevel, long_gop_1080p_level_minus10_after_3s_play, kLongGop, -10, 3000)
    ->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);
// The peak memory of the whole process counts what a run of each level holds
// at the two sizes; run each in a process of its own (--benchmark_filter).
BENCHMARK_CAPTURE(backwardLevel, full_hd_picture_level_minus3, kLongGop, -3, 3000, kFullHd)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(backwardLevel, full_hd_picture_level_minus10, kLongGop, -10, 3000, kFullHd)
    ->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
