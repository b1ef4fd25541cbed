// The file-tools screen as a user meets it: the tabs, what each field shows
// as the screen opens, the choices it remembers, every way out and what each
// saves, and each tool's button with its dialogs and messages. What the tools
// compute is the window-free code's; here the files are checked byte for byte
// for small cases written out by hand.
#include "core/Coverage.h"
#include "core/ProjectState.h"
#include "core/TimelineState.h"
#include "core/UndoHistory.h"
#include "filetools/FileEditUnit.h"
#include "filetools/FrameRateConversion.h"
#include "filetools/Shift.h"
#include "filetools/SubtitleBlocks.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/TimelineSave.h"
#include "tests/support/Clips.h"
#include "tests/support/Events.h"
#include "tests/support/Layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace vt;
using testsupport::pumpEvents;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string utf8(const QString& s)
{
    return s.toStdString();
}

// The two lines of the project at 25 fps, as the timeline file holds them.
const std::string SavedAt25 =
    "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n\r\n2\r\n00:00:04,000 --> 00:00:06,000\r\n世界\r\n\r\n";

class FileToolsScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        // a folder of each visit's own: what one case saved is not the file the next one finds
        static int visits = 0;
        dir_ = testclips::scratchDir("filetools") / std::to_string(++visits);
        fs::create_directories(dir_);
        srt_ = dir_ / "film.srt";
        writeAll(srt_, "as it was on disk\r\n");
        resetProjectState(Project);
        Project.TimelineFileName = srt_.string();
        Project.TimelineEncoding = {TextEncoding::Utf8, false};
        Project.FrameRate = 25.0f;
        Project.VideoLengthFrames = 3000;  // 2 minutes
        Project.PlayPosition = 60;         // between the two lines
        Project.Timeline = {{25, 75, u"你好"}, {100, 150, u"世界"}};
        Project.Timeline.resize(258, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        Project.TimelineCount = 2;
        Project.TextCount = 2;
        Project.WaveSummary.assign(24000, 0);
        Project.WaveMarks.assign(24000, 0);
        Project.NextPage = Page::FileTools;

        setMessageSink([this](const QString& m) { messages.push_back(utf8(m)); });
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
        fs::remove_all(dir_);
    }

    // A visit of the page loop: a new screen, shown and active.
    std::unique_ptr<TFileEdit> visit()
    {
        auto screen = std::make_unique<TFileEdit>(nullptr);
        screen->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        return screen;
    }

    static void typeInto(QLineEdit* field, const QString& text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    fs::path dir_;
    fs::path srt_;
    std::vector<std::string> messages;
    std::vector<FileDialogRequest> requests;
    std::vector<QString> answers;
};

}  // namespace

TEST_F(FileToolsScreen, OpensOnTheFrameRateTabWithEveryTabInViewAndItsFieldsFilled)
{
    auto screen = visit();
    // "[*]" is where the desktop's mark of unsaved changes goes; the timeline
    // here was never read from its file, which holds something else
    EXPECT_EQ(screen->windowTitle(), FileEditText::CaptionPrefix + QString::fromStdString(srt_.string()) + "[*]");
    EXPECT_TRUE(screen->isWindowModified());
    EXPECT_EQ(Project.NextPage, Page::Quit);
    EXPECT_EQ(screen->Tabs->currentIndex(), FileEditTab::Conversion);

    QTabBar* bar = screen->Tabs->tabBar();
    ASSERT_EQ(bar->count(), 6);  // the five designed tabs and the delivery checks
    for (int i = 0; i < bar->count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar->tabText(i), FileEditText::TabCaptions[i]);
        // the whole tab on the bar, the whole bar on the control, the caption in its tab
        EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << "tab " << i << " is cut off or behind scroll arrows";
        EXPECT_LE(QFontMetrics(bar->font()).horizontalAdvance(bar->tabText(i)), bar->tabRect(i).width());
    }
    EXPECT_TRUE(screen->Tabs->rect().contains(bar->geometry()));
    EXPECT_EQ(screen->Tabs->size(), QSize(566, 345)) << "the tabs fit by their padding, not a wider control";

    // the shift
    EXPECT_EQ(screen->LabeledEdit4_1->text(), FileEditText::NoShift);
    EXPECT_EQ(screen->LabeledEdit4_2->text(), FileEditText::NoShift);
    EXPECT_EQ(screen->RadioGroup1ItemIndex(), 1) << "\"后续\" on a first visit";
    // the rates and times at the film's rate, the new rate the same
    EXPECT_EQ(utf8(screen->ComboBox5FPS1->currentText()), "25.000");
    EXPECT_EQ(utf8(screen->ComboBox5FPS2->currentText()), "25.000");
    EXPECT_FALSE(screen->ComboBox5FPS1->isEnabled());
    EXPECT_EQ(utf8(screen->LabeledEdit5_1->text()), "00:02:00,000");
    EXPECT_EQ(utf8(screen->LabeledEdit5_2->text()), "00:02:00,000");
    EXPECT_EQ(utf8(screen->LabeledEdit5_3->text()), "00:00:02,400");
    EXPECT_EQ(utf8(screen->LabeledEdit5_4->text()), "00:00:02,400");
    // the merge and the exports start empty
    EXPECT_FALSE(screen->CheckBoxOnTop->isChecked());
    for (QLineEdit* path : {screen->LabeledEdit2_1, screen->LabeledEdit2_2, screen->LabeledEdit3_1,
                            screen->LabeledEdit3_2, screen->LabeledEdit3_3})
        EXPECT_TRUE(path->text().isEmpty());
}

// The window and every page, as each tab shows it.
TEST_F(FileToolsScreen, NoControlCoversAnotherOrCutsItsCaption)
{
    auto screen = visit();
    EXPECT_EQ(testsupport::layoutFaults(*screen), std::vector<std::string>{}) << "the window";
    for (int i = 0; i < screen->Tabs->count(); ++i) {
        screen->Tabs->setCurrentIndex(i);
        EXPECT_EQ(testsupport::layoutFaults(*screen->Pages[size_t(i)]), std::vector<std::string>{})
            << utf8(FileEditText::TabCaptions[i]);
    }
    for (QGroupBox* group : {screen->GroupBoxAmount, screen->RadioGroup1})
        EXPECT_EQ(testsupport::layoutFaults(*group), std::vector<std::string>{}) << utf8(group->title());
}

// Also the film's rate, as the rate boxes show it: below 10 fps a nudge of
// 0.0001 before cutting to six characters would turn 8 into 8.0001, then
// 8.0002 on the next visit.
TEST_F(FileToolsScreen, TheRangeAndOnTopChoicesAreShownAgainOnTheNextVisit)
{
    Project.FrameRate = 8.0f;
    {
        auto first = visit();
        QTest::mouseClick(first->RadioGroup1Items[0], Qt::LeftButton);
        QTest::mouseClick(first->CheckBoxOnTop, Qt::LeftButton);
        QTest::mouseClick(first->ButtonPrevious, Qt::LeftButton);
        EXPECT_FALSE(first->isVisible());
    }
    EXPECT_EQ(Project.ToolRangeIndex, 0);
    EXPECT_TRUE(Project.MergeOnTop);
    auto second = visit();
    EXPECT_EQ(second->RadioGroup1ItemIndex(), 0);
    EXPECT_TRUE(second->CheckBoxOnTop->isChecked());
    EXPECT_EQ(utf8(second->ComboBox5FPS1->currentText()), "8.0000");
    EXPECT_EQ(Project.FrameRate, 8.0f);
}

// Each way out, after a shift of every line by one second: the timeline file
// holds the shifted lines and NextPage says where the page loop goes. Esc and
// Enter are no way out.
TEST_F(FileToolsScreen, EveryWayOutSavesWhatTheShiftMade)
{
    const std::string shifted =
        "1\r\n00:00:02,000 --> 00:00:04,000\r\n你好\r\n\r\n2\r\n00:00:05,000 --> 00:00:07,000\r\n世界\r\n\r\n";
    const struct {
        const char* how;
        std::function<void(TFileEdit&)> leave;
        bool leaves;
        int8_t nextPage;
    } cases[] = {
        {"< 上一步", [](TFileEdit& s) { QTest::mouseClick(s.ButtonPrevious, Qt::LeftButton); }, true, Page::Editor},
        {"保存退出", [](TFileEdit& s) { QTest::mouseClick(s.ButtonClose, Qt::LeftButton); }, true, Page::Quit},
        {"保存、退出",
         [](TFileEdit& s) {
             s.Tabs->setCurrentIndex(FileEditTab::Finish);
             QTest::mouseClick(s.Button1_1Save, Qt::LeftButton);
         },
         true, Page::Quit},
        {"window frame", [](TFileEdit& s) { s.close(); }, true, Page::Quit},
        {"Esc", [](TFileEdit& s) { QTest::keyClick(s.LabeledEdit4_2, Qt::Key_Escape); }, false, Page::Quit},
        {"Enter", [](TFileEdit& s) { QTest::keyClick(s.LabeledEdit4_2, Qt::Key_Return); }, false, Page::Quit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        SetUp();
        auto screen = visit();
        screen->Tabs->setCurrentIndex(FileEditTab::Shift);
        QTest::mouseClick(screen->RadioGroup1Items[0], Qt::LeftButton);
        typeInto(screen->LabeledEdit4_2, QStringLiteral("25"));
        QTest::mouseClick(screen->Button4move, Qt::LeftButton);
        ASSERT_EQ(Project.Timeline[0].StartFrame, 50);
        EXPECT_EQ(screen->LabeledEdit4_2->text(), FileEditText::NoShift) << "the fields go back to 0 after a shift";
        EXPECT_EQ(readAll(srt_), "as it was on disk\r\n") << "the shift itself saves nothing";

        c.leave(*screen);
        pumpEvents(50);
        EXPECT_EQ(!screen->isVisible(), c.leaves);
        EXPECT_EQ(Project.NextPage, c.nextPage);
        EXPECT_EQ(readAll(srt_), c.leaves ? shifted : "as it was on disk\r\n");
        EXPECT_TRUE(messages.empty());
        screen->hide();
        TearDown();
    }
}

// A timeline file that cannot be written: the user is offered to save it
// elsewhere, from the home folder with its name. Declining, then declining
// to leave unsaved, keeps the screen as it was (the page loop is not sent
// on); saying yes to leaving closes it; a file chosen in the dialog takes
// the timeline and becomes the project's.
TEST_F(FileToolsScreen, ASaveThatFailsOffersAnotherPlaceAndNeverTraps)
{
    const std::string nowhere = (dir_ / "gone" / "film.srt").string();
    const std::string elsewhere = (dir_ / "elsewhere.srt").string();
    struct Case {
        const char* name;
        std::vector<bool> answers;  // save elsewhere?, then leave unsaved?
        std::optional<std::string> chosen;
        bool stays;
        std::string timelineAfter;
    };
    const Case cases[] = {
        {"declined twice", {false, false}, std::nullopt, true, nowhere},
        {"leaves unsaved", {false, true}, std::nullopt, false, nowhere},
        {"dialog cancelled, stays", {true, false}, std::nullopt, true, nowhere},
        {"saved elsewhere", {true}, elsewhere, false, elsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project.TimelineFileName = nowhere;
        Project.NextPage = Page::FileTools;
        std::vector<std::string> questions;
        std::vector<bool> answers = c.answers;
        setQuestionAnswerer([&](const QString& text) {
            questions.push_back(utf8(text));
            if (answers.empty())
                return false;
            const bool a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
        requests.clear();
        this->answers.clear();
        if (c.chosen)
            this->answers = {QString::fromStdString(*c.chosen)};
        auto screen = visit();
        QTest::mouseClick(screen->ButtonPrevious, Qt::LeftButton);
        pumpEvents(50);
        setQuestionAnswerer(nullptr);
        EXPECT_EQ(screen->isVisible(), c.stays);
        EXPECT_TRUE(messages.empty()) << messages[0];
        ASSERT_GE(questions.size(), 1u);
        EXPECT_NE(questions[0].find(MsgSaveElsewhereAsk), std::string::npos) << questions[0];
        EXPECT_EQ(questions.size(), c.answers.size());
        if (c.answers.size() > 1)
            EXPECT_EQ(questions[1], std::string(MsgLeaveUnsavedAsk));
        if (c.answers[0]) {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].proposed.toStdString(), QDir::home().filePath(QStringLiteral("film.srt")).toStdString());
        }
        EXPECT_EQ(Project.TimelineFileName, c.timelineAfter);
        if (c.stays)
            EXPECT_EQ(Project.NextPage, Page::Quit);
        else
            EXPECT_EQ(Project.NextPage, Page::Editor);
        if (c.chosen)
            EXPECT_NE(readWholeFile(*c.chosen).find("世界"), std::string::npos);
    }
}

TEST_F(FileToolsScreen, SecondsAndFramesFillEachOtherWhenLeft)
{
    auto screen = visit();
    screen->Tabs->setCurrentIndex(FileEditTab::Shift);
    typeInto(screen->LabeledEdit4_1, QStringLiteral("2.5"));
    screen->LabeledEdit4_2->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(utf8(screen->LabeledEdit4_2->text()), "63");

    typeInto(screen->LabeledEdit4_2, QStringLiteral("250"));
    screen->Button4move->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(utf8(screen->LabeledEdit4_1->text()), "10");

    // an unreadable value: the focus goes back, without a message
    typeInto(screen->LabeledEdit4_1, QStringLiteral("abc"));
    screen->LabeledEdit4_2->setFocus(Qt::TabFocusReason);
    pumpEvents(20);
    EXPECT_TRUE(screen->LabeledEdit4_1->hasFocus());
    EXPECT_EQ(utf8(screen->LabeledEdit4_2->text()), "250");
    EXPECT_TRUE(messages.empty());
}

// A shift that would start the first line before the film, or a frames
// field that holds no whole number: a message, and nothing moves.
TEST_F(FileToolsScreen, ARefusedShiftChangesNothing)
{
    const struct {
        const char* frames;
        std::string_view message;
        bool focusOnSeconds;
    } cases[] = {
        {"-26", MsgShiftBeforeZero, true},
        {"1.5", MsgShiftFramesInvalid, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        messages.clear();
        auto screen = visit();
        screen->Tabs->setCurrentIndex(FileEditTab::Shift);
        typeInto(screen->LabeledEdit4_2, QString::fromLatin1(c.frames));
        QTest::mouseClick(screen->Button4move, Qt::LeftButton);
        pumpEvents(20);
        EXPECT_EQ(messages, std::vector<std::string>{std::string(c.message)});
        EXPECT_EQ(Project.Timeline[0].StartFrame, 25);
        EXPECT_EQ(Project.Timeline[1].StartFrame, 100);
        EXPECT_TRUE((c.focusOnSeconds ? screen->LabeledEdit4_1 : screen->LabeledEdit4_2)->hasFocus());
    }
}

// The new rate typed: the new length and the reference point follow; "转换"
// saves at once at the new rate, tells the user and goes back to the
// open-project screen. The rate already shown, or letters, convert nothing.
TEST_F(FileToolsScreen, TheConversionSavesAtOnceAndReturnsToTheOpenProjectScreen)
{
    auto screen = visit();
    auto choose = [&](const QString& rate) {
        screen->ComboBox5FPS2->setFocus();
        screen->ComboBox5FPS2->lineEdit()->selectAll();
        QTest::keyClicks(screen->ComboBox5FPS2->lineEdit(), rate);
    };

    choose(QStringLiteral("25"));
    QTest::mouseClick(screen->Button4_1convert, Qt::LeftButton);
    EXPECT_TRUE(messages.empty()) << "the rate it has";
    EXPECT_TRUE(screen->isVisible());

    choose(QStringLiteral("23.976abc"));
    QTest::mouseClick(screen->Button4_1convert, Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{std::string(MsgNewFrameRateInvalid)});
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(Project.FrameRate, 25.0f);
    EXPECT_EQ(readAll(srt_), "as it was on disk\r\n");
    messages.clear();

    choose(QStringLiteral("23.976"));
    EXPECT_EQ(utf8(screen->LabeledEdit5_2->text()), "00:02:05,125");
    EXPECT_EQ(utf8(screen->LabeledEdit5_4->text()), "00:00:02,502");
    EXPECT_EQ(utf8(screen->LabeledEdit5_1->text()), "00:02:00,000");
    QTest::mouseClick(screen->Button4_1convert, Qt::LeftButton);
    pumpEvents(50);
    EXPECT_EQ(messages, std::vector<std::string>{std::string(MsgFrameRateConverted)});
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(Project.NextPage, Page::OpenAfterConversion);
    EXPECT_EQ(Project.FrameRate, 23.976f);
    EXPECT_EQ(readAll(srt_), "1\r\n00:00:01,042 --> 00:00:03,128\r\n你好\r\n\r\n"
                             "2\r\n00:00:04,170 --> 00:00:06,256\r\n世界\r\n\r\n");
}

// "指定" names the output beside the chosen file; "另存为" writes the
// bilingual file with the second texts on top when "置顶" is ticked; a
// missing second file is reported before any dialog; a cancelled save
// dialog writes nothing and says nothing.
TEST_F(FileToolsScreen, TheMergeTakesItsFilesFromTheFieldsAndTheDialogs)
{
    const fs::path second = dir_ / "english.srt";
    writeAll(second, "1\r\n00:00:00,500 --> 00:00:01,000\r\nHello\r\n\r\n2\r\n00:00:09,000 --> 00:00:10,000\r\nWorld\r\n\r\n");
    auto screen = visit();
    screen->Tabs->setCurrentIndex(FileEditTab::Merge);

    typeInto(screen->LabeledEdit2_1, QString::fromStdString((dir_ / "none.srt").string()));
    QTest::mouseClick(screen->Button2_2save, Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{std::string(MsgSecondFileMissing)});
    EXPECT_TRUE(requests.empty());
    messages.clear();

    answers = {QString::fromStdString(second.string())};
    QTest::mouseClick(screen->Button2_1open, Qt::LeftButton);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(requests[0].filter, FileEditText::SubtitleFilter);
    EXPECT_EQ(utf8(screen->LabeledEdit2_1->text()), second.string());
    const fs::path bilingual = dir_ / "english.双语.srt";
    EXPECT_EQ(utf8(screen->LabeledEdit2_2->text()), bilingual.string());

    screen->LabeledEdit2_2->clear();
    QTest::mouseClick(screen->Button2_2save, Qt::LeftButton);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].kind, FileDialogRequest::Kind::Save);
    EXPECT_TRUE(requests[1].confirmOverwrite);
    EXPECT_TRUE(requests[1].confirmCreate);
    EXPECT_TRUE(messages.empty()) << "a cancelled dialog says nothing";
    EXPECT_TRUE(screen->LabeledEdit2_2->text().isEmpty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2) << "nothing was written";

    answers = {QString::fromStdString(bilingual.string())};
    QTest::mouseClick(screen->CheckBoxOnTop, Qt::LeftButton);
    QTest::mouseClick(screen->Button2_2save, Qt::LeftButton);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readAll(bilingual), "1\r\n00:00:01,000 --> 00:00:03,000\r\nHello\r\n你好\r\n\r\n"
                                  "2\r\n00:00:04,000 --> 00:00:06,000\r\nWorld\r\n世界\r\n\r\n");
    EXPECT_EQ(readAll(srt_), "as it was on disk\r\n") << "the merge leaves the timeline alone";
}

TEST_F(FileToolsScreen, TheExportsWriteTheSpareFileRetimedAndAsText)
{
    const fs::path spare = dir_ / "spare.srt";
    writeAll(spare, "1\r\n00:01:00,000 --> 00:01:01,000\r\nHello\r\n\r\n2\r\n00:01:09,000 --> 00:01:10,000\r\nWorld\r\n\r\n");
    auto screen = visit();
    screen->Tabs->setCurrentIndex(FileEditTab::Exports);

    answers = {QString::fromStdString(spare.string())};
    QTest::mouseClick(screen->Button3_1open, Qt::LeftButton);
    EXPECT_EQ(utf8(screen->LabeledEdit3_2->text()), (dir_ / "spare.导出.srt").string());
    EXPECT_EQ(utf8(screen->LabeledEdit3_3->text()), (dir_ / "spare.txt").string());

    // with both outputs emptied the dialogs name them, asking nothing more
    screen->LabeledEdit3_2->clear();
    screen->LabeledEdit3_3->clear();
    const fs::path retimed = dir_ / "retimed.srt";
    const fs::path text = dir_ / "lines.txt";
    answers = {QString::fromStdString(retimed.string()), QString::fromStdString(text.string())};
    QTest::mouseClick(screen->Button3_2saveSrt, Qt::LeftButton);
    QTest::mouseClick(screen->Button3_3saveTxt, Qt::LeftButton);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].filter, FileEditText::SrtFilter);
    EXPECT_EQ(requests[2].filter, FileEditText::TxtFilter);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(requests[i].kind, FileDialogRequest::Kind::Save);
        EXPECT_FALSE(requests[i].confirmOverwrite);
        EXPECT_FALSE(requests[i].confirmCreate);
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readAll(retimed), "1\r\n00:00:01,000 --> 00:00:03,000\r\nHello\r\n\r\n"
                                "2\r\n00:00:04,000 --> 00:00:06,000\r\nWorld\r\n\r\n");
    EXPECT_EQ(readAll(text), "Hello\r\n\r\nWorld\r\n\r\n");
}

// The delivery checks' tab: the second line squeezed to 12 frames and a
// third of 10 frames put in, both too short. The table lists
// them; a click on a row puts the editor's play position on that line;
// "全部修正" fixes them as one step of the editor's history, lists what it
// did, and a rule changed on the tab applies at once and is kept.
TEST_F(FileToolsScreen, TheChecksTabListsFixesAndTakesTheEditorThere)
{
    Project.Timeline[1] = {100, 112, u"世界"};
    Project.Timeline[2] = {200, 210, u"好"};
    Project.TimelineCount = Project.TextCount = 3;
    rebuildWaveMarks(Project.WaveMarks, Project.Timeline, Project.TimelineCount, Project.FrameRate);
    TimelineHistory.reset(timelineStateOf(Project));
    auto screen = visit();
    screen->Tabs->setCurrentIndex(FileEditTab::Checks);
    ASSERT_EQ(screen->TableChecks->rowCount(), 2);
    EXPECT_EQ(utf8(screen->TableChecks->item(0, 0)->text()), "00:00:04,000");
    EXPECT_NE(utf8(screen->TableChecks->item(0, 2)->text()).find("太短"), std::string::npos);

    const QRect cell = screen->TableChecks->visualItemRect(screen->TableChecks->item(1, 1));
    QTest::mouseClick(screen->TableChecks->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Project.PlayPosition, 200);

    QTest::mouseClick(screen->ButtonFixAll, Qt::LeftButton);
    EXPECT_EQ(Project.Timeline[1].EndFrame, 120);
    EXPECT_EQ(Project.Timeline[2].EndFrame, 220);
    EXPECT_EQ(screen->TableChecks->rowCount(), 2) << "the two fixes, and nothing left to list";
    EXPECT_NE(utf8(screen->TableChecks->item(0, 2)->text()).find("已修正"), std::string::npos);
    TimelineState state = timelineStateOf(Project);
    ASSERT_TRUE(TimelineHistory.undo(state));
    EXPECT_EQ(Project.Timeline[1].EndFrame, 112);
    EXPECT_EQ(Project.Timeline[2].EndFrame, 210) << "one step undoes the whole fix";

    screen->RuleFields[3]->setValue(5);  // lines of 5 frames are long enough now
    EXPECT_EQ(Project.Rules.MinFrames, 5);
    EXPECT_EQ(screen->TableChecks->rowCount(), 0);
    screen->close();
    auto again = visit();
    EXPECT_EQ(again->RuleFields[3]->value(), 5.0) << "the rules are remembered";
}
