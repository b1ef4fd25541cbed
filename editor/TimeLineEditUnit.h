// The timeline editor window: the film plays in its upper part under the
// pointer's control; below it the progress bar, the time row, the subtitle
// label, the waveform strip with the step size and the waveform scale beside
// it, and the bottom row of buttons and check boxes.
#pragma once

#include "editor/Commands.h"
#include "editor/EditOps.h"
#include "editor/EditorSession.h"
#include "editor/EditorEffect.h"
#include "editor/EditorState.h"
#include "editor/SpeechTiming.h"
#include "core/UndoHistory.h"
#include "editor/WaveView.h"

#include <QDialog>
#include <QFont>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QTimer;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;

namespace vt {

class KeyPreview;
class MediaPlayer;
class THelp;
class Timer;
class TrackBar;
class WaveStrip;
class FilmSoundSummary;
class SpeechBand;
class ShotSearch;
class SpeechSearch;
class SummaryProgressBar;

// The window's texts, shown exactly as written.
namespace EditorText {
// followed by the timeline file's name
inline const QString CaptionPrefix = QStringLiteral("Veltrana时间轴  ");
inline const QString TimeZero = QStringLiteral("00:00:00.000");
inline const QString TimeIn = QStringLiteral("开头");
inline const QString Arrow = QStringLiteral("-->");
inline const QString TimeOut = QStringLiteral("结束");
inline const QString Subtitle = QStringLiteral("==  字幕  ==");
inline const QString SubtitleHint = QStringLiteral("双击可编辑文本");
// kept with the strip but never shown: the strip follows the window, which shows no hints
inline const QString WaveHint = QStringLiteral("左右键取码,asfg平移,ed滚轮缩放,");
inline const QString StepSize = QStringLiteral("步长");
inline const QString StepSizeHint = QStringLiteral("调校操作的效用大小");
inline const QString ScaleHint = QStringLiteral("波形显示比例");
inline const QString SpeedHint = QStringLiteral("播放速度表示");
inline const QString EditStyle = QStringLiteral("增/删:");
inline const QString Times = QStringLiteral("时间轴");
inline const QString Texts = QStringLiteral("字幕");
// the check box left of the time row: lines snap to the film's cuts (key B)
inline const QString SnapToCuts = QStringLiteral("吸附镜头");
inline const QString SnapToCutsHint = QStringLiteral("插入、移动、拉伸的字幕对齐镜头切换（B 键）");
inline const QString ReadingHint = QStringLiteral("当前行的阅读速度（每秒几个字，半角字符和标点算半个）；红色是不合交付规则，规则在文件工具的“交付检查”里设");
inline const QString Help = QStringLiteral("使用说明");
inline const QString Save = QStringLiteral("保存");
inline const QString Back = QStringLiteral("< 上一步  ");
inline const QString Next = QStringLiteral("  下一步 >");
// Shown for a few seconds at the right end of the time row after a save,
// followed by the time: "已保存 15:32:10".
inline const QString Saved = QStringLiteral("已保存 ");
inline constexpr int SavedShownMs = 4000;
// The step-size items are the captions of stepSizeItems() (Commands.h).
}  // namespace EditorText

// The window's client size as designed, and the first refresh interval of
// the two timers.
inline constexpr int EditorClientWidth = 684;
inline constexpr int EditorClientHeight = 562;
inline constexpr int EditorTimerMs = 40;

// The subtitle label's font in one of its two styles (WaveView.h), in pixels
// at the 96 dots per inch the window is designed at.
QFont labeltxtFont(const LabelFont& style);

class TplayAndEdit : public QDialog {
public:
    explicit TplayAndEdit(QWidget* owner);
    ~TplayAndEdit() override;

    // The controls keep their design names.
    MediaPlayer& MediaPlayer1();
    TrackBar* TrackBar1;       // speed gauge, never enabled
    QScrollBar* ScrollBar1;    // progress bar
    QLabel* LabelTime;  // the play position
    QLabel* LabelTimeIn;  // the current line's in-point
    QLabel* LabelArrow;
    QLabel* LabelTimeOut;  // the current line's out-point
    QLabel* LabelSaved;  // the sign that a save went through, in the time row's free right end
    QLabel* LabelReading;  // the current line's reading speed and what rule it breaks, after the out-point
    QLabel* Labeltxt;  // the current line's text; a double click edits it in Edit1
    QLineEdit* Edit1;  // the text being typed, over Labeltxt
    WaveStrip* PaintBoxWav;  // the waveform strip with the lines as spans
    SummaryProgressBar* PaintBoxWavProgress;  // the film's own sound being summarised
    SpeechBand* PaintBoxWavSpeech;            // where speech is heard under the strip
    QGroupBox* RadioGroup1;  // "步长": the step size of the keys and the wheel
    std::array<QRadioButton*, 4> RadioGroup1Items;  // "微", "小", "中", "大"
    QSlider* TrackBar2;        // waveform scale, -10 (top) .. 10
    QLabel* LabelEditStyle;
    QCheckBox* CheckBoxTime;
    QCheckBox* CheckBoxText;
    QCheckBox* CheckBoxCuts;  // lines snap to the film's cuts
    QPushButton* ButtonHelp;
    QPushButton* ButtonSave;
    QPushButton* ButtonBack;
    QPushButton* ButtonNext;
    Timer* TimerForPlay;
    Timer* TimerForWav;

    // The selected step-size item, -1 when none is.
    int RadioGroup1ItemIndex() const;
    void setRadioGroup1ItemIndex(int index);

    // The editor's globals, for as long as the window is open.
    int32_t PlaySpeed = 0;
    int32_t PulsePhase = 0;

    // Handlers, named after control and event.
    void TimerForPlayTimer();
    void TimerForWavTimer();
    void FormMouseMove(int x, int y);
    void FormMouseDown(MouseButton button, int y);
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    void FormKeyDown(int32_t virtualKey);
    // A key held with Ctrl: true when it took a change back or did one again.
    bool HistoryKeyDown(int32_t virtualKey, bool shift);
    void PaintBoxWavMouseEnter();
    void PaintBoxWavMouseMove(int x);
    void PaintBoxWavMouseDown(MouseButton button);
    void LabeltxtMouseMove();
    void LabeltxtDblClick();
    void Edit1KeyPress(int key);
    // What Enter does in the text field, when it is open: the typed text
    // goes into the line. The program ending on a signal keeps it so.
    void commitTypedText();
    void ScrollBar1Scroll();
    void CheckBoxTimeClick();
    void CheckBoxTextClick();
    void ButtonHelpClick();
    void ButtonSaveClick();
    void ButtonBackClick();
    void ButtonNextClick();

    // Writes the timeline to the project's timeline file, asking and telling
    // through this window (saveDialogue); throws FileError when it cannot.
    void proSaveSrt();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void createControls();
    void createPlaybackBars();
    void createTimeAndSubtitleRows();
    void createWaveRow();
    void createBottomRow();
    void connectHandlers();
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormResize();
    bool FormClose();

    void startPlayer();
    void startFilmSound();
    void takeFilmSound();
    void stopFilmSound();
    void startSpeechSearch();
    void takeSpeech();
    void startShotSearch();
    void takeShots();
    void followPlayRound();
    void layOutPicture(int clientWidth, int pictureHeight);
    void rememberSettings();
    void resumeAfterFailedClose();

    // The one place an EditorEffect is carried out, in its documented order.
    void apply(const EditorEffect& effect);
    void runPlayer(const PlayerCommand& command);
    void runEditCommand(const EditCommand& command);
    void applyReveal(const ControlReveal& reveal);
    void setWavInterval(int ms);
    QWidget* revealedControl(RevealedControl control) const;
    void showPicture(const WavePicture& picture);
    void showLabelStyle(const LabelFont& style);
    void showColumns(EditColumns columns);
    bool saveTimeline();
    // The title's "*" while the timeline differs from its file.
    void showUnsaved();

    EditColumns columns() const;
    int32_t playerPosition() const;

    std::unique_ptr<MediaPlayer> player_;
    // the film's own sound, summarised while the window is open
    std::unique_ptr<FilmSoundSummary> filmSound_;
    // the speech in the sound, looked for while the window is open
    std::unique_ptr<SpeechSearch> speech_;
    // the film's cuts, looked for while the window is open
    std::unique_ptr<ShotSearch> shots_;
    THelp* help_ = nullptr;
    KeyPreview* keyPreview_ = nullptr;
    // the timeline being edited, the current line and the view, without a window
    std::unique_ptr<EditorSession> session_;
    std::optional<TextEdit> textEdit_;
    // a slower refresh interval that waits until the refresh an input asked for has come
    std::optional<int> pendingWavInterval_;
    LabelFont labelStyle_ = InsideLineFont;
    // a project is open in the window: timers run, handlers act
    bool live_ = false;
    QTimer* savedSignTimer_ = nullptr;  // hides LabelSaved
    bool restored_ = false;
    bool closing_ = false;
    int wheelDelta_ = 0;
};

}  // namespace vt
