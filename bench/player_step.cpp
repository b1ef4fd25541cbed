// Latency of exact frame steps: our player (libmpv, software-rendered into a
// 680x310 widget) against the mpv player itself doing the same steps over
// its JSON IPC socket. Clips are made with ffmpeg on first run.
#include "platform/MediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <benchmark/benchmark.h>

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

const ClipSpec kLongGop{"gop250-1080p.mp4",
                        "-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 1000 -c:v libx264 -preset veryfast "
                        "-g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p"};
const ClipSpec kShortGop{"gop12-360p.avi",
                         "-f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 1000 -c:v mpeg4 -q:v 3 -g 12"};

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

// One measured step: from a random frame, step by delta and wait for the picture.
void stepOurs(benchmark::State& state, const ClipSpec& spec, int delta)
{
    std::string clip = clipPath(spec);
    if (clip.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    QWidget window;
    window.resize(680, 310);
    window.show();
    auto player = vt::createMediaPlayer(false);
    player->setDisplayWindow(&window);
    player->setFileName(clip);
    player->open();
    int count = static_cast<int>(player->length());
    static std::mt19937 rng(7);  // repetitions start from different frames
    std::uniform_int_distribution<int> from(60, count - 60);
    for (auto _ : state) {
        int start = from(rng);
        player->step(start - static_cast<int>(player->position()));
        player->waitUntilSettled(10000);
        auto t0 = Clock::now();
        player->step(delta);
        bool ok = player->waitUntilSettled(10000);
        auto t1 = Clock::now();
        if (!ok)
            state.SkipWithError("step did not settle");
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
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
#define STEP_BENCH(fn, name, clip, delta, n) \
    BENCHMARK_CAPTURE(fn, name, clip, delta)->UseManualTime()->Iterations(1)->Repetitions(n) \
        ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)

STEP_BENCH(stepOurs, long_gop_1080p_plus1, kLongGop, +1, 15);
STEP_BENCH(stepOurs, long_gop_1080p_minus1, kLongGop, -1, 15);
STEP_BENCH(stepOurs, long_gop_1080p_minus40, kLongGop, -40, 15);
STEP_BENCH(stepMpv, long_gop_1080p_plus1, kLongGop, +1, 15);
STEP_BENCH(stepMpv, long_gop_1080p_minus1, kLongGop, -1, 15);
STEP_BENCH(stepMpv, long_gop_1080p_minus40, kLongGop, -40, 15);
STEP_BENCH(stepOurs, short_gop_360p_plus1, kShortGop, +1, 30);
STEP_BENCH(stepOurs, short_gop_360p_minus1, kShortGop, -1, 30);
STEP_BENCH(stepOurs, short_gop_360p_minus40, kShortGop, -40, 30);
STEP_BENCH(stepMpv, short_gop_360p_plus1, kShortGop, +1, 30);
STEP_BENCH(stepMpv, short_gop_360p_minus1, kShortGop, -1, 30);
STEP_BENCH(stepMpv, short_gop_360p_minus40, kShortGop, -40, 30);

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
