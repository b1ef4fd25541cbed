#include "opening/Loader.h"
#include "opening/OpenFileUnit.h"
#include "platform/BesideEventLoop.h"
#include "platform/Dialogs.h"
#include "platform/Look.h"
#include "platform/Messages.h"
#include "platform/Timer.h"

#include "tests/support/Events.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QGlyphRun>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRawFont>
#include <QSpontaneKeyEvent>
#include <QStringList>
#include <QTest>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace vt;
using vt::testsupport::pumpEvents;

TEST(Timer, SettingTheSameIntervalKeepsTheCountdown)
{
    Timer timer(1000);
    timer.setEnabled(true);
    pumpEvents(150);
    timer.setInterval(1000);
    // a restarted countdown would be back near 1000 ms
    EXPECT_LE(timer.remainingTime(), 900);
    EXPECT_EQ(timer.interval(), 1000);
}

TEST(Timer, ANewIntervalRestartsTheCountdown)
{
    Timer timer(1000);
    timer.setEnabled(true);
    pumpEvents(150);
    timer.setInterval(2000);
    EXPECT_GT(timer.remainingTime(), 1900);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_EQ(timer.remainingTime(), -1);
}

TEST(Timer, TicksCallTheHandler)
{
    Timer timer(10);
    int ticks = 0;
    timer.onTimer = [&] { ++ticks; };
    timer.setEnabled(true);
    pumpEvents(200);
    EXPECT_GT(ticks, 3);
}

TEST(Fonts, TheThreeChineseNamesAreThreeDistinctFonts)
{
    QString song = QFontInfo(programFont(QStringLiteral("宋体"), 16)).family();
    QString hei = QFontInfo(programFont(QStringLiteral("黑体"), 16)).family();
    QString kai = QFontInfo(programFont(QStringLiteral("楷体"), 16)).family();
    EXPECT_EQ(song.toStdString(), "Noto Serif CJK SC");
    EXPECT_EQ(hei.toStdString(), "Noto Sans CJK SC");
    EXPECT_EQ(kai.toStdString(), "AR PL UKai CN");
}

TEST(Dialogs, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(qtNameFilters(QStringLiteral("视频文件|*.avi;*.wmv|支持的文件|*.avi;*.mp4")).toStdString(),
              "视频文件 (*.avi *.wmv);;支持的文件 (*.avi *.mp4)");
    EXPECT_EQ(qtNameFilters(QStringLiteral("波形文件 *.wav|*.wav|波形缩略文件 *.ws|*.ws")).toStdString(),
              "波形文件 *.wav (*.wav);;波形缩略文件 *.ws (*.ws)");
    EXPECT_EQ(qtNameFilters(QStringLiteral("纯文本文件|*.txt")).toStdString(), "纯文本文件 (*.txt)");
}

// The real dialog as the user meets it: in the folder of the file chosen
// last, its list of filters reading as the program writes them, and a film
// whose name is in capitals shown with the others.
TEST(Dialogs, TheDialogTheUserSees)
{
    const QString folder = QDir::temp().filePath(QStringLiteral("veltrana-test-dialog-%1").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"FILM.AVI", "clip.wmv", "notes.txt"})
        QFile(QDir(folder).filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    noteChosenFile(QDir(folder).filePath(QStringLiteral("notes.txt")));

    const QString filter = OpenFileText::VideoFilter;
    QStringList descriptions;  // every other part of "描述|*.ext|描述|*.ext"
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i < parts.size(); i += 2)
        descriptions << parts[i];

    QString shownFolder;
    QStringList shownFilters;
    QStringList listed;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shownFolder = dialog->directory().absolutePath();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        shownFilters.clear();
        for (int i = 0; types && i < types->count(); ++i)
            shownFilters << types->itemText(i);
        // the list fills from a thread of its own
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        listed.clear();
        for (int row = 0; list && row < list->model()->rowCount(list->rootIndex()); ++row)
            listed << list->model()->index(row, 0, list->rootIndex()).data().toString();
        if (listed.size() >= 2 || waited.elapsed() > 5000) {
            poll.stop();
            dialog->reject();
        }
    });
    poll.start(20);
    EXPECT_EQ(runFileDialog(nullptr, {FileDialogRequest::Kind::Open, OpenFileText::Pick, filter, {}}), std::nullopt);
    EXPECT_EQ(shownFolder.toStdString(), QDir(folder).absolutePath().toStdString());
    EXPECT_EQ(shownFilters.join(QLatin1Char('|')).toStdString(), descriptions.join(QLatin1Char('|')).toStdString());
    listed.sort();
    EXPECT_EQ(listed.join(QLatin1Char(' ')).toStdString(), "FILM.AVI clip.wmv");
    QDir(folder).removeRecursively();
}

// Left to fontconfig, a C locale drew Chinese in message boxes and file
// dialogs in the brush face 楷体.
TEST(Fonts, ChineseInQtsOwnWindowsIsDrawnInTheSimplifiedChineseFace)
{
    QMessageBox box;
    QTextLayout layout(QString::fromStdString(std::string(MsgVideoMissing)), box.font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    ASSERT_FALSE(runs.isEmpty());
    for (const QGlyphRun& run : runs)
        EXPECT_EQ(run.rawFont().familyName().toLower().toStdString(), "noto sans cjk sc");
}

TEST(Dialogs, AnAnswererStandsInForThePerson)
{
    FileDialogRequest seen;
    setDialogAnswerer([&](const FileDialogRequest& r) -> std::optional<QString> {
        seen = r;
        return QStringLiteral("/tmp/film.avi");
    });
    auto chosen = runFileDialog(nullptr, {FileDialogRequest::Kind::Open, QStringLiteral("指定"), QStringLiteral("视频文件|*.avi"), {}});
    setDialogAnswerer(nullptr);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->toStdString(), "/tmp/film.avi");
    EXPECT_EQ(seen.title.toStdString(), "指定");
}

TEST(Messages, ASinkTakesTheExactText)
{
    const std::string message = "视频文件不存在，请检查。";
    const std::string failure = "磁盘已满";
    QStringList got;
    setMessageSink([&](const QString& t) { got << t; });
    showMessage(nullptr, message);
    showError(nullptr, UserError(failure));
    setMessageSink(nullptr);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].toStdString(), message);
    EXPECT_EQ(got[1].toStdString(), failure);
}

TEST(Translations, MessageBoxButtonsSpeakChinese)
{
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "取消");
}

namespace {

// Waits, on whatever thread, until done() holds; false after five seconds.
bool within5s(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 5000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class PaintCounter : public QWidget {
public:
    std::atomic<int> paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// What a person does to a window: each returns whether it got through.
std::vector<std::pair<const char*, std::function<bool(QPushButton&)>>> personsInput()
{
    auto clicks = [](QPushButton& button, const std::function<void()>& act) {
        int clicked = 0;
        QObject::connect(&button, &QPushButton::clicked, [&clicked] { ++clicked; });
        act();
        QObject::disconnect(&button, &QPushButton::clicked, nullptr, nullptr);
        return clicked > 0;
    };
    return {
        {"mouse click", [clicks](QPushButton& b) { return clicks(b, [&] { QTest::mouseClick(&b, Qt::LeftButton); }); }},
        {"space bar", [clicks](QPushButton& b) { return clicks(b, [&] { QTest::keyClick(&b, Qt::Key_Space); }); }},
        {"close box",
         [](QPushButton& b) {
             QCloseEvent close;
             QSpontaneKeyEvent::setSpontaneous(&close);
             QApplication::instance()->notify(b.windowHandle(), &close);
             return !b.isVisible();
         }},
    };
}

}  // namespace

TEST(BesideEventLoop, WorkRunsOnAThreadOfItsOwnWhileWindowsPaint)
{
    PaintCounter window;
    window.resize(100, 100);
    window.show();
    pumpEvents(50);

    std::thread::id workThread;
    bool repainted = false;
    int posted = 0;
    runBesideEventLoop([&] {
        workThread = std::this_thread::get_id();
        const int before = window.paints;
        runOnGuiThread([&] { window.update(); });
        repainted = within5s([&] { return window.paints > before; });
        for (int i = 0; i < 100; ++i)
            postToGuiThread(&window, [&posted] { ++posted; });
    });
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_TRUE(repainted) << "the window did not repaint while the work ran";
    // every call the work posted has arrived when it returns
    EXPECT_EQ(posted, 100);
}

TEST(BesideEventLoop, NoInputReachesAWindowUntilTheWorkHasEnded)
{
    for (const auto& [how, act] : personsInput()) {
        SCOPED_TRACE(how);
        QPushButton button(QStringLiteral("x"));
        button.show();
        pumpEvents(20);
        button.setFocus();

        bool gotThrough = true;
        runBesideEventLoop([&, act = act] { runOnGuiThread([&] { gotThrough = act(button); }); });
        EXPECT_FALSE(gotThrough) << "input reached the window during the work";
        EXPECT_TRUE(act(button)) << "input stays blocked after the work";
    }
}

TEST(BesideEventLoop, FailuresComeBackToTheCallerWithTheirType)
{
    // thrown by the work itself
    EXPECT_THROW(runBesideEventLoop([] { throw std::invalid_argument("stoi"); }), std::invalid_argument);

    // thrown on the GUI thread: the work sees it first, and may let it go on
    Qt::HANDLE threadOfCall = nullptr;
    bool workSawIt = false;
    EXPECT_THROW(runBesideEventLoop([&] {
                     try {
                         runOnGuiThread([&] {
                             threadOfCall = QThread::currentThreadId();
                             throw UserError("磁盘已满");
                         });
                     } catch (const UserError&) {
                         workSawIt = true;
                         throw;
                     }
                 }),
                 UserError);
    EXPECT_TRUE(workSawIt);
    EXPECT_EQ(threadOfCall, QThread::currentThreadId());

    // and the input is back afterwards
    QPushButton button(QStringLiteral("x"));
    button.show();
    pumpEvents(20);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}
