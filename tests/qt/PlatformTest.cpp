#include "platform/Dialogs.h"
#include "platform/Look.h"
#include "platform/Messages.h"
#include "platform/Timer.h"

#include "tests/support/Events.h"

#include <QApplication>
#include <QFontInfo>
#include <QStringList>
#include <gtest/gtest.h>

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
    QStringList got;
    setMessageSink([&](const QString& t) { got << t; });
    showMessage(nullptr, std::string("视频文件不存在，请检查。"));
    showError(nullptr, std::runtime_error("磁盘已满"));
    setMessageSink(nullptr);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].toStdString(), "视频文件不存在，请检查。");
    EXPECT_EQ(got[1].toStdString(), "磁盘已满");
}

TEST(Translations, MessageBoxButtonsSpeakChinese)
{
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(), "取消");
}
