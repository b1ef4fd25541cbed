// How long after a key press the editor shows its result: S (the current
// line 4 frames earlier) pressed while the video stands still inside a line,
// timed from the moment the key event is queued until the strip and the
// in-point label have both painted the moved line. F puts the line back
// after each S and is timed the same way. The real editor window, player and
// timers on Qt's offscreen platform, over a project loaded from files made
// with ffmpeg. A plain harness, not Google Benchmark: the spread matters as
// much as the middle, so it prints percentiles.
// Usage: bench_editor_key_latency [PRESSES]   (default 200 of each key)
#include "bench/support/Percentiles.h"
#include "core/ProjectState.h"
#include "editor/PlayControl.h"
#include "editor/TimeLineEditUnit.h"
#include "editor/WaveStrip.h"
#include "opening/Loader.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Rate = 25;

// 60 s at 25 fps, a key frame every 25 frames; a tone burst under every
// line; a line of 2 s every 5 s.
bool makeProject(const fs::path& dir)
{
    fs::create_directories(dir);
    const fs::path video = dir / "film.avi";
    if (!fs::exists(video)) {
        const std::string cmd =
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=60 "
            "-f lavfi -i \"aevalsrc=0.5*sin(2*PI*300*t)*between(mod(t\\,5)\\,1\\,3):s=44100:d=60\" "
            "-c:v mpeg4 -q:v 4 -g 25 -c:a pcm_s16le -shortest \"" + (dir / "part.avi").string() + "\" && "
            "ffmpeg -v error -y -i \"" + (dir / "part.avi").string() + "\" -vn -c:a pcm_s16le \"" +
            (dir / "film.wav").string() + "\" && mv \"" + (dir / "part.avi").string() + "\" \"" + video.string() + "\"";
        if (std::system(cmd.c_str()) != 0)
            return false;
    }
    std::ofstream srt(dir / "film.srt", std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 12; ++i) {
        char block[128];
        std::snprintf(block, sizeof block, "%d\r\n00:00:%02d,000 --> 00:00:%02d,000\r\nline %d\r\n\r\n", i + 1,
                      i * 5 + 1, i * 5 + 3, i + 1);
        srt << block;
    }
    return bool(srt);
}

using vt::bench::percentile;

// Paint events of the strip and the in-point label, timed, with what each
// showed at that moment.
class PaintWatch : public QObject {
public:
    PaintWatch(vt::TplayAndEdit& editor) : editor_(editor)
    {
        editor.PaintBoxWav->installEventFilter(this);
        editor.LabelTimeIn->installEventFilter(this);
    }
    // Arms the watch: the next paints that show something other than now.
    void arm()
    {
        strip_ = editor_.PaintBoxWav->picture().copy();
        label_ = editor_.LabelTimeIn->text();
        stripShown_.reset();
        labelShown_.reset();
    }
    bool done() const { return stripShown_ && labelShown_; }
    Clock::time_point shownAt() const { return std::max(*stripShown_, *labelShown_); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const auto now = Clock::now();
        if (watched == editor_.PaintBoxWav && !stripShown_ && editor_.PaintBoxWav->picture() != strip_)
            stripShown_ = now;
        if (watched == editor_.LabelTimeIn && !labelShown_ && editor_.LabelTimeIn->text() != label_)
            labelShown_ = now;
        return false;
    }

private:
    vt::TplayAndEdit& editor_;
    QImage strip_;
    QString label_;
    std::optional<Clock::time_point> stripShown_, labelShown_;
};

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    QApplication app(argc, argv);

    const fs::path dir = fs::temp_directory_path() / "veltrana-bench" / "key-latency";
    if (!makeProject(dir)) {
        std::fprintf(stderr, "ffmpeg could not make the project\n");
        return 1;
    }
    // the state folder for backups of timelines saved over stays with the bench
    qputenv("XDG_STATE_HOME", (dir / "state").string().c_str());

    // "指定" measures the film, " 下一步 >" loads it
    int32_t frames = 0;
    {
        auto measure = vt::createMediaPlayer(false);
        measure->setFileName((dir / "film.avi").string());
        measure->open();
        frames = int32_t(measure->length());
    }
    vt::Project.FrameRate = float(Rate);
    vt::LoadRequest request;
    request.VideoFileName = (dir / "film.avi").string();
    request.WavFileName = (dir / "film.wav").string();
    request.TimelineFileName = (dir / "film.srt").string();
    request.FrameRate = float(Rate);
    vt::LoadCallbacks callbacks;
    callbacks.videoLengthFrames = [frames](const std::string&) { return frames; };
    const vt::LoadOutcome loaded = vt::loadProject(request, vt::Project, callbacks);
    if (!loaded.ok) {
        std::fprintf(stderr, "the load failed: %s\n", loaded.messages.empty() ? "" : loaded.messages.front().c_str());
        return 1;
    }

    vt::TplayAndEdit editor(nullptr);
    editor.show();
    pump(500);
    // the pointer comes to rest on the subtitle label: the video stands still
    editor.LabeltxtMouseMove();
    pump(200);
    // into the middle of line 3 (11 s .. 13 s)
    editor.MediaPlayer1().step(12 * Rate - int32_t(editor.MediaPlayer1().position()));
    editor.MediaPlayer1().waitUntilSettled(5000);
    pump(500);
    if (editor.LabelTimeIn->text() != QStringLiteral("00:00:11,000")) {
        std::fprintf(stderr, "the editor does not show line 3 as the current line (in-point %s)\n",
                     qPrintable(editor.LabelTimeIn->text()));
        return 1;
    }

    // what one refresh costs by itself: the lookup, the columns, the labels
    // and the strip's picture
    std::vector<double> refresh;
    for (int i = 0; i < 200; ++i) {
        auto t0 = Clock::now();
        editor.TimerForWavTimer();
        refresh.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }

    PaintWatch watch(editor);
    std::vector<double> s, f;
    // Presses with a play tick due before their 10 ms refresh (and the
    // couple of milliseconds the key takes to be handled): the tick sets the
    // refresh's standstill interval, and a new interval starts its countdown
    // anew. The others.
    constexpr int TickFirstMs = vt::ImmediateRefreshMs + 3;
    std::vector<double> tickFirst, refreshFirst;
    int lost = 0;
    for (int i = 0; i < presses * 2; ++i) {
        const bool isS = i % 2 == 0;
        const Qt::Key key = isS ? Qt::Key_S : Qt::Key_F;
        watch.arm();
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &editor;
        const int playTickIn = editor.TimerForPlay->remainingTime();
        const auto pressed = Clock::now();
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, isS ? "s" : "f"));
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, isS ? "s" : "f"));
        QElapsedTimer waited;
        waited.start();
        while (!watch.done() && waited.elapsed() < 2000)
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        if (!watch.done()) {
            ++lost;
            continue;
        }
        const double ms = std::chrono::duration<double, std::milli>(watch.shownAt() - pressed).count();
        (isS ? s : f).push_back(ms);
        (playTickIn >= 0 && playTickIn < TickFirstMs ? tickFirst : refreshFirst).push_back(ms);
        // the next press comes at a random moment of the refresh's and the play tick's rhythm
        pump(20 + (i * 37) % 90);
    }

    std::printf("key press until the strip and the in-point label have painted the moved line\n");
    std::printf("(video standing still inside a line, refresh every 100 ms, 10 ms after a key)\n");
    std::printf("key  presses  median    p90     max   over 15 ms\n");
    for (const auto& [name, v] : {std::pair{"S", &s}, std::pair{"F", &f}}) {
        const auto over = std::count_if(v->begin(), v->end(), [](double ms) { return ms > 15.0; });
        std::printf("%-3s  %7zu  %6.1f  %6.1f  %6.1f   %zd (%.0f %%)\n", name, v->size(), percentile(*v, 0.5),
                    percentile(*v, 0.9), percentile(*v, 1.0), over, v->empty() ? 0.0 : 100.0 * double(over) / double(v->size()));
    }
    std::printf("both keys, by when the next play tick was due at the press:\n");
    for (const auto& [name, v] : {std::pair{"in 13 ms or later", &refreshFirst}, std::pair{"within 13 ms", &tickFirst}})
        std::printf("  %-18s %4zu presses, median %6.1f, p90 %6.1f, max %6.1f\n", name, v->size(),
                    percentile(*v, 0.5), percentile(*v, 0.9), percentile(*v, 1.0));
    std::printf("one refresh by itself (TimerForWavTimer): median %.3f ms\n", percentile(refresh, 0.5));
    if (lost > 0)
        std::printf("%d presses showed nothing within 2 s\n", lost);
    // the editor's closing saves the timeline into the bench's own copy
    editor.close();
    return lost > 0 ? 1 : 0;
}
