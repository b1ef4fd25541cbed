#include "core/ProjectState.h"
#include "core/TimelineBackup.h"
#include "core/TimelineRecovery.h"
#include "opening/Loader.h"
#include "opening/OpenFileUnit.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "opening/BeginShowUnit.h"
#include "shell/ControlUnit.h"
#include "tests/support/Clips.h"
#include "tests/support/Layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include "tests/support/Questions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

using namespace vt;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class OpenFileScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = testclips::scratchDir("openfile");
        if (testclips::haveFfmpeg()) {
            clip23_ = testclips::makeClip(dir_, "film.avi", "24000/1001", 48, false);
            std::string wav = (dir_ / "film.wav").string();
            std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=500:duration=2 -fflags +bitexact "
                         "-flags:a +bitexact -ac 2 \"" + wav + "\"").c_str());
            std::ofstream(dir_ / "film.srt", std::ios::binary)
                << "1\r\n00:00:00,200 --> 00:00:00,900\r\n第一行\r\n\r\n2\r\n00:00:01,000 --> 00:00:01,500\r\n第二行\r\n\r\n";
        }
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override
    {
        resetProjectState(Project);
        setMessageSink([this](const QString& m) { messages.push_back(m.toStdString()); });
        setDialogAnswerer([this](const FileDialogRequest& r) -> std::optional<QString> {
            requests.push_back(r);
            if (answers.empty())
                return std::nullopt;
            QString a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
    }
    void TearDown() override
    {
        setMessageSink(nullptr);
        setDialogAnswerer(nullptr);
    }

    static fs::path dir_;
    static std::string clip23_;
    TMainControl main_;
    std::vector<std::string> messages;
    std::vector<FileDialogRequest> requests;
    std::vector<QString> answers;
};

fs::path OpenFileScreen::dir_;
std::string OpenFileScreen::clip23_;

}  // namespace

TEST_F(OpenFileScreen, StartsWithTheVideoToPickAndTheTextFileOff)
{
    TfileOpen screen(&main_, main_.MediaPlayer1());
    EXPECT_EQ(screen.windowTitle(), OpenFileText::Caption);
    EXPECT_EQ(screen.ButtonNext->text(), OpenFileText::Next);
    EXPECT_TRUE(screen.ButtonNext->isDefault());
    EXPECT_FALSE(screen.ComboBox1->isEnabled());
    EXPECT_EQ(screen.ComboBox1->currentText(), OpenFileText::FrameRateUnknown);
    EXPECT_TRUE(screen.Label4->isHidden());
    EXPECT_TRUE(screen.ProgressBar1->isHidden());
    EXPECT_TRUE(screen.CheckBox1->isChecked());
    EXPECT_EQ(screen.CheckBox1->toolTip(), OpenFileText::TextsInSrtTip);
    // first opening: paragraphs are the text layout, and the text-file controls are off
    EXPECT_TRUE(screen.RadioButton2->isChecked());
    EXPECT_FALSE(Project.OneLinePerSubtitle);
    EXPECT_FALSE(screen.LabeledEdit4->isEnabled());
    EXPECT_FALSE(screen.Button5->isEnabled());
    EXPECT_EQ(Project.NextPage, 0);
    // the label sits above its box
    EXPECT_LT(screen.LabeledEdit1Label->geometry().bottom(), screen.LabeledEdit1->geometry().top());
}

// Every state the screen shows: as it opens, with the text file's controls
// on, and while the summary's bar runs.
TEST_F(OpenFileScreen, NoControlCoversAnotherOrCutsItsCaption)
{
    TfileOpen screen(&main_, main_.MediaPlayer1());
    // the design stacks "新建" two pixels into "打开" above it
    const std::vector<std::pair<const QWidget*, const QWidget*>> designed = {{screen.Button4, screen.ButtonNew}};
    screen.ComboBox1->setEditText(frameRateBoxText(23.976f));
    EXPECT_EQ(testsupport::layoutFaults(screen, designed), std::vector<std::string>{}) << "as it opens";
    screen.CheckBox1->setChecked(false);
    EXPECT_EQ(testsupport::layoutFaults(screen, designed), std::vector<std::string>{}) << "texts from a text file";
    screen.Label4->show();
    screen.ProgressBar1->show();
    EXPECT_EQ(testsupport::layoutFaults(screen, designed), std::vector<std::string>{}) << "while the summary is built";
}

TEST_F(OpenFileScreen, TheCheckBoxSwitchesBetweenTextsInTheSrtAndATextFile)
{
    Project.SubtitleTextFileName = "/films/lines.txt";
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.CheckBox1->setChecked(false);
    EXPECT_TRUE(Project.TextFromTxtFile);
    EXPECT_TRUE(screen.LabeledEdit4->isEnabled());
    EXPECT_TRUE(screen.RadioButton1->isEnabled());
    EXPECT_EQ(screen.LabeledEdit4->text().toStdString(), "/films/lines.txt");
    EXPECT_EQ(screen.LabeledEdit3Label->text(), OpenFileText::SrtLabelTimesOnly);
    screen.CheckBox1->setChecked(true);
    EXPECT_FALSE(Project.TextFromTxtFile);
    EXPECT_TRUE(screen.LabeledEdit4->text().isEmpty());
    EXPECT_EQ(screen.LabeledEdit3Label->text(), OpenFileText::SrtLabelWithTexts);
    screen.RadioButton1->setChecked(true);
    EXPECT_TRUE(Project.OneLinePerSubtitle);
}

TEST_F(OpenFileScreen, ReopeningShowsTheProjectState)
{
    Project.VideoFileName = "/f/a.avi";
    Project.TimelineFileName = "/f/a.srt";
    Project.FrameRate = 25.0f;
    Project.TextFromTxtFile = true;
    Project.OneLinePerSubtitle = true;
    TfileOpen screen(&main_, main_.MediaPlayer1());
    EXPECT_EQ(screen.LabeledEdit1->text().toStdString(), "/f/a.avi");
    EXPECT_EQ(screen.LabeledEdit3->text().toStdString(), "/f/a.srt");
    EXPECT_EQ(screen.ComboBox1->currentText().toStdString(), "25.000");
    EXPECT_FALSE(screen.CheckBox1->isChecked());
    EXPECT_TRUE(screen.RadioButton1->isChecked());
}

TEST_F(OpenFileScreen, TheRateBoxShowsSixCharactersAsTheFileToolsDo)
{
    EXPECT_EQ(frameRateBoxText(25.0f).toStdString(), "25.000");
    EXPECT_EQ(frameRateBoxText(23.976f).toStdString(), "23.976");
    EXPECT_EQ(frameRateBoxText(29.97f).toStdString(), "29.970");
    EXPECT_EQ(frameRateBoxText(0.0f).toStdString(), "0.0001");
    // a fixed nudge of 0.0002 showed 8.0002 for a film of 8 fps
    EXPECT_EQ(frameRateBoxText(8.0f).toStdString(), "8.0000");
    Project.FrameRate = 8.0f;
    TfileOpen screen(&main_, main_.MediaPlayer1());
    EXPECT_EQ(screen.ComboBox1->currentText().toStdString(), "8.0000");
}

TEST_F(OpenFileScreen, PickingAVideoFillsItsCompanionsAndMeasuresIt)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.LabeledEdit4->setText("kept");
    answers = {QString::fromStdString(clip23_)};
    screen.Button1->click();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, OpenFileText::Pick);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(screen.LabeledEdit2->text().toStdString(), (dir_ / "film.wav").string());
    EXPECT_EQ(screen.LabeledEdit3->text().toStdString(), (dir_ / "film.srt").string());
    EXPECT_EQ(Project.SubtitleTextFileName, (dir_ / "film.txt").string());
    EXPECT_EQ(screen.LabeledEdit4->text().toStdString(), "kept");  // no film.txt there
    EXPECT_EQ(screen.ComboBox1->currentText().toStdString(), "23.976");
    EXPECT_NEAR(Project.FrameRate, 23.976, 0.0005);
}

// The rate of the film picked before would let " 下一步 >" open the editor on
// a file the player cannot play.
TEST_F(OpenFileScreen, AVideoThePlayerCannotOpenLeavesNoRateBehind)
{
    auto bogus = dir_ / "notes.avi";
    std::ofstream(bogus) << "not a film";
    Project.FrameRate = 25.0f;
    TfileOpen screen(&main_, main_.MediaPlayer1());
    ASSERT_EQ(screen.ComboBox1->currentText().toStdString(), "25.000");
    screen.LabeledEdit2->setText("/keep/this.wav");
    screen.LabeledEdit3->setText(QString::fromStdString((dir_ / "film.srt").string()));
    answers = {QString::fromStdString(bogus.string())};
    screen.Button1->click();
    EXPECT_EQ(messages, (std::vector<std::string>{OpenFileText::FormatNotSupported.toStdString()}));
    EXPECT_EQ(Project.FrameRate, 0.0f);
    EXPECT_EQ(screen.ComboBox1->currentText(), OpenFileText::FrameRateUnknown);
    EXPECT_EQ(screen.LabeledEdit2->text().toStdString(), "/keep/this.wav");

    messages.clear();
    screen.ButtonNext->click();
    EXPECT_EQ(messages, (std::vector<std::string>{std::string(MsgFrameRateUnknown)}));
    EXPECT_EQ(screen.result(), 0);
    EXPECT_EQ(Project.NextPage, 0);
}

TEST_F(OpenFileScreen, ATypedVideoIsNotMeasured)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.LabeledEdit1->setText(QString::fromStdString(clip23_));
    emit screen.LabeledEdit1->editingFinished();
    EXPECT_EQ(Project.VideoFileName, clip23_);
    screen.ButtonNext->click();
    EXPECT_EQ(messages, (std::vector<std::string>{std::string(MsgFrameRateUnknown)}));
    EXPECT_EQ(screen.result(), 0);
    EXPECT_EQ(Project.NextPage, 0);
}

// The box being typed in loses its focus as the screen goes; its exit runs
// while the screen is whole (the sanitizer build catches a call on a screen
// half destroyed) and takes the typed name as leaving the box would.
TEST_F(OpenFileScreen, ANameTypedAsTheScreenGoesIsTaken)
{
    struct Case {
        QLineEdit* TfileOpen::*box;
        std::string ProjectState::*field;
    };
    const Case cases[] = {
        {&TfileOpen::LabeledEdit1, &ProjectState::VideoFileName},
        {&TfileOpen::LabeledEdit2, &ProjectState::WavFileName},
        {&TfileOpen::LabeledEdit3, &ProjectState::TimelineFileName},
        {&TfileOpen::LabeledEdit4, &ProjectState::SubtitleTextFileName},
    };
    for (const Case& c : cases) {
        resetProjectState(Project);
        Project.TextFromTxtFile = true;  // the text file's box takes input
        auto screen = std::make_unique<TfileOpen>(&main_, main_.MediaPlayer1());
        screen->show();
        QApplication::setActiveWindow(screen.get());
        QLineEdit* box = (*screen).*c.box;
        box->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), box);
        QTest::keyClicks(box, QStringLiteral("typed"));
        screen.reset();
        EXPECT_EQ(Project.*c.field, "typed");
    }
}

TEST_F(OpenFileScreen, NewEmptiesOnlyTheConfirmedFile)
{
    auto srt = dir_ / "new.srt";
    std::ofstream(srt) << "1\r\n00:00:01,000 --> 00:00:02,000\r\nold\r\n\r\n";
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.ButtonNew->click();  // cancelled: nothing happens, and with no film nothing is proposed
    EXPECT_TRUE(requests.back().proposed.isEmpty());
    EXPECT_FALSE(Project.NewTimeline);
    EXPECT_FALSE(readAll(srt).empty());
    // the dialog starts on the film's name with ".srt", beside the film
    screen.LabeledEdit1->setText(QString::fromStdString((dir_ / "片 名.mp4").string()));
    screen.ButtonNew->click();
    EXPECT_EQ(requests.back().proposed.toStdString(), (dir_ / "片 名.srt").string());
    answers = {QString::fromStdString(srt.string())};
    screen.ButtonNew->click();
    EXPECT_EQ(requests.back().kind, FileDialogRequest::Kind::Save);
    EXPECT_TRUE(Project.NewTimeline);
    EXPECT_EQ(screen.LabeledEdit3->text().toStdString(), srt.string());
    EXPECT_TRUE(fs::exists(srt));
    EXPECT_EQ(fs::file_size(srt), 0u);
    // the old timeline went to the backups first
    bool kept = false;
    for (const auto& entry : fs::directory_iterator(backupFolder()))
        kept = kept || readAll(entry.path()) == "1\r\n00:00:01,000 --> 00:00:02,000\r\nold\r\n\r\n";
    EXPECT_TRUE(kept);
}

TEST_F(OpenFileScreen, NextLoadsTheProjectWithTheProgressBarShowing)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    fs::remove(dir_ / "film.ws");
    TfileOpen screen(&main_, main_.MediaPlayer1());
    answers = {QString::fromStdString(clip23_)};
    screen.Button1->click();

    // a first press with a missing timeline fails and leaves the screen open
    screen.LabeledEdit3->setText(QString::fromStdString((dir_ / "missing.srt").string()));
    screen.ButtonNext->click();
    EXPECT_EQ(messages, (std::vector<std::string>{std::string(MsgSubtitleFileMissing)}));
    EXPECT_EQ(screen.result(), 0);

    // the second press loads; watch the bar while it does, and try "指定"
    // meanwhile: the screen takes no input until the load has ended
    screen.LabeledEdit3->setText(QString::fromStdString((dir_ / "film.srt").string()));
    bool barSeen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!barSeen && screen.ProgressBar1->isVisible()) {
            barSeen = true;
            QTest::mouseClick(screen.Button1, Qt::LeftButton);
        }
    });
    watch.start(1);
    screen.show();
    screen.ButtonNext->click();
    watch.stop();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(barSeen);
    EXPECT_EQ(requests.size(), 1u) << "a click during the load opened a dialog";
    EXPECT_EQ(screen.result(), QDialog::Accepted);
    EXPECT_EQ(Project.NextPage, 3);
    EXPECT_TRUE(fs::exists(dir_ / "film.ws"));
    EXPECT_EQ(Project.TimelineCount, 2);
    EXPECT_EQ(Project.Timeline[0].StartFrame, 5);  // 200 ms at 23.976 fps
    EXPECT_EQ(Project.Timeline[1].Text, u"第二行");
    EXPECT_EQ(Project.WaveSummary.size(), 400u);
}

// A signal ending the program while the recovery question is open is no
// "否": the copy stays where it is, and the next start asks again.
TEST_F(OpenFileScreen, ASignalDuringTheRecoveryQuestionAsksAgainNextStart)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string srt = (dir_ / "film.srt").string();
    const std::string copy = recoveryFileName(srt);
    const std::string copyBytes = "1\r\n00:00:00,200 --> 00:00:00,900\r\n没保存的一行\r\n\r\n";
    fs::create_directories(fs::path(copy).parent_path());
    std::ofstream(copy, std::ios::binary) << copyBytes;
    auto setAside = [&] {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(fs::path(copy).parent_path()))
            if (entry.path().string().starts_with(copy + ".declined-"))
                found.push_back(entry.path());
        return found;
    };

    int asked = 0;
    auto loadAnswering = [&](TMainControl& program, bool signalFirst) {
        setQuestionAnswerer([&, signalFirst](const QString&) {
            ++asked;
            if (signalFirst)
                program.endBySignal();
            return false;
        });
        TfileOpen screen(&program, program.MediaPlayer1());
        answers = {QString::fromStdString(clip23_)};
        screen.Button1->click();
        screen.LabeledEdit3->setText(QString::fromStdString(srt));
        screen.ButtonNext->click();
        testquestions::failOnUnexpectedQuestions();
    };
    loadAnswering(main_, true);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(readAll(copy), copyBytes);
    EXPECT_TRUE(setAside().empty());

    TMainControl nextStart;
    loadAnswering(nextStart, false);
    EXPECT_EQ(asked, 2) << "the next start did not ask";
    EXPECT_FALSE(fs::exists(copy));
    ASSERT_EQ(setAside().size(), 1u) << "\"否\" did not keep the copy aside";
    EXPECT_EQ(readAll(setAside().front()), copyBytes);
    fs::remove(setAside().front());
}

// "指定" measures the video; the load takes that length and measures again
// only for a video the box names since (typed over the picked one).
TEST_F(OpenFileScreen, TheLoadMeasuresOnlyAVideoThatWasNotPicked)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path folder = dir_ / "measured";  // no WAV here: the load needs the video's length
    fs::create_directories(folder);
    const std::string other = testclips::makeClip(folder, "other.avi", "25", 96, false);
    struct Case {
        const char* what;
        std::function<void(TfileOpen&, const std::string& picked)> afterPicking;
        int32_t lengthFrames;
    };
    const std::vector<Case> cases = {
        // the length "指定" read stands, even once the file has changed
        {"the picked video", [](TfileOpen&, const std::string& picked) { testclips::makeClip(fs::path(picked).parent_path(), "picked.avi", "25", 96, false); }, 48},
        {"another video typed into the box", [&other](TfileOpen& screen, const std::string&) { screen.LabeledEdit1->setText(QString::fromStdString(other)); }, 96},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetProjectState(Project);
        messages.clear();
        const std::string picked = testclips::makeClip(folder, "picked.avi", "25", 48, false);
        ASSERT_FALSE(picked.empty());
        TfileOpen screen(&main_, main_.MediaPlayer1());
        answers = {QString::fromStdString(picked)};
        screen.Button1->click();
        ASSERT_EQ(Project.FrameRate, 25.0f);
        c.afterPicking(screen, picked);
        screen.LabeledEdit3->setText(QString::fromStdString((dir_ / "film.srt").string()));
        screen.ButtonNext->click();
        EXPECT_TRUE(messages.empty());
        ASSERT_EQ(screen.result(), QDialog::Accepted);
        EXPECT_EQ(Project.VideoLengthFrames, c.lengthFrames);
        // the placeholder summary: 200 bytes a second of film, and 600 more
        EXPECT_EQ(Project.WaveSummary.size(), size_t(c.lengthFrames * 200 / 25 + 600));
    }
}

// A person at the keyboard: Esc never ends the program from here, Enter on a
// focused button presses that button, Enter anywhere else " 下一步 >".
TEST_F(OpenFileScreen, EscStaysAndEnterPressesTheFocusedButtonElseNext)
{
    struct Case {
        const char* what;
        std::function<QWidget*(TfileOpen&)> focus;
        Qt::Key key;
        std::vector<QString> dialogTitles;  // the dialogs Enter opened
        std::vector<std::string> messages;  // the load's, when " 下一步 >" ran
        bool noticeShown;
    };
    const std::string noVideo(MsgVideoMissing);
    const std::vector<Case> cases = {
        {"Esc in the video box", [](TfileOpen& s) { return s.LabeledEdit1; }, Qt::Key_Escape, {}, {}, false},
        {"Esc on \"指定\"", [](TfileOpen& s) { return s.Button1; }, Qt::Key_Escape, {}, {}, false},
        {"Enter on \"指定\"", [](TfileOpen& s) { return s.Button1; }, Qt::Key_Return, {OpenFileText::Pick}, {}, false},
        {"keypad Enter on \"新建\"", [](TfileOpen& s) { return s.ButtonNew; }, Qt::Key_Enter, {QString()}, {}, false},
        {"Enter on \"初次使用请看\"", [](TfileOpen& s) { return s.Button3; }, Qt::Key_Return, {}, {}, true},
        {"Enter on \" 下一步 >\"", [](TfileOpen& s) { return s.ButtonNext; }, Qt::Key_Return, {}, {noVideo}, false},
        {"Enter in the timeline box", [](TfileOpen& s) { return s.LabeledEdit3; }, Qt::Key_Return, {}, {noVideo}, false},
        {"Enter on the check box", [](TfileOpen& s) { return s.CheckBox1; }, Qt::Key_Return, {}, {noVideo}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetProjectState(Project);
        requests.clear();
        messages.clear();
        TfileOpen screen(&main_, main_.MediaPlayer1());
        screen.show();
        QApplication::setActiveWindow(&screen);
        QWidget* focused = c.focus(screen);
        focused->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), focused);

        QTest::keyClick(focused, c.key);
        QApplication::processEvents();
        std::vector<QString> titles;
        for (const FileDialogRequest& r : requests)
            titles.push_back(r.title);
        EXPECT_EQ(titles, c.dialogTitles);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(Proset && Proset->isVisible(), c.noticeShown);
        EXPECT_TRUE(screen.isVisible()) << "the screen closed";
        EXPECT_EQ(screen.result(), 0);
        EXPECT_EQ(Project.NextPage, 0);
    }

    // as a person first meets it: one Tab from where the focus starts, Enter
    requests.clear();
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.show();
    QApplication::setActiveWindow(&screen);
    QApplication::processEvents();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), screen.Button1);
    QTest::keyClick(screen.Button1, Qt::Key_Return);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, OpenFileText::Pick);
}

// The video named on the command line: the first screen comes up with it
// chosen as "指定" would have chosen it, and no dialog asked for.
TEST_F(OpenFileScreen, AVideoNamedAtStartIsChosenBeforeTheScreenComesUp)
{
    if (clip23_.empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    struct Seen {
        QString video, wav, srt, rate;
        float frameRate = 0;
        bool visible = false;
    } seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* screen = dynamic_cast<TfileOpen*>(QApplication::activeModalWidget());
        if (!screen || !screen->isVisible())
            return;
        poll.stop();
        seen = {screen->LabeledEdit1->text(), screen->LabeledEdit2->text(), screen->LabeledEdit3->text(),
                screen->ComboBox1->currentText(), Project.FrameRate, true};
        screen->Button2->click();  // the WAV's dialog, cancelled
        screen->close();
    });
    poll.start(10);
    EXPECT_EQ(main_.FormCreate(QString::fromStdString(clip23_)), 0);
    ASSERT_TRUE(seen.visible);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(seen.video.toStdString(), clip23_);
    EXPECT_EQ(seen.wav.toStdString(), (dir_ / "film.wav").string());
    EXPECT_EQ(seen.srt.toStdString(), (dir_ / "film.srt").string());
    EXPECT_EQ(seen.rate.toStdString(), "23.976");
    EXPECT_NEAR(seen.frameRate, 23.976, 0.0005);
    // no dialog for the video, and the companion's opens beside it
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, OpenFileText::WavFilter);
    EXPECT_EQ(requests[0].initialDir.toStdString(), dir_.string());
}

// Each dialog opens in the folder of the file chosen last.
TEST_F(OpenFileScreen, DialogsOpenWhereTheLastFileWasChosen)
{
    const fs::path films = dir_ / "films";
    const fs::path texts = dir_ / "texts";
    fs::create_directories(films);
    fs::create_directories(texts);
    std::ofstream(films / "a.avi") << "not a film";
    std::ofstream(texts / "a.txt") << "line\r\n";
    TfileOpen screen(&main_, main_.MediaPlayer1());
    screen.CheckBox1->setChecked(false);
    answers = {QString::fromStdString((films / "a.avi").string()), QString::fromStdString((texts / "a.txt").string())};
    screen.Button1->click();  // not a film the player takes: chosen all the same
    screen.Button5->click();
    screen.Button4->click();  // cancelled
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].initialDir.toStdString(), films.string()) << "the text file's dialog";
    EXPECT_EQ(requests[2].initialDir.toStdString(), texts.string()) << "the timeline's dialog";
}
