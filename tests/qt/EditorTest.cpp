// The timeline editor window driven as a person drives it: the pointer over
// the picture, the waveform and the subtitle label, keys, the wheel, clicks
// and typing, with the real player on a clip whose frames carry their own
// number, so every check reads the frame from the picture the user sees.
#include "analysis/SpeechSearch.h"
#include "core/ProjectState.h"
#include "core/TimelineWriter.h"
#include "core/TextCodec.h"
#include "editor/Commands.h"
#include "editor/EditOps.h"
#include "editor/PlayControl.h"
#include "editor/TimeLineEditUnit.h"
#include "editor/WaveStrip.h"
#include "opening/Loader.h"
#include "core/TimelineRecovery.h"
#include "platform/EndSignals.h"
#include "platform/MediaPlayer.h"
#include "platform/Messages.h"
#include "platform/Timer.h"
#include "shell/ControlUnit.h"
#include "editor/HelpUnit.h"
#include "tests/support/Clips.h"
#include "tests/support/Events.h"
#include "tests/support/Layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace vt;
using testsupport::pumpEvents;
namespace fs = std::filesystem;

namespace {

// The demo clip: 25 frames a second, 24 s, a key frame every 12 frames, so
// stepping backwards stays quick.
constexpr int ClipFrames = 600;
constexpr float ClipRate = 25.0f;

struct Line {
    int32_t start;
    int32_t end;
    std::u16string text;
    friend bool operator==(const Line&, const Line&) = default;
};

std::ostream& operator<<(std::ostream& out, const Line& line)
{
    return out << line.start << ".." << line.end << " \"" << toUtf8(line.text) << "\"";
}

// The timeline the tests start from, as frames at 25 fps: a gap of 7 s after
// the third line leaves room for insertions.
const std::vector<Line> DemoLines = {
    {100, 125, u"第一行"}, {150, 175, u"第二行"}, {200, 225, u"第三行"}, {400, 425, u"第四行"}, {450, 475, u"第五行"},
};
const char16_t* const DemoSrt =
    u"1\r\n00:00:04,000 --> 00:00:05,000\r\n第一行\r\n\r\n"
    u"2\r\n00:00:06,000 --> 00:00:07,000\r\n第二行\r\n\r\n"
    u"3\r\n00:00:08,000 --> 00:00:09,000\r\n第三行\r\n\r\n"
    u"4\r\n00:00:16,000 --> 00:00:17,000\r\n第四行\r\n\r\n"
    u"5\r\n00:00:18,000 --> 00:00:19,000\r\n第五行\r\n\r\n";
const FileEncoding Gbk{TextEncoding::Gbk, false};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The time codes and texts of the slots in use, paired the way the file pairs them.
std::vector<Line> linesOf(const ProjectState& project)
{
    std::vector<Line> lines;
    int32_t n = std::max(project.TimelineCount, project.TextCount);
    for (int32_t i = 0; i < n && i < int32_t(project.Timeline.size()); ++i) {
        const TimelineEntry& e = project.Timeline[size_t(i)];
        lines.push_back({i < project.TimelineCount ? e.StartFrame : FreeSlotFrame,
                         i < project.TimelineCount ? e.EndFrame : FreeSlotFrame, i < project.TextCount ? e.Text : u""});
    }
    return lines;
}

Line lineAt(const ProjectState& project, int slot)
{
    const TimelineEntry& e = project.Timeline.at(size_t(slot));
    return {e.StartFrame, e.EndFrame, e.Text};
}

MediaPlayer& playerOf(TplayAndEdit& editor)
{
    return editor.MediaPlayer1();
}

// The widget the player paints the picture into.
QWidget* videoSurface(TplayAndEdit& editor)
{
    const QRect shown = playerOf(editor).displayRect();
    for (QWidget* child : editor.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->testAttribute(Qt::WA_TransparentForMouseEvents) && child->geometry() == shown)
            return child;
    return nullptr;
}

// The frame number the picture shows now; -1 without a picture.
int shownFrame(TplayAndEdit& editor)
{
    QWidget* surface = videoSurface(editor);
    return surface ? testclips::frameNumberIn(surface->grab().toImage()) : -1;
}

// The frame the picture shows once the player has stopped moving.
int settledFrame(TplayAndEdit& editor)
{
    playerOf(editor).waitUntilSettled(3000);
    pumpEvents(60);
    return shownFrame(editor);
}

// The pointer moves (no button held) to pos in widget's coordinates, as the
// window system reports it: to whatever widget lies there, with enter and
// leave events, honouring mouse tracking.
void pointTo(QWidget* widget, QPoint pos)
{
    QTest::mouseMove(widget, pos);
    pumpEvents(20);
}

// A key pressed and released where the keyboard focus is.
void press(TplayAndEdit& editor, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != &editor)
        target = &editor;
    QTest::keyClick(target, key, modifiers);
    pumpEvents(30);
}

// Notches of the wheel over widget's centre: positive away from the user.
void turnWheel(QWidget* widget, int notches)
{
    const QPoint at = widget->rect().center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    // from the window system, so that a control that does not take it hands it on
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(widget, &wheel);
    pumpEvents(30);
}

void doubleClick(QWidget* widget)
{
    const QPoint at = widget->rect().center();
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
    pumpEvents(30);
}

// Text as an input method commits it, the way Chinese reaches a field.
void commitText(QWidget* field, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

QRadioButton* stepSizeButton(TplayAndEdit& editor, int item)
{
    return editor.RadioGroup1Items.at(size_t(item));
}

// Client-area places the pointer rests on (client 684 x 562 unless a test resizes).
QPoint overVideo(int x) { return {x, 200}; }
// Bare window beside the bottom row: reveals the buttons and check boxes.
QPoint besideButtons(const QWidget& editor) { return {20, editor.height() - 30}; }
// Over the step-size group, left of the waveform: reveals it.
QPoint overStepSize(const QWidget& editor) { return {30, editor.height() - 150}; }
// Over the waveform-scale bar, right of the waveform: reveals it.
QPoint overWaveScale(const QWidget& editor) { return {editor.width() - 48, editor.height() - 150}; }

class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = testclips::scratchDir("editor");
        if (!testclips::haveFfmpeg())
            return;
        clip_ = testclips::makeClip(dir_, "film.avi", "25", ClipFrames, false);
        std::string wav = (dir_ / "film.wav").string();
        std::system(("ffmpeg -v error -y -f lavfi -i \"sine=frequency=300:duration=24\" -ac 2 \"" + wav + "\"").c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override
    {
        if (clip_.empty())
            GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_NO_FATAL_FAILURE(freshProject());
    }

    void TearDown() override { closeEditor(); }

    // Closes the editor of the last visit, which remembers its settings in
    // the project and saves the timeline.
    void closeEditor()
    {
        if (editor_ && editor_->isVisible())
            editor_->close();
        editor_.reset();
        pumpEvents(20);
    }

    // A program just started and the demo project opened, the pointer away
    // from every window (so the first move is a move).
    void freshProject()
    {
        closeEditor();
        QCursor::setPos(0, 0);
        resetProjectState(Project);
        loadDemo();
    }

    // The project as the open-project screen leaves it: the demo timeline,
    // written in GBK, loaded by the loader with the clip and its WAV.
    void loadDemo()
    {
        srt_ = dir_ / "film.srt";
        std::ofstream(srt_, std::ios::binary | std::ios::trunc) << encodeText(DemoSrt, Gbk);
        LoadRequest request;
        request.VideoFileName = clip_;
        request.WavFileName = (dir_ / "film.wav").string();
        request.TimelineFileName = srt_.string();
        request.FrameRate = ClipRate;
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [](const std::string&) { return ClipFrames; };
        LoadOutcome outcome = loadProject(request, Project, callbacks);
        ASSERT_TRUE(outcome.ok) << (outcome.messages.empty() ? "" : outcome.messages.front());
        ASSERT_EQ(linesOf(Project), DemoLines);
        ASSERT_EQ(Project.TimelineEncoding.encoding, TextEncoding::Gbk);
    }

    // A new editor, shown and active, its video open.
    TplayAndEdit& open()
    {
        closeEditor();
        editor_ = std::make_unique<TplayAndEdit>(&main_);
        editor_->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(editor_.get()));
        pumpEvents(150);
        return *editor_;
    }

    // Rests the pointer on the subtitle label, which stands the video still;
    // returns the frame it stands on.
    int restOnLabel(TplayAndEdit& editor)
    {
        pointTo(editor.Labeltxt, editor.Labeltxt->rect().center());
        pumpEvents(250);
        return settledFrame(editor);
    }

    // The file written, against what the state holds, in the file's own encoding.
    void expectFileHoldsTheTimeline(const char* how)
    {
        const std::string expected = encodeText(srtText(Project.Timeline, Project.TimelineCount, Project.FrameRate), Gbk);
        EXPECT_EQ(readAll(srt_), expected) << how;
    }

    static fs::path dir_;
    static std::string clip_;
    fs::path srt_;
    TMainControl main_;
    std::unique_ptr<TplayAndEdit> editor_;
};

fs::path EditorWindow::dir_;
std::string EditorWindow::clip_;

// Frames the picture moves per second while the pointer rests, measured over
// `ms`; also every frame seen on the way.
struct Motion {
    double framesPerSecond = 0;
    std::vector<int> seen;
};

Motion measureMotion(TplayAndEdit& editor, int ms)
{
    Motion motion;
    QElapsedTimer clock;
    clock.start();
    int first = shownFrame(editor);
    int last = first;
    while (clock.elapsed() < ms) {
        pumpEvents(25);
        last = shownFrame(editor);
        if (last > 20)  // a black picture between two frames reads as 0
            motion.seen.push_back(last);
    }
    motion.framesPerSecond = (last - first) * 1000.0 / double(clock.elapsed());
    return motion;
}

}  // namespace

// The pointer's place over the picture is the speed: right of the centre
// forwards, left backwards, faster towards the edges. Rates are loose: a
// busy machine slows the ticks, but never turns one speed into another.
TEST_F(EditorWindow, PointerOverThePictureIsASpeedDial)
{
    const struct {
        const char* level;
        int x;          // client x at the design width (centre 342, 16 px a level)
        int start;      // remembered play position
        double lowest;  // frames per second
        double highest;
    } cases[] = {
        {"level 1: a frame every 200 ms", 366, 100, 2.5, 6.2},
        {"level -3: a frame back every 80 ms", 286, 300, -14.5, -6.0},
        {"level 6: normal play", 446, 100, 15.0, 30.0},
        {"level 10: 1 s ahead every 333 ms, playing between", 510, 100, 55.0, 125.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        ASSERT_NO_FATAL_FAILURE(freshProject());
        Project.PlayPosition = c.start;
        TplayAndEdit& editor = open();
        pointTo(&editor, overVideo(c.x));
        pumpEvents(400);
        Motion motion = measureMotion(editor, 2000);
        EXPECT_GE(motion.framesPerSecond, c.lowest);
        EXPECT_LE(motion.framesPerSecond, c.highest);
        if (c.x == 510) {
            // jumps of about 25 frames, with the picture moving a frame or two between them
            int jumps = 0, playing = 0;
            for (size_t i = 1; i < motion.seen.size(); ++i) {
                int d = motion.seen[i] - motion.seen[i - 1];
                jumps += d >= 20 && d <= 40;
                playing += d >= 1 && d <= 3;
            }
            EXPECT_GE(jumps, 3);
            EXPECT_GE(playing, 3);
        }
    }

    // the centre: the picture stands still
    ASSERT_NO_FATAL_FAILURE(freshProject());
    Project.PlayPosition = 100;
    TplayAndEdit& editor = open();
    pointTo(&editor, overVideo(342));
    pumpEvents(400);
    int still = settledFrame(editor);
    pumpEvents(1000);
    EXPECT_EQ(shownFrame(editor), still) << "level 0";
}

// Over the waveform the left part rewinds slowly, a band stands still, the
// middle keeps what was set and the right third plays; the subtitle label
// stops the video; Space plays and stops it again.
TEST_F(EditorWindow, WaveformZonesAndTheLabelStopOrPlayAndSpaceToggles)
{
    Project.PlayPosition = 150;
    TplayAndEdit& editor = open();
    pointTo(&editor, overVideo(446));  // normal play
    pumpEvents(200);

    enum class Expect { Still, Forward, Backward };
    const struct {
        const char* zone;
        std::function<void()> act;
        Expect expect;
    } steps[] = {
        {"waveform 15..25 %", [&] { pointTo(editor.PaintBoxWav, {100, 64}); }, Expect::Still},
        {"waveform right third", [&] { pointTo(editor.PaintBoxWav, {450, 64}); }, Expect::Forward},
        {"waveform middle keeps the level", [&] { pointTo(editor.PaintBoxWav, {250, 64}); }, Expect::Forward},
        {"waveform 6..11 %", [&] { pointTo(editor.PaintBoxWav, {45, 64}); }, Expect::Backward},
        {"subtitle label", [&] { pointTo(editor.Labeltxt, editor.Labeltxt->rect().center()); }, Expect::Still},
        {"Space on a still video", [&] { press(editor, Qt::Key_Space); }, Expect::Forward},
        {"Space while playing", [&] { press(editor, Qt::Key_Space); }, Expect::Still},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.zone);
        step.act();
        pumpEvents(400);
        if (step.expect == Expect::Still) {
            int before = settledFrame(editor);
            pumpEvents(800);
            EXPECT_EQ(shownFrame(editor), before);
        } else {
            Motion motion = measureMotion(editor, 1000);
            if (step.expect == Expect::Forward)
                EXPECT_GE(motion.framesPerSecond, 12.0);
            else
                EXPECT_LE(motion.framesPerSecond, -5.0);
        }
    }
    EXPECT_TRUE(editor.isVisible());
}

// R and W jump between line starts; the letters, the wheel and the step size
// move and stretch the line the video stands in.
TEST_F(EditorWindow, KeysAndWheelJumpShiftAndStretchTheLineByTheStep)
{
    TplayAndEdit& editor = open();
    ASSERT_LT(restOnLabel(editor), 100) << "the video ran into the first line before it could be stopped";

    const struct {
        Qt::Key key;
        int frame;
    } jumps[] = {{Qt::Key_R, 100}, {Qt::Key_R, 150}, {Qt::Key_R, 200}, {Qt::Key_W, 150}, {Qt::Key_W, 100}};
    for (const auto& jump : jumps) {
        press(editor, jump.key);
        EXPECT_EQ(settledFrame(editor), jump.frame) << "after " << char(jump.key);
    }
    pumpEvents(200);

    // The video stands on the first line (100..125, the next begins at 150).
    enum class Do { Key, WheelAway, WheelTowards, StepSize };
    const struct {
        const char* what;
        Do act;
        Qt::Key key;
        int item;  // Do::StepSize
        int32_t start, end;
    } edits[] = {
        {"A: 4 steps earlier", Do::Key, Qt::Key_A, 0, 92, 117},
        {"G: 4 steps later", Do::Key, Qt::Key_G, 0, 100, 125},
        {"S: 2 steps earlier", Do::Key, Qt::Key_S, 0, 96, 121},
        {"F: 2 steps later", Do::Key, Qt::Key_F, 0, 100, 125},
        {"E: out-point 2 steps later", Do::Key, Qt::Key_E, 0, 100, 129},
        {"D: out-point 2 steps earlier", Do::Key, Qt::Key_D, 0, 100, 125},
        {"wheel away: out-point a step later", Do::WheelAway, Qt::Key_unknown, 0, 100, 127},
        {"wheel towards: out-point a step earlier", Do::WheelTowards, Qt::Key_unknown, 0, 100, 125},
        {"step size 大", Do::StepSize, Qt::Key_unknown, 3, 100, 125},
        {"G with 大: 20 frames later", Do::Key, Qt::Key_G, 0, 120, 145},
        {"E with 大 into the next line: grows at the front", Do::Key, Qt::Key_E, 0, 114, 149},
        {"wheel towards with 大", Do::WheelTowards, Qt::Key_unknown, 0, 114, 144},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.what);
        switch (edit.act) {
        case Do::Key: press(editor, edit.key); break;
        case Do::WheelAway: turnWheel(editor.Labeltxt, +1); break;
        case Do::WheelTowards: turnWheel(editor.Labeltxt, -1); break;
        case Do::StepSize: {
            pointTo(&editor, overStepSize(editor));
            QRadioButton* item = stepSizeButton(editor, edit.item);
            ASSERT_NE(item, nullptr);
            ASSERT_TRUE(item->isEnabled()) << "the step size is not revealed under the pointer";
            QTest::mouseClick(item, Qt::LeftButton);
            EXPECT_TRUE(item->isChecked());
            pointTo(editor.Labeltxt, editor.Labeltxt->rect().center());
            break;
        }
        }
        pumpEvents(60);
        EXPECT_EQ(lineAt(Project, 0), (Line{edit.start, edit.end, u"第一行"}));
        EXPECT_EQ(lineAt(Project, 1), DemoLines[1]);
    }
    pumpEvents(250);
    EXPECT_EQ(editor.LabelTimeIn->text(), QStringLiteral("00:00:04,560"));
    EXPECT_EQ(editor.LabelTimeOut->text(), QStringLiteral("00:00:05,760"));
    EXPECT_EQ(editor.Labeltxt->text(), QStringLiteral("第一行"));
    EXPECT_EQ(settledFrame(editor), 100) << "editing moves the line, not the video";
}

// A key asks for the refresh at once; a play tick at standstill right after
// it sets the slower standstill interval, which must not push that refresh
// back by a tenth of a second.
TEST_F(EditorWindow, AStandstillTickDoesNotPostponeTheRefreshAKeyAskedFor)
{
    TplayAndEdit& editor = open();
    restOnLabel(editor);
    QTest::keyClick(&editor, Qt::Key_S);
    editor.TimerForPlayTimer();
    EXPECT_EQ(editor.TimerForWav->interval(), ImmediateRefreshMs);
    EXPECT_LE(editor.TimerForWav->remainingTime(), ImmediateRefreshMs);
    pumpEvents(60);
    EXPECT_EQ(editor.TimerForWav->interval(), 100) << "after the refresh the standstill interval holds";
}

// V inserts and X deletes, on the time codes, the texts or both, as the
// check boxes choose; X right after V takes the same line out again.
TEST_F(EditorWindow, InsertAndDeleteActOnTheColumnsTheCheckBoxesChoose)
{
    const struct {
        const char* choice;
        QCheckBox* TplayAndEdit::*untick;  // null: both stay ticked
        bool timeInserted;
        bool textInserted;
    } cases[] = {
        {"time codes and texts", nullptr, true, true},
        {"time codes only", &TplayAndEdit::CheckBoxText, true, false},
        {"texts only", &TplayAndEdit::CheckBoxTime, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        ASSERT_NO_FATAL_FAILURE(freshProject());
        Project.PlayPosition = 240;  // in the gap after the third line
        TplayAndEdit& editor = open();
        const int f = restOnLabel(editor);
        ASSERT_GE(f, 240);
        ASSERT_LE(f, 285) << "the video ran too far before it could be stopped";
        if (c.untick) {
            pointTo(&editor, besideButtons(editor));
            QCheckBox* box = editor.*c.untick;
            ASSERT_TRUE(box->isEnabled()) << "the check boxes are not revealed under the pointer";
            QTest::mouseClick(box, Qt::LeftButton);
            ASSERT_FALSE(box->isChecked());
            EXPECT_TRUE(editor.CheckBoxTime->isChecked() || editor.CheckBoxText->isChecked());
        }

        press(editor, Qt::Key_V);
        pumpEvents(150);
        std::vector<Line> expected = DemoLines;
        if (c.timeInserted) {
            // a new line from the still picture, 1.6 s long (the room is 7 s)
            expected.insert(expected.begin() + 3, {f, f + 40, u""});
            for (size_t i = 3; i + 1 < expected.size(); ++i)  // texts keep their slots
                expected[i].text = expected[i + 1].text;
            expected.back().text.clear();
            if (c.textInserted) {
                for (size_t i = expected.size() - 1; i > 3; --i)
                    expected[i].text = expected[i - 1].text;
                expected[3].text = std::u16string(PlaceholderTextBefore) + u"4" + std::u16string(PlaceholderTextAfter);
            }
        } else {
            // the text goes in at the line the video stands after, the third
            expected.push_back({FreeSlotFrame, FreeSlotFrame, u""});
            for (size_t i = expected.size() - 1; i > 2; --i)
                expected[i].text = expected[i - 1].text;
            expected[2].text = std::u16string(PlaceholderTextBefore) + u"3" + std::u16string(PlaceholderTextAfter);
        }
        EXPECT_EQ(linesOf(Project), expected) << "after V";
        EXPECT_EQ(settledFrame(editor), f) << "an insertion stands the video still";

        press(editor, Qt::Key_X);
        pumpEvents(150);
        EXPECT_EQ(linesOf(Project), DemoLines) << "after X";
    }
}

// A double-click on the label opens the field on the line's text; what is
// typed (command letters included) goes into the text on Enter; Esc closes
// neither the field nor the window.
TEST_F(EditorWindow, DoubleClickTypingAndEnterChangeTheText)
{
    TplayAndEdit& editor = open();
    ASSERT_LT(restOnLabel(editor), 100);
    press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 100);
    pumpEvents(200);

    doubleClick(editor.Labeltxt);
    ASSERT_TRUE(editor.Edit1->isVisible());
    EXPECT_EQ(editor.Edit1->text(), QStringLiteral("第一行"));
    EXPECT_EQ(QApplication::focusWidget(), editor.Edit1);

    press(editor, Qt::Key_Escape);
    EXPECT_TRUE(editor.Edit1->isVisible()) << "Esc closed the field";
    EXPECT_TRUE(editor.isVisible()) << "Esc closed the window";

    press(editor, Qt::Key_A, Qt::ControlModifier);  // select all, and no A command
    commitText(editor.Edit1, QStringLiteral("新的"));
    QTest::keyClicks(editor.Edit1, "^pdew rsx");
    pumpEvents(30);
    EXPECT_EQ(editor.Edit1->text(), QStringLiteral("新的^pdew rsx"));
    EXPECT_EQ(linesOf(Project), DemoLines) << "the typed letters acted as commands";
    EXPECT_EQ(settledFrame(editor), 100);

    press(editor, Qt::Key_Return);
    EXPECT_FALSE(editor.Edit1->isVisible());
    std::vector<Line> expected = DemoLines;
    expected[0].text = u"新的^pdew rsx";
    EXPECT_EQ(linesOf(Project), expected);
    pumpEvents(250);
    EXPECT_EQ(editor.Labeltxt->text(), QStringLiteral("新的^pdew rsx"));

    press(editor, Qt::Key_Escape);
    pumpEvents(100);
    EXPECT_TRUE(editor.isVisible()) << "Esc closed the window";
}

// A signal ending the program while a text is being typed keeps the text as
// Enter would, before the autosave: the recovery copy holds it, and so does
// the save of the editor's closing.
TEST_F(EditorWindow, ASignalWhileTypingKeepsTheTypedText)
{
    TplayAndEdit& editor = open();
    ASSERT_LT(restOnLabel(editor), 100);
    press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 100);
    pumpEvents(200);
    doubleClick(editor.Labeltxt);
    ASSERT_TRUE(editor.Edit1->isVisible());
    press(editor, Qt::Key_A, Qt::ControlModifier);
    commitText(editor.Edit1, QStringLiteral("没按回车"));

    playAndEdit = &editor;  // as the page loop shows it
    main_.endBySignal();
    playAndEdit = nullptr;
    setEndingBySignal(false);
    EXPECT_FALSE(editor.Edit1->isVisible());
    std::vector<Line> expected = DemoLines;
    expected[0].text = u"没按回车";
    EXPECT_EQ(linesOf(Project), expected);
    EXPECT_EQ(readAll(recoveryFileName(srt_.string())),
              encodeText(srtText(Project.Timeline, Project.TimelineCount, Project.FrameRate), Gbk));
    closeEditor();
    expectFileHoldsTheTimeline("closed after the signal");
}

// An autosave that no place takes is shown to the user once, not at every
// change: here the state folder is a file and the hidden copy's name beside
// the timeline a folder.
TEST_F(EditorWindow, AnAutosaveThatCannotBeWrittenIsShownOnce)
{
    const std::string state = std::getenv("XDG_STATE_HOME");
    const fs::path blocked = srt_.parent_path() / "state-is-a-file";
    std::ofstream(blocked) << "";
    const fs::path besideCopy = srt_.parent_path() / ".film.veltrana-autosave.srt";
    fs::create_directory(besideCopy);
    ::setenv("XDG_STATE_HOME", blocked.c_str(), 1);
    ::setenv("VELTRANA_AUTOSAVE_SECONDS", "1", 1);
    std::vector<QString> shown;
    setMessageSink([&](const QString& text) { shown.push_back(text); });

    TplayAndEdit& editor = open();
    ASSERT_LT(restOnLabel(editor), 100);
    for (int change = 0; change < 3; ++change) {
        press(editor, Qt::Key_E);
        pumpEvents(1300);
    }
    setMessageSink(nullptr);
    ::unsetenv("VELTRANA_AUTOSAVE_SECONDS");
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    fs::remove(besideCopy);
    fs::remove(blocked);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith(QString::fromUtf8(MsgAutosaveFailed.data(), qsizetype(MsgAutosaveFailed.size()))));
}

// Ctrl+Z takes the last change back and puts the video on the line that came
// back; Ctrl+Y and Ctrl+Shift+Z do it again; Ctrl+G is still G. While the text field is open
// they belong to the text being typed, and the timeline stays as it is.
TEST_F(EditorWindow, CtrlZTakesAChangeBackOntoItsLineAndCtrlYDoesItAgain)
{
    TplayAndEdit& editor = open();
    ASSERT_LT(restOnLabel(editor), 100);
    press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 100);
    pumpEvents(200);
    press(editor, Qt::Key_G, Qt::ControlModifier);  // Ctrl with a letter of the table is that letter
    std::vector<Line> moved = DemoLines;
    moved[0].start = 108, moved[0].end = 133;
    ASSERT_EQ(linesOf(Project), moved);
    press(editor, Qt::Key_R);
    press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 150);

    EXPECT_TRUE(editor.isWindowModified()) << "no mark of unsaved changes in the title";
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(linesOf(Project), DemoLines);
    EXPECT_EQ(settledFrame(editor), 100) << "the video is not on the line that came back";
    EXPECT_FALSE(editor.isWindowModified()) << "undone back to the file, yet marked unsaved";
    press(editor, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(linesOf(Project), moved);
    EXPECT_TRUE(editor.isWindowModified());
    EXPECT_EQ(settledFrame(editor), 108);
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    press(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(linesOf(Project), moved);

    pumpEvents(200);
    doubleClick(editor.Labeltxt);
    ASSERT_TRUE(editor.Edit1->isVisible());
    QTest::keyClicks(editor.Edit1, "abc");
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.Edit1->text(), QStringLiteral("第一行")) << "the field's own undo did not take the typing back";
    EXPECT_EQ(linesOf(Project), moved) << "Ctrl+Z in the text field changed the timeline";
    press(editor, Qt::Key_Return);
}

// Timing by speech on spans already found: T puts the next line on the next
// untimed span and plays on from its start, one step of the history; K plays
// the line and comes back to where it was pressed; C snaps a moved line's
// ends back onto the speech; the band above the strip shows the spans.
TEST_F(EditorWindow, SpeechKeysTimeTheNextSentenceAndPlayAroundIt)
{
    Project.SpeechSpans = {{260, 300}, {330, 345}};
    Project.SpeechSoundFile = speechSoundFile(Project.VideoFileName, Project.WavFileName);
    Project.SpeechFrameRate = Project.FrameRate;
    TplayAndEdit& editor = open();
    restOnLabel(editor);
    for (int i = 0; i < 3; ++i)
        press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 200);

    press(editor, Qt::Key_T);
    std::vector<Line> timed = DemoLines;
    timed.insert(timed.begin() + 3, Line{260, 300, u"第4行"});
    ASSERT_EQ(linesOf(Project), timed);
    EXPECT_EQ(editor.PlaySpeed, NormalPlaySpeed) << "T did not play on";
    const int heard = restOnLabel(editor);
    EXPECT_GE(heard, 260) << "play did not go on from the new line's start";
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(linesOf(Project), DemoLines) << "T was not one step of the history";
    press(editor, Qt::Key_Y, Qt::ControlModifier);
    ASSERT_EQ(linesOf(Project), timed);

    const int before = restOnLabel(editor);
    press(editor, Qt::Key_K);
    EXPECT_EQ(editor.PlaySpeed, NormalPlaySpeed);
    for (int waited = 0; editor.PlaySpeed != 0 && waited < 10000; waited += 100)
        pumpEvents(100);
    EXPECT_EQ(editor.PlaySpeed, 0) << "the round never ended";
    EXPECT_EQ(settledFrame(editor), before) << "K did not come back to where it was pressed";
    EXPECT_EQ(linesOf(Project), timed) << "playing around a line changed the timeline";

    // the pointer over the strip anchors the current line at the pointer: away from it, S moves line 4
    restOnLabel(editor);
    press(editor, Qt::Key_S);
    ASSERT_NE(lineAt(Project, 3), (Line{260, 300, u"第4行"}));
    press(editor, Qt::Key_C);
    EXPECT_EQ(lineAt(Project, 3), (Line{260, 300, u"第4行"})) << "C did not put the ends back on the speech";
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(lineAt(Project, 3), (Line{260, 300, u"第4行"})) << "C was not one step of the history";

    ASSERT_FALSE(editor.PaintBoxWavSpeech->runs().empty()) << "no band for the spans under the strip";
    EXPECT_LE(editor.PaintBoxWavSpeech->geometry().bottom(), editor.PaintBoxWav->geometry().top() - 1)
        << "the band covers the strip";
    EXPECT_GE(editor.PaintBoxWavSpeech->geometry().top(), editor.Labeltxt->geometry().bottom() + 1)
        << "the band covers the subtitle label";
}

// Cuts already found: M and N jump from cut to cut; with "吸附镜头" on (B),
// an inserted or moved line's in-point goes onto a cut within 7 frames, one
// step of the history with the move; off, the designed keys move as
// designed; the strip shows each cut as a line of its own colour.
TEST_F(EditorWindow, CutsAreJumpedToDrawnAndSnappedToWhenSnappingIsOn)
{
    Project.ShotChanges = {240, 250};
    Project.ShotChangesFile = Project.VideoFileName;
    Project.ShotChangesFrameRate = Project.FrameRate;
    TplayAndEdit& editor = open();
    ASSERT_FALSE(editor.CheckBoxCuts->isChecked()) << "snapping must be off until the user turns it on";
    restOnLabel(editor);
    for (int i = 0; i < 3; ++i)
        press(editor, Qt::Key_R);
    ASSERT_EQ(settledFrame(editor), 200);
    press(editor, Qt::Key_M);
    EXPECT_EQ(settledFrame(editor), 240);
    press(editor, Qt::Key_M);
    EXPECT_EQ(settledFrame(editor), 250);
    press(editor, Qt::Key_N);
    ASSERT_EQ(settledFrame(editor), 240);

    pumpEvents(100);
    const QImage strip = editor.PaintBoxWav->picture();
    int cutLines = 0;
    for (int x = 0; x < strip.width(); ++x)
        cutLines += strip.pixel(x, 5) == CutLineColour && strip.pixel(x, strip.height() - 5) == CutLineColour;
    EXPECT_EQ(cutLines, 2) << "each cut in view is one line across the strip";

    press(editor, Qt::Key_B);
    ASSERT_TRUE(editor.CheckBoxCuts->isChecked());
    press(editor, Qt::Key_V);
    const Line inserted = lineAt(Project, 3);
    ASSERT_EQ(inserted.start, 240);
    press(editor, Qt::Key_S);  // 4 frames earlier at the step "小": 236 is within 7 of the cut
    EXPECT_EQ(lineAt(Project, 3), (Line{240, inserted.end - 4, inserted.text})) << "the in-point did not snap";
    press(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(lineAt(Project, 3), inserted) << "the move and its snap were not one step";

    press(editor, Qt::Key_B);
    ASSERT_FALSE(editor.CheckBoxCuts->isChecked());
    press(editor, Qt::Key_S);
    EXPECT_EQ(lineAt(Project, 3), (Line{236, inserted.end - 4, inserted.text})) << "S snapped with snapping off";
    editor.close();
    EXPECT_FALSE(Project.SnapToCuts);
}

// "保存", the close box, "< 上一步  " and "  下一步 >" all write the timeline
// as the editor holds it, in the file's own encoding (GBK here); the two
// navigation buttons name the next screen.
TEST_F(EditorWindow, EveryWayOutSavesTheFileInItsOwnEncoding)
{
    enum class Way { Save, CloseBox, Back, Next };
    const struct {
        const char* how;
        Way way;
        int8_t nextPage;
        bool staysOpen;
    } cases[] = {
        {"保存", Way::Save, Page::Quit, true},
        {"close box", Way::CloseBox, Page::Quit, false},
        {"< 上一步", Way::Back, Page::OpenProject, false},
        {"下一步 >", Way::Next, Page::FileTools, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_NO_FATAL_FAILURE(freshProject());
        TplayAndEdit& editor = open();
        ASSERT_LT(restOnLabel(editor), 100);
        press(editor, Qt::Key_R);
        ASSERT_EQ(settledFrame(editor), 100);
        press(editor, Qt::Key_E);  // 100..129
        ASSERT_EQ(lineAt(Project, 0), (Line{100, 129, u"第一行"}));

        EXPECT_TRUE(editor.isWindowModified()) << "no mark of unsaved changes in the title";
        pointTo(&editor, besideButtons(editor));
        QPushButton* button = c.way == Way::Save   ? editor.ButtonSave
                              : c.way == Way::Back ? editor.ButtonBack
                                                   : editor.ButtonNext;
        if (c.way == Way::CloseBox) {
            editor.close();
        } else {
            ASSERT_TRUE(button->isEnabled()) << "the buttons are not revealed under the pointer";
            QTest::mouseClick(button, Qt::LeftButton);
        }
        pumpEvents(200);

        EXPECT_EQ(editor.isVisible(), c.staysOpen);
        EXPECT_EQ(Project.NextPage, c.nextPage);
        const std::string written = readAll(srt_);
        EXPECT_NE(written.find(encodeText(u"00:00:04,000 --> 00:00:05,160\r\n第一行\r\n", Gbk)), std::string::npos);
        expectFileHoldsTheTimeline(c.how);
        if (!c.staysOpen)
            EXPECT_EQ(Project.PlayPosition, 100) << "the position where the editor closed";
        if (c.staysOpen) {
            // "保存" says it saved, in the time row's free end, and the mark goes
            EXPECT_FALSE(editor.isWindowModified());
            EXPECT_TRUE(editor.LabelSaved->isVisible());
            EXPECT_TRUE(editor.LabelSaved->text().startsWith(EditorText::Saved)) << editor.LabelSaved->text().toStdString();
            EXPECT_TRUE(editor.windowTitle().startsWith(EditorText::CaptionPrefix + QString::fromStdString(srt_.string())));
        }
    }
}

// The bands of the window at its design size and at another size, and, as
// the window shows while the video plays, no control covering another or
// cutting its caption.
TEST_F(EditorWindow, LayoutGivesTheBandsOfTheClientSize)
{
    TplayAndEdit& editor = open();
    ASSERT_EQ(editor.size(), QSize(684, 562)) << "the first visit opens at the design size";

    const struct {
        QSize client;
        int pictureBottom, waveTop, waveWidth, buttonsTop;
    } sizes[] = {
        {{684, 562}, 312, 370, 556, 517},
        {{800, 600}, 350, 408, 672, 555},
    };
    for (const auto& s : sizes) {
        SCOPED_TRACE(std::to_string(s.client.width()) + "x" + std::to_string(s.client.height()));
        editor.resize(s.client);
        pumpEvents(150);
        ASSERT_EQ(editor.size(), s.client);
        const QRect picture = playerOf(editor).displayRect();
        EXPECT_EQ(picture.top(), 0);
        EXPECT_EQ(picture.height(), s.pictureBottom);
        // the clip's 16:9 kept, the picture centred
        EXPECT_NEAR(picture.width(), s.pictureBottom * 16.0 / 9.0, 2.0);
        EXPECT_NEAR(picture.left() + picture.width() / 2.0, s.client.width() / 2.0, 1.5);
        QWidget* surface = videoSurface(editor);
        ASSERT_NE(surface, nullptr);
        EXPECT_TRUE(testclips::showsPicture(surface->grab().toImage())) << "the picture fills its band";
        EXPECT_EQ(editor.ScrollBar1->y(), s.pictureBottom);
        EXPECT_EQ(editor.ScrollBar1->height(), 14);
        EXPECT_LE(editor.ScrollBar1->x(), 1);
        EXPECT_GE(editor.ScrollBar1->geometry().right(), s.client.width() - 2);
        EXPECT_EQ(editor.Labeltxt->y(), s.client.height() - 220);
        EXPECT_EQ(editor.PaintBoxWav->geometry(), QRect(64, s.waveTop, s.waveWidth, 128));
        for (QWidget* bottom : {static_cast<QWidget*>(editor.ButtonHelp), static_cast<QWidget*>(editor.ButtonSave),
                                static_cast<QWidget*>(editor.ButtonBack), static_cast<QWidget*>(editor.ButtonNext),
                                static_cast<QWidget*>(editor.CheckBoxTime), static_cast<QWidget*>(editor.CheckBoxText)})
            EXPECT_EQ(bottom->y(), s.buttonsTop) << testsupport::controlName(bottom);
        EXPECT_EQ(editor.ButtonNext->geometry().right(), s.client.width() - 64);

        if (s.client == QSize(684, 562)) {
            // the pointer over the picture hides the bars it reveals elsewhere
            pointTo(&editor, overVideo(446));
            pumpEvents(100);
            // the time sits two pixels into the subtitle label's band, as designed
            const std::vector<std::pair<const QWidget*, const QWidget*>> designed = {{editor.LabelTime, editor.Labeltxt}};
            EXPECT_EQ(testsupport::layoutFaults(editor, designed), std::vector<std::string>{});
        }
    }
}

// Closing remembers the position, step size, scale, check boxes and bounds;
// the next visit opens with them. Bounds off the screen's top or left are
// not restored: the window opens centred at its design size.
TEST_F(EditorWindow, SecondVisitRestoresWhatTheFirstLeft)
{
    TplayAndEdit& first = open();
    ASSERT_LT(restOnLabel(first), 100);
    press(first, Qt::Key_R);
    press(first, Qt::Key_R);
    ASSERT_EQ(settledFrame(first), 150);

    pointTo(&first, overStepSize(first));
    ASSERT_TRUE(first.RadioGroup1->isEnabled()) << "the step size is not revealed under the pointer";
    QTest::mouseClick(stepSizeButton(first, 3), Qt::LeftButton);
    ASSERT_TRUE(stepSizeButton(first, 3)->isChecked());
    pointTo(&first, overWaveScale(first));
    ASSERT_TRUE(first.TrackBar2->isVisible()) << "the scale bar is not revealed under the pointer";
    QTest::mouseClick(first.TrackBar2, Qt::LeftButton, Qt::NoModifier, {first.TrackBar2->width() / 2, 130});
    const int scale = first.TrackBar2->value();
    ASSERT_NE(scale, 0) << "a click low on the scale bar did not move it";
    pointTo(&first, besideButtons(first));
    QTest::mouseClick(first.CheckBoxTime, Qt::LeftButton);
    ASSERT_FALSE(first.CheckBoxTime->isChecked());
    first.move(40, 30);
    first.resize(700, 580);
    pumpEvents(100);
    const QRect bounds = first.frameGeometry();
    first.close();
    pumpEvents(100);

    TplayAndEdit& second = open();
    const int frame = restOnLabel(second);
    EXPECT_GE(frame, 150);
    EXPECT_LE(frame, 165);
    EXPECT_TRUE(stepSizeButton(second, 3)->isChecked());
    EXPECT_EQ(second.TrackBar2->value(), scale);
    EXPECT_FALSE(second.CheckBoxTime->isChecked());
    EXPECT_TRUE(second.CheckBoxText->isChecked());
    EXPECT_EQ(second.frameGeometry(), bounds);
    second.close();
    pumpEvents(100);

    Project.EditorLeft = -20;  // dragged partly off the screen
    TplayAndEdit& third = open();
    EXPECT_EQ(third.size(), QSize(684, 562));
    const QPoint centre = third.screen()->availableGeometry().center();
    EXPECT_LE((third.frameGeometry().center() - centre).manhattanLength(), 2);
}

// The help window opens beside the editor; when it closes and the editor is
// active again, the video and the controls stay as they were.
TEST_F(EditorWindow, ClosingTheHelpWindowLeavesVideoAndControlsAlone)
{
    Project.PlayPosition = 100;
    TplayAndEdit& editor = open();
    const int frame = restOnLabel(editor);
    ASSERT_GE(frame, 100);
    pointTo(&editor, overStepSize(editor));
    QTest::mouseClick(stepSizeButton(editor, 0), Qt::LeftButton);
    ASSERT_TRUE(stepSizeButton(editor, 0)->isChecked());

    pointTo(&editor, besideButtons(editor));
    ASSERT_TRUE(editor.ButtonHelp->isEnabled());
    QTest::mouseClick(editor.ButtonHelp, Qt::LeftButton);
    pumpEvents(150);
    ASSERT_NE(Help, nullptr);
    ASSERT_TRUE(Help->isVisible());
    EXPECT_TRUE(editor.isVisible());
    QTest::mouseClick(Help->Button1, Qt::LeftButton);
    pumpEvents(50);
    EXPECT_FALSE(Help->isVisible());
    editor.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
    pumpEvents(400);

    EXPECT_EQ(settledFrame(editor), frame);
    EXPECT_TRUE(stepSizeButton(editor, 0)->isChecked());
}
