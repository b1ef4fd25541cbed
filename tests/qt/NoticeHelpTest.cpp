#include "opening/BeginShowUnit.h"
#include "editor/HelpUnit.h"
#include "tests/support/Layout.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

using namespace vt;

namespace {

QStringList memoLines(const QTextEdit& memo)
{
    QStringList lines;
    for (QTextBlock block = memo.document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

template <size_t N>
QStringList asList(const std::array<QStringView, N>& lines)
{
    QStringList list;
    for (QStringView line : lines)
        list.append(line.toString());
    return list;
}

QString ideographicSpaces(int count)
{
    return QString(count, QChar(0x3000));
}

// The owner the open-project screen or the editor would be, with the small
// screen created hidden beside it.
template <class Screen>
struct Beside {
    QDialog owner;
    QPointer<Screen> screen = new Screen(&owner);

    Beside()
    {
        owner.show();
        QApplication::processEvents();
    }

    void show()
    {
        screen->show();
        QApplication::processEvents();
    }
};

// Each way a person dismisses the screen; all of them only hide it.
template <class Screen>
std::vector<std::pair<const char*, std::function<void(Screen&)>>> waysToDismiss()
{
    return {
        {"button click", [](Screen& s) { QTest::mouseClick(s.Button1, Qt::LeftButton); }},
        {"Enter on the button", [](Screen& s) { QTest::keyClick(s.Button1, Qt::Key_Return); }},
        {"Enter while reading the memo", [](Screen& s) { QTest::keyClick(s.Memo1, Qt::Key_Return); }},
        {"Esc while reading the memo", [](Screen& s) { QTest::keyClick(s.Memo1, Qt::Key_Escape); }},
        {"frame's close box", [](Screen& s) { s.close(); }},
    };
}

template <class Screen>
void expectEveryWayOfDismissingHidesAndItShowsAgain()
{
    for (const auto& [how, dismiss] : waysToDismiss<Screen>()) {
        SCOPED_TRACE(how);
        Beside<Screen> beside;
        beside.show();
        ASSERT_TRUE(beside.screen->isVisible());

        dismiss(*beside.screen);
        QApplication::processEvents();
        ASSERT_TRUE(beside.screen) << "dismissing destroyed the screen";
        EXPECT_FALSE(beside.screen->isVisible());
        beside.show();
        EXPECT_TRUE(beside.screen->isVisible());
    }
}

template <class Screen, size_t N>
void expectShownAgainWithTheTextOnceFromTheTop(const std::array<QStringView, N>& lines)
{
    Beside<Screen> beside;
    beside.show();
    EXPECT_EQ(beside.screen->focusWidget(), beside.screen->Button1);
    beside.screen->hide();
    beside.show();
    EXPECT_EQ(memoLines(*beside.screen->Memo1), asList(lines));

    // stale text, a scrolled view and the focus the user put in the text are
    // all set back on the next show
    beside.screen->Memo1->append(QStringLiteral("left over"));
    beside.screen->Memo1->setFocus();
    QScrollBar* bar = beside.screen->Memo1->verticalScrollBar();
    bar->setValue(bar->maximum());
    beside.screen->close();
    beside.show();
    EXPECT_EQ(memoLines(*beside.screen->Memo1), asList(lines));
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(beside.screen->focusWidget(), beside.screen->Button1);
}

// Shown beside its owner without blocking it, at its fixed size, with its
// controls inside the window from the heading down to the button.
template <class Screen>
void expectShownBesideItsOwner(QStringView caption, QSize clientSize)
{
    Beside<Screen> beside;
    beside.show();  // returns at once: no event loop of its own
    const Screen& s = *beside.screen;
    EXPECT_TRUE(s.isVisible());
    EXPECT_TRUE(s.isWindow());
    EXPECT_FALSE(s.isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(beside.owner.isEnabled());
    EXPECT_EQ(s.windowTitle(), caption);
    EXPECT_EQ(s.size(), clientSize);
    EXPECT_EQ(s.minimumSize(), s.maximumSize()) << "the user could resize it";

    const QRect client = s.rect();
    for (const QWidget* control : {static_cast<const QWidget*>(s.Label1), static_cast<const QWidget*>(s.Memo1),
                                   static_cast<const QWidget*>(s.Button1)}) {
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_TRUE(client.contains(control->geometry())) << "control sticks out of the window";
    }
    // the heading is not covered by the memo, the button sits below it
    EXPECT_LE(s.Label1->geometry().bottom(), s.Memo1->geometry().top());
    EXPECT_GT(s.Button1->geometry().top(), s.Memo1->geometry().bottom());
    EXPECT_LE(s.Label1->sizeHint().width(), s.Label1->width()) << "heading cut off";
    EXPECT_EQ(testsupport::layoutFaults(*beside.screen), std::vector<std::string>{});
}

}  // namespace

// ---------------------------------------------------------------- notice

TEST(Notice, ShownBesideItsOwnerWithoutBlockingIt)
{
    expectShownBesideItsOwner<TProset>(NoticeCaption, QSize(438, 393));
}

TEST(Notice, MemoHoldsTheThirteenLinesInOrder)
{
    Beside<TProset> beside;
    beside.show();
    const QStringList lines = memoLines(*beside.screen->Memo1);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines, asList(NoticeLines));
    EXPECT_EQ(lines.first(), QString());
    EXPECT_EQ(lines[5], QStringLiteral("　　三、特色是操作简洁方便、可视化程序高、功能较全、独创无按键播放控制。"));
    EXPECT_EQ(lines.last(), QStringLiteral("　　　　　　　　　　2011.02.23～2011.04"));
    EXPECT_TRUE(beside.screen->Memo1->isReadOnly());
    EXPECT_EQ(beside.screen->Label1->text(), NoticeHeading);
    EXPECT_EQ(beside.screen->Button1->text(), NoticeButtonCaption);
}

TEST(Notice, FiveNumberedPointsBetweenBlankLinesThenTheSignature)
{
    const QStringList numerals = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                                  QStringLiteral("四"), QStringLiteral("五")};
    for (int point = 0; point < 5; ++point) {
        SCOPED_TRACE(point + 1);
        EXPECT_TRUE(NoticeLines[2 * point].isEmpty());
        const QStringView line = NoticeLines[2 * point + 1];
        EXPECT_TRUE(line.startsWith(ideographicSpaces(2) + numerals[point] + QStringLiteral("、"))) << line.toString().toStdString();
        EXPECT_GT(line.size(), 6);
    }
    // the fifth point says where feedback goes
    EXPECT_TRUE(NoticeLines[9].contains(u"Issues"));
    EXPECT_TRUE(NoticeLines[9].contains(u"意见"));
    EXPECT_TRUE(NoticeLines[10].isEmpty());

    // the signature starts fourteen wide blanks in, four further than the dates below it
    const QStringView signature = NoticeLines[11];
    ASSERT_GT(signature.size(), 14);
    EXPECT_EQ(signature.left(14), ideographicSpaces(14));
    EXPECT_NE(signature[14], QChar(0x3000));
    EXPECT_FALSE(signature[14].isSpace());
}

// At the design size the memo shows every line, the signature and its dates
// included, with nothing to scroll: the CJK face's own line spacing pushed
// the last lines out of view.
TEST(Notice, MemoShowsEveryLineWithoutAScrollBar)
{
    Beside<TProset> beside;
    beside.show();
    const QTextEdit& memo = *beside.screen->Memo1;
    EXPECT_EQ(memo.verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(memo.verticalScrollBar()->isVisible());
    const QTextBlock last = memo.document()->lastBlock();
    ASSERT_EQ(last.text(), NoticeLines.back().toString());
    const QRectF lastLine = memo.document()->documentLayout()->blockBoundingRect(last);
    EXPECT_LE(lastLine.bottom(), memo.viewport()->height()) << "the dates are cut off";
    // the first point is one line, as on the design's screen
    EXPECT_EQ(memo.document()->findBlockByNumber(1).layout()->lineCount(), 1);
}

// Shown from a screen that runs modally (the page loop's screens all do), it
// still takes the user's clicks and keys.
TEST(NoticeAndHelp, UsableBesideAModalOwner)
{
    struct BlockWatch : QObject {
        bool blocked = false;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::WindowBlocked)
                blocked = true;
            if (e->type() == QEvent::WindowUnblocked)
                blocked = false;
            return false;
        }
    };
    QDialog owner;
    owner.setWindowModality(Qt::ApplicationModal);
    owner.show();
    QApplication::processEvents();
    for (TextScreen* screen : std::initializer_list<TextScreen*>{new TProset(&owner), new THelp(&owner)}) {
        SCOPED_TRACE(screen->windowTitle().toStdString());
        BlockWatch watch;
        screen->installEventFilter(&watch);
        screen->show();
        QApplication::processEvents();
        EXPECT_FALSE(watch.blocked) << "the owner's modal loop takes its input away";
        EXPECT_EQ(screen->windowType(), Qt::Window) << "no task-bar entry of its own";
        screen->removeEventFilter(&watch);
    }
}

TEST(Notice, EnterEscButtonAndCloseBoxOnlyHideIt)
{
    expectEveryWayOfDismissingHidesAndItShowsAgain<TProset>();
}

TEST(Notice, ShownAgainRefillsFromTheTopWithFocusOnTheButton)
{
    expectShownAgainWithTheTextOnceFromTheTop<TProset>(NoticeLines);
}

TEST(Notice, StaysOnTopInTheMiddleOfTheDesktop)
{
    Beside<TProset> beside;
    beside.show();
    EXPECT_TRUE(beside.screen->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // equal margins on either side, give or take the pixel lost halving an odd width
    const QRect desktop = beside.screen->screen()->availableGeometry();
    const QRect frame = beside.screen->frameGeometry();
    ASSERT_TRUE(desktop.contains(frame));
    EXPECT_NEAR(frame.left() - desktop.left(), desktop.right() - frame.right(), 2);
    EXPECT_NEAR(frame.top() - desktop.top(), desktop.bottom() - frame.bottom(), 2);

    // moved aside to keep working, it comes back where the user put it
    beside.screen->move(10, 20);
    beside.screen->close();
    beside.show();
    EXPECT_EQ(beside.screen->frameGeometry().topLeft(), QPoint(10, 20));
}

// ---------------------------------------------------------------- help

TEST(Help, ShownBesideItsOwnerWithoutBlockingIt)
{
    expectShownBesideItsOwner<THelp>(HelpCaption, QSize(440, 432));
}

TEST(Help, MemoHoldsItsLinesInOrder)
{
    Beside<THelp> beside;
    beside.show();
    const QStringList lines = memoLines(*beside.screen->Memo1);
    // the 54 lines of the first two parts, then the speech keys and the cut keys
    ASSERT_EQ(lines.size(), 68);
    EXPECT_EQ(lines, asList(HelpLines));
    EXPECT_EQ(lines.first(), QString());
    EXPECT_EQ(lines[1], QStringLiteral("一、功能键："));
    EXPECT_EQ(lines[26], QStringLiteral("二、调校操作方法"));
    // one wide blank, then two narrow ones
    EXPECT_EQ(lines[48], QStringLiteral("　  双击字幕修改文本，回车确定。"));
    EXPECT_EQ(lines[52], QStringLiteral("　　总之，左手按键d、e缩放，s、f平移，w、r跳转到前后行，v、x增删，"
                                        "右手鼠标机动和微调，键位和功能的设置是非常全面、合理、舒服的，不打算改了。"));
    EXPECT_EQ(lines.last(), QString());
    EXPECT_TRUE(beside.screen->Memo1->isReadOnly());
    EXPECT_EQ(beside.screen->Label1->text(), HelpHeading);
    EXPECT_EQ(beside.screen->Button1->text(), HelpButtonCaption);
}

TEST(Help, EnterEscButtonAndCloseBoxOnlyHideIt)
{
    expectEveryWayOfDismissingHidesAndItShowsAgain<THelp>();
}

TEST(Help, ShownAgainRefillsFromTheTopWithFocusOnTheButton)
{
    expectShownAgainWithTheTextOnceFromTheTop<THelp>(HelpLines);
}

TEST(Help, LongTextScrollsWithAScrollBarAlwaysThere)
{
    Beside<THelp> beside;
    beside.show();
    QScrollBar* bar = beside.screen->Memo1->verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_GT(bar->maximum(), 0) << "the help text should be longer than its memo";

    // nothing is cut at the side: the text wraps instead
    EXPECT_FALSE(beside.screen->Memo1->horizontalScrollBar()->isVisible());
}

TEST(Help, OpensAtTheTopLeftCornerOfTheDesktop)
{
    Beside<THelp> beside;
    beside.show();
    EXPECT_EQ(beside.screen->frameGeometry().topLeft(), QPoint(0, 0));
    EXPECT_FALSE(beside.screen->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // where the user moved it is where it comes back
    beside.screen->move(120, 80);
    beside.screen->hide();
    beside.show();
    EXPECT_EQ(beside.screen->frameGeometry().topLeft(), QPoint(120, 80));
}

// The owner reaches its screen through these; a destroyed screen leaves them empty.
TEST(NoticeAndHelp, GlobalsNameTheNewestInstanceAndNeverDangle)
{
    QDialog owner;
    auto* firstNotice = new TProset(&owner);
    auto* secondNotice = new TProset(&owner);
    auto* firstHelp = new THelp(&owner);
    auto* secondHelp = new THelp(&owner);
    EXPECT_EQ(Proset, secondNotice);
    EXPECT_EQ(Help, secondHelp);
    delete firstNotice;
    delete firstHelp;
    EXPECT_EQ(Proset, secondNotice);
    EXPECT_EQ(Help, secondHelp);
    delete secondNotice;
    delete secondHelp;
    EXPECT_EQ(Proset, nullptr);
    EXPECT_EQ(Help, nullptr);
}

// Writes docs/notice.png and docs/help.png for the README when
// VT_SCREENSHOT_DIR names a folder.
TEST(NoticeAndHelp, ScreenshotsWhenAsked)
{
    const QString folder = qEnvironmentVariable("VT_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "VT_SCREENSHOT_DIR not set";
    ASSERT_TRUE(QDir().mkpath(folder));

    Beside<TProset> notice;
    notice.show();
    EXPECT_TRUE(notice.screen->grab().save(QDir(folder).filePath(QStringLiteral("notice.png"))));
    Beside<THelp> help;
    help.show();
    EXPECT_TRUE(help.screen->grab().save(QDir(folder).filePath(QStringLiteral("help.png"))));
}
