// The file-tools screen: on five tabs the shift of the time codes, the
// frame-rate conversion, the bilingual merge, the re-timed export with the
// text export, and a last save-and-quit. Leaving it in any way saves the
// timeline.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "core/DeliveryChecks.h"

#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QWidget;

namespace vt {

struct FileDialogRequest;

// The screen's texts, shown exactly as written.
namespace FileEditText {
// followed by the timeline file's name
inline const QString CaptionPrefix = QStringLiteral("Veltrana时间轴  ");
// an ideographic space before and after the words of each tab
inline const QStringList TabCaptions = {QStringLiteral("　整体平移　"), QStringLiteral("　转换帧率　"),
                                        QStringLiteral("　双语字幕　"), QStringLiteral("　导入导出　"),
                                        QStringLiteral("　保存收工　"), QStringLiteral("交付检查")};
inline const QString Previous = QStringLiteral("< 上一步  ");
// the delivery checks' tab
inline const QStringList RuleCaptions = {QStringLiteral("每秒字数 ≤"), QStringLiteral("每行字数 ≤"),
                                         QStringLiteral("行数 ≤"),     QStringLiteral("最短帧数 ≥"),
                                         QStringLiteral("最长秒数 ≤"), QStringLiteral("行距帧数 ≥"),
                                         QStringLiteral("空隙收拢 ≤")};
inline const QString RulesHint = QStringLiteral(
    "汉字算一个字，半角字符和标点算半个，空格、换行、特效标签不算；空隙不超过“空隙收拢”帧数的，修正时收成“行距”帧数");
inline const QString Preset = QStringLiteral("中文预设");
inline const QString FixAll = QStringLiteral("全部修正");
inline const QStringList CheckColumns = {QStringLiteral("时间"), QStringLiteral("字幕"), QStringLiteral("问题")};
inline const QString ChecksNone = QStringLiteral("没有不合规则的行。");
inline const QString ChecksCount = QStringLiteral("%1 行不合规则；点一行，回到编辑窗时就在那一行。");
inline const QString ChecksFixed =
    QStringLiteral("修正了 %1 行（绿色，可在编辑窗里 Ctrl+Z 撤销）；%2 行只改时间修不好，仍列在下面。");
inline const QString FixedReason = QStringLiteral("已修正：");
inline const QString Close = QStringLiteral("保存退出");
inline const QString SaveAndQuit = QStringLiteral("保存、退出");

// the shift
inline const QString ShiftNote = QStringLiteral("注：适用于不同版本的片头长度调整。正值向后移，负值向前移。");
inline const QString Amount = QStringLiteral("时值");
inline const QString Seconds = QStringLiteral("秒：　　或");
inline const QString Frames = QStringLiteral("帧：");
inline const QString NoShift = QStringLiteral("0");
inline const QString Range = QStringLiteral("范围");
inline const QStringList RangeItems = {QStringLiteral("全部"), QStringLiteral("后续")};
inline const QString Move = QStringLiteral("移动");

// the frame-rate conversion
inline const QString ConversionNote =
    QStringLiteral("　　注：整体弹性拉伸/压缩。如果视频转码时调错了帧率，做出来的时间轴同样存在帧率问题。");
inline const QString OldRate = QStringLiteral("原帧率");
inline const QString NewRate = QStringLiteral("新帧率");
inline const QStringList RateChoices = {QStringLiteral("23.976"), QStringLiteral("24"), QStringLiteral("25"),
                                        QStringLiteral("29.970"), QStringLiteral("30")};
inline const QString ReferencePoint = QStringLiteral("当前参考点：");
inline const QString ReferenceMovesTo = QStringLiteral("参考点移动到：");
inline const QString OldLength = QStringLiteral("原长度：");
inline const QString NewLength = QStringLiteral("新长度：");
inline const QString Convert = QStringLiteral("转换");

// the bilingual merge
inline const QString MergeNote = QStringLiteral(
    "　　注：本质上是以当前修订的时间轴为标准、合并两个字幕的文本，成为两行或多行的单一字幕。"
    "因此理论上可以无限次合并，只要播放器不出错就行。");
inline const QString SecondFile = QStringLiteral("第二字幕 *.srt：");
inline const QString Pick = QStringLiteral("指定");
inline const QString OnTop = QStringLiteral("置顶");
inline const QString BilingualFile = QStringLiteral("双语字幕 *.srt：");
inline const QString SaveAs = QStringLiteral("另存为");

// the exports
inline const QString SpareFile = QStringLiteral("导入备用字幕 *.srt：");
inline const QString RetimedFile = QStringLiteral("导出备用字幕 *.srt：");
inline const QString TextFile = QStringLiteral("导出字幕纯文本 *.txt：");
inline const QString Save = QStringLiteral("保存");

inline const QString SrtFilter = QStringLiteral("字幕(*.srt)|*.srt");
// The second and the spare file may also be ASS/SSA or WebVTT.
inline const QString SubtitleFilter = SrtFilter + QStringLiteral("|ASS/SSA 字幕(*.ass *.ssa)|*.ass;*.ssa|WebVTT 字幕(*.vtt)|*.vtt");
inline const QString TxtFilter = QStringLiteral("文本文件(*.txt)|*.txt");
}  // namespace FileEditText

// The screen's client size as designed.
inline constexpr int FileEditClientWidth = 694;
inline constexpr int FileEditClientHeight = 472;

// The tabs by index.
namespace FileEditTab {
enum Index : int { Shift = 0, Conversion = 1, Merge = 2, Exports = 3, Finish = 4, Checks = 5 };
}

class TFileEdit : public QDialog {
public:
    explicit TFileEdit(QWidget* owner);

    // The controls keep their design names.
    QTabWidget* Tabs;
    std::array<QWidget*, 6> Pages;  // in tab order (FileEditTab)

    // tab 1, the shift
    QLabel* NoteShift;
    QGroupBox* GroupBoxAmount;  // "时值"
    QLineEdit* LabeledEdit4_1;  // seconds
    QLabel* LabeledEdit4_1Label;
    QLineEdit* LabeledEdit4_2;  // frames
    QLabel* LabeledEdit4_2Label;
    QGroupBox* RadioGroup1;  // "范围"
    std::array<QRadioButton*, 2> RadioGroup1Items;  // "全部", "后续"
    QPushButton* Button4move;  // "移动": the shift

    // tab 2, the frame-rate conversion
    QLabel* NoteConversion;
    QComboBox* ComboBox5FPS1;  // the timeline's rate now
    QComboBox* ComboBox5FPS2;  // the new rate
    QLineEdit* LabeledEdit5_3;  // the reference point (the play position) at the rate now
    QLabel* LabeledEdit5_3Label;
    QLineEdit* LabeledEdit5_4;  // where the reference point moves to at the new rate
    QLabel* LabeledEdit5_4Label;
    QLineEdit* LabeledEdit5_1;  // the film's length at the rate now
    QLabel* LabeledEdit5_1Label;
    QLineEdit* LabeledEdit5_2;  // the film's length at the new rate
    QLabel* LabeledEdit5_2Label;
    QPushButton* Button4_1convert;  // "转换": saves the timeline at the new rate

    // tab 3, the bilingual merge
    QLabel* NoteMerge;
    QLineEdit* LabeledEdit2_1;  // the merge's second file
    QLabel* LabeledEdit2_1Label;
    QPushButton* Button2_1open;  // "指定" the second file
    QCheckBox* CheckBoxOnTop;  // "置顶": the second text above the timeline's own
    QLineEdit* LabeledEdit2_2;  // the bilingual output
    QLabel* LabeledEdit2_2Label;
    QPushButton* Button2_2save;  // "另存为" the bilingual file

    // tab 4, the exports
    QLineEdit* LabeledEdit3_1;  // the exports' spare file
    QLabel* LabeledEdit3_1Label;
    QPushButton* Button3_1open;
    QLineEdit* LabeledEdit3_2;
    QLabel* LabeledEdit3_2Label;
    QPushButton* Button3_2saveSrt;
    QLineEdit* LabeledEdit3_3;
    QLabel* LabeledEdit3_3Label;
    QPushButton* Button3_3saveTxt;

    // tab 5
    QPushButton* Button1_1Save;

    QPushButton* ButtonPrevious;
    QPushButton* ButtonClose;

    // tab 6, the delivery checks: the rules' numbers (DeliveryRuleField
    // order), the lines that break them, and the fix
    std::array<QDoubleSpinBox*, 7> RuleFields;
    QPushButton* ButtonPreset;  // "中文预设"
    QTableWidget* TableChecks;  // time, text, reason; a click puts the editor on the line
    QPushButton* ButtonFixAll;  // "全部修正"
    QLabel* LabelChecks;        // how many lines break a rule, or what the fix did

    // The checked range item, -1 when none is.
    int RadioGroup1ItemIndex() const;
    void setRadioGroup1ItemIndex(int index);

    // Handlers, named after control and event.
    void ButtonPreviousClick();
    void ButtonCloseClick();
    void Button1_1SaveClick();
    void LabeledEdit4_1Exit();
    void LabeledEdit4_2Exit();
    void Button4moveClick();
    void ComboBox5FPS2Change();
    void Button4_1convertClick();
    void Button2_1openClick();
    void Button2_2saveClick();
    void Button3_1openClick();
    void Button3_2saveSrtClick();
    void Button3_3saveTxtClick();
    void RuleFieldChange();
    void ButtonPresetClick();
    void TableChecksClick(int row);
    void ButtonFixAllClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void createShiftTab();
    void createConversionTab();
    void createMergeTab();
    void createExportTab();
    void createFinishTab();
    void createChecksTab();
    void showRules(const DeliveryRules& rules);
    // the table: the changes of the last fix (if any), then every line that breaks a rule
    void showChecks(const std::vector<DeliveryFix>& fixes = {});
    void connectHandlers();
    QLabel* note(QWidget* page, const QString& text, int left, int top, int width, int height);
    QLineEdit* labeledEdit(QWidget* page, const QString& label, int left, int top, int width, int height,
                           QLabel*& labelOut);
    QPushButton* button(QWidget* page, const QString& caption, int left, int top, int width, int height);

    void FormShow();
    bool FormClose();
    bool saveTimeline();
    void showFrameRates();
    bool inputExists(QLineEdit* field);
    std::optional<QString> outputName(QLineEdit* field, const FileDialogRequest& dialog);

    // a project is open: only the page loop's tests show the screen without one
    bool live_ = false;
    bool closing_ = false;
};

}  // namespace vt
