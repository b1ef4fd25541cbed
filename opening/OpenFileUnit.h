// The open-project screen: the user names the project's files, the video is
// measured, and the loader builds the project for the editor.
#pragma once

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QComboBox;
class QProgressBar;
class QCheckBox;
class QRadioButton;

namespace vt {

class MediaPlayer;
class TProset;

// The screen's texts, shown exactly as written.
namespace OpenFileText {
inline const QString Caption = QStringLiteral("Veltrana时间轴");
inline const QString Heading = QStringLiteral("指定文件：");
inline const QString VideoLabel = QStringLiteral("视频文件 *.avi：");
inline const QString Pick = QStringLiteral("指定");  // the three pick buttons and the video dialog's title
inline const QString FrameRateUnknown = QStringLiteral("  FPS");
inline const QStringList FrameRateChoices = {QStringLiteral("23.976"), QStringLiteral("24"), QStringLiteral("25"),
                                             QStringLiteral("29.970"), QStringLiteral("30")};
inline const QString SummaryLabel = QStringLiteral("生成略图：");
inline const QString WavLabel = QStringLiteral("音波文件 *.wav：");
inline const QString TextsInSrt = QStringLiteral("含字幕 或者 不指定字幕");
inline const QString TextsInSrtTip = QStringLiteral("SRT不能保存无时间码的字幕");
inline const QString OpenTimeline = QStringLiteral("打开");
inline const QString SrtLabel = QStringLiteral("时间轴＆字幕文件 *.srt：");
inline const QString NewTimeline = QStringLiteral("新建");
inline const QString OneLinePerSubtitle = QStringLiteral("一行一幕");
inline const QString BlankLineBetween = QStringLiteral("空行分幕");
inline const QString TxtLabel = QStringLiteral("字幕文本 *.txt：");
inline const QString ShowNotice = QStringLiteral("初次使用请看");
inline const QString Next = QStringLiteral(" 下一步 >");
inline const QString FormatNotSupported = QStringLiteral("汗，格式不支持。");
inline const QString SrtLabelWithTexts = QStringLiteral("时间轴＆字幕文件（*.srt）：");
inline const QString SrtLabelTimesOnly = QStringLiteral("时间轴文件（*.srt）：");
inline const QString VideoFilter = QStringLiteral(
    "视频文件|*.avi;*.wmv|支持的文件|*.avi;*.wmv;*.mov;*.mpeg;*.mpg;*.m1v;*.m2v;*.mod;*.mpe;*.ifo;*.vob;*.asf;*.wm;"
    "*.wmv;*.wmd;*.m2ts;*.m2t;*.mts;*.ts;*.tts;*.mp4;*.m4v;*.mp4v;*.3gp;*.3gpp;*.3g2;*.3gp2;*.dvr-ms;*.wtv");
inline const QString WavFilter = QStringLiteral("波形文件 *.wav|*.wav|波形缩略文件 *.ws|*.ws");
inline const QString SrtFilter = QStringLiteral("字幕文件 *.srt|*.srt");
// The timeline's dialogs: SRT first, as designed, then the formats read beside it.
inline const QString TimelineFilter = SrtFilter + QStringLiteral("|ASS/SSA 字幕 *.ass *.ssa|*.ass;*.ssa|WebVTT 字幕 *.vtt|*.vtt");
inline const QString TxtFilter = QStringLiteral("纯文本文件|*.txt");
}  // namespace OpenFileText

// The rate box's text for a measured rate: the six characters the file tools
// show too (25 -> "25.000", 23.976 -> "23.976"); a rate of 0, from a film
// whose length in frames reads as 0, shows as "0.0001".
QString frameRateBoxText(float frameRate);

class TfileOpen : public QDialog {
public:
    // player measures the videos the user picks; the main window owns it.
    TfileOpen(QWidget* owner, MediaPlayer& player);
    ~TfileOpen() override;

    // The controls keep their design names.
    QLabel* Label1;  // the heading "指定文件："
    QLineEdit* LabeledEdit1;  // the video file
    QLabel* LabeledEdit1Label;
    QPushButton* Button1;  // "指定" the video; fills the WAV and SRT boxes and the rate
    QComboBox* ComboBox1;  // the frame rate measured or chosen
    QLabel* Label4;  // the rate box's caption
    QProgressBar* ProgressBar1;
    QLineEdit* LabeledEdit2;  // the WAV (or .ws) file
    QLabel* LabeledEdit2Label;
    QPushButton* Button2;  // "指定" the WAV
    QCheckBox* CheckBox1;  // "含字幕 或者 不指定字幕": texts in the SRT (ticked) or from the text file
    QPushButton* Button4;  // "打开" an existing SRT timeline
    QLineEdit* LabeledEdit3;  // the SRT timeline file
    QLabel* LabeledEdit3Label;
    QPushButton* ButtonNew;  // "新建": a new, empty timeline file
    QRadioButton* RadioButton1;  // "一行一幕": one text per line of the text file
    QRadioButton* RadioButton2;  // "空行分幕": texts separated by blank lines
    QLineEdit* LabeledEdit4;  // the subtitle text file (TXT)
    QLabel* LabeledEdit4Label;
    QPushButton* Button5;  // "指定" the text file
    QPushButton* Button3;  // "初次使用请看": the notice
    QPushButton* ButtonNext;  // " 下一步 >": loads the project and shows the editor

    void Button1Click();
    // What "指定" does with the video the user chose, also for the one named
    // on the command line: fills in the video, finds its companions and
    // measures its frame rate.
    void chooseVideo(const QString& video);
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void ButtonNewClick();
    void ButtonNextClick();
    void CheckBox1Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void LabeledEdit1Exit();
    void LabeledEdit2Exit();
    void LabeledEdit3Exit();
    void LabeledEdit4Exit();

protected:
    void done(int result) override;

private:
    void FormCreate();
    void FormClose();
    void offerRecovery();
    QLineEdit* labeledEdit(const QString& label, int left, int top, int width, int height, QLabel*& labelOut);
    QPushButton* button(const QString& caption, int left, int top, int width, int height);

    // The video "指定" measured last, so that the load does not measure it again.
    struct MeasuredVideo {
        std::string fileName;
        int32_t lengthFrames = 0;
    };

    MediaPlayer& player_;
    std::optional<MeasuredVideo> measured_;
    bool loading_ = false;
};

}  // namespace vt
