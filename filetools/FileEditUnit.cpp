#include "filetools/FileEditUnit.h"

#include "core/Coverage.h"
#include "core/DeliveryChecks.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FrameRateText.h"
#include "core/ProjectState.h"
#include "core/TimelineWriter.h"
#include "core/TimeStrings.h"
#include "core/TimelineState.h"
#include "core/UndoHistory.h"
#include "filetools/Export.h"
#include "filetools/FrameRateConversion.h"
#include "filetools/Merge.h"
#include "filetools/Shift.h"
#include "filetools/SubtitleBlocks.h"
#include "platform/Dialogs.h"
#include "platform/Look.h"
#include "core/TimelineChange.h"
#include "platform/Messages.h"
#include "platform/TimelineSave.h"
#include "platform/QtText.h"
#include "platform/PageScreen.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <string>

namespace vt {

namespace {

// The focus goes back once the move that took it away is over.
void focusBack(QWidget* control)
{
    QTimer::singleShot(0, control, [control] { control->setFocus(Qt::OtherFocusReason); });
}

}  // namespace

TFileEdit::TFileEdit(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(ApplicationTitle);
    setFixedSize(FileEditClientWidth, FileEditClientHeight);
    setBackground(*this, QColor(192, 192, 192));
    setFont(programFont(QStringLiteral("宋体"), 15));

    Tabs = new QTabWidget(this);
    Tabs->setGeometry(54, 49, 566, 345);
    Tabs->setFont(programFont(QStringLiteral("宋体"), 15));
    for (size_t i = 0; i < Pages.size(); ++i) {
        Pages[i] = new QWidget;
        Tabs->addTab(Pages[i], FileEditText::TabCaptions[qsizetype(i)]);
    }
    fitTabCaptions(*Tabs);

    createShiftTab();
    createConversionTab();
    createMergeTab();
    createExportTab();
    createFinishTab();
    createChecksTab();

    ButtonPrevious = button(this, FileEditText::Previous, 458, 416, 89, 25);
    ButtonClose = button(this, FileEditText::Close, 553, 416, 89, 25);
    for (QPushButton* b : {ButtonPrevious, ButtonClose})
        b->setFont(programFont(QStringLiteral("宋体"), 16));

    Tabs->setCurrentIndex(FileEditTab::Conversion);
    keepPageScreenKeys(*this);
    connectHandlers();
    centreOnScreen(*this);
}

// ---------------------------------------------------------------------------
// The controls, tab by tab, at their design places within each page

QLabel* TFileEdit::note(QWidget* page, const QString& text, int left, int top, int width, int height)
{
    auto* label = new QLabel(text, page);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // designed for a face with tighter lines: the note grows downwards
    // rather than lose its last line
    label->setGeometry(left, top, width, std::max(height, label->heightForWidth(width)));
    return label;
}

QLineEdit* TFileEdit::labeledEdit(QWidget* page, const QString& label, int left, int top, int width, int height,
                                  QLabel*& labelOut)
{
    auto* edit = new QLineEdit(page);
    edit->setGeometry(left, top, width, height);
    labelOut = new QLabel(label, page);
    labelOut->adjustSize();
    // the label sits above its box, three pixels apart
    labelOut->move(left, top - labelOut->height() - 3);
    labelOut->setBuddy(edit);
    return edit;
}

QPushButton* TFileEdit::button(QWidget* page, const QString& caption, int left, int top, int width, int height)
{
    auto* b = new QPushButton(caption, page);
    b->setGeometry(left, top, width, height);
    return b;
}

void TFileEdit::createShiftTab()
{
    QWidget* page = Pages[FileEditTab::Shift];
    NoteShift = note(page, FileEditText::ShiftNote, 75, 56, 438, 41);

    GroupBoxAmount = new QGroupBox(FileEditText::Amount, page);
    GroupBoxAmount->setGeometry(240, 119, 265, 82);
    LabeledEdit4_1 = labeledEdit(GroupBoxAmount, FileEditText::Seconds, 49, 36, 81, 23, LabeledEdit4_1Label);
    LabeledEdit4_2 = labeledEdit(GroupBoxAmount, FileEditText::Frames, 137, 36, 81, 23, LabeledEdit4_2Label);
    for (QLineEdit* edit : {LabeledEdit4_1, LabeledEdit4_2}) {
        // numbers only: no input method while the field has the focus
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->setText(FileEditText::NoShift);
    }
    keepInsideFrame(*GroupBoxAmount);

    RadioGroup1 = new QGroupBox(FileEditText::Range, page);
    RadioGroup1->setGeometry(75, 119, 142, 82);
    auto* items = new QButtonGroup(RadioGroup1);
    // two columns side by side, in the middle of the space under the caption
    const int columnWidth = (RadioGroup1->width() - 16) / 2;
    for (size_t i = 0; i < RadioGroup1Items.size(); ++i) {
        auto* item = new QRadioButton(FileEditText::RangeItems[qsizetype(i)], RadioGroup1);
        item->setGeometry(8 + int(i) * columnWidth, 36, columnWidth, 22);
        items->addButton(item, int(i));
        RadioGroup1Items[i] = item;
    }
    keepInsideFrame(*RadioGroup1);

    Button4move = button(page, FileEditText::Move, 424, 232, 81, 25);
}

void TFileEdit::createConversionTab()
{
    QWidget* page = Pages[FileEditTab::Conversion];
    NoteConversion = note(page, FileEditText::ConversionNote, 91, 48, 401, 41);

    ComboBox5FPS1 = new QComboBox(page);
    ComboBox5FPS2 = new QComboBox(page);
    ComboBox5FPS1->setGeometry(123, 112, 129, 23);
    ComboBox5FPS2->setGeometry(304, 112, 129, 23);
    for (QComboBox* box : {ComboBox5FPS1, ComboBox5FPS2}) {
        box->setEditable(true);
        // a rate typed and confirmed with Enter is used, not added to the list
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItems(FileEditText::RateChoices);
    }
    ComboBox5FPS1->setEditText(FileEditText::OldRate);
    ComboBox5FPS2->setEditText(FileEditText::NewRate);
    // the current rate is shown, not chosen
    ComboBox5FPS1->setEnabled(false);

    LabeledEdit5_3 = labeledEdit(page, FileEditText::ReferencePoint, 123, 160, 129, 23, LabeledEdit5_3Label);
    LabeledEdit5_4 = labeledEdit(page, FileEditText::ReferenceMovesTo, 304, 160, 129, 23, LabeledEdit5_4Label);
    LabeledEdit5_1 = labeledEdit(page, FileEditText::OldLength, 123, 208, 129, 23, LabeledEdit5_1Label);
    LabeledEdit5_2 = labeledEdit(page, FileEditText::NewLength, 304, 208, 129, 23, LabeledEdit5_2Label);
    for (QLineEdit* shown : {LabeledEdit5_1, LabeledEdit5_2, LabeledEdit5_3, LabeledEdit5_4})
        shown->setEnabled(false);

    Button4_1convert = button(page, FileEditText::Convert, 435, 259, 77, 25);
}

void TFileEdit::createMergeTab()
{
    QWidget* page = Pages[FileEditTab::Merge];
    NoteMerge = note(page, FileEditText::MergeNote, 67, 32, 449, 49);
    LabeledEdit2_1 = labeledEdit(page, FileEditText::SecondFile, 67, 144, 449, 21, LabeledEdit2_1Label);
    Button2_1open = button(page, FileEditText::Pick, 435, 171, 81, 25);
    CheckBoxOnTop = new QCheckBox(FileEditText::OnTop, page);
    CheckBoxOnTop->setGeometry(454, 126, 62, 16);
    widenToFitCaption(*CheckBoxOnTop);
    LabeledEdit2_2 = labeledEdit(page, FileEditText::BilingualFile, 67, 232, 449, 21, LabeledEdit2_2Label);
    Button2_2save = button(page, FileEditText::SaveAs, 435, 259, 81, 25);
    for (QLineEdit* path : {LabeledEdit2_1, LabeledEdit2_2})
        path->setFont(programFont(QStringLiteral("宋体"), 13));
}

void TFileEdit::createExportTab()
{
    QWidget* page = Pages[FileEditTab::Exports];
    LabeledEdit3_1 = labeledEdit(page, FileEditText::SpareFile, 67, 56, 449, 21, LabeledEdit3_1Label);
    Button3_1open = button(page, FileEditText::Pick, 435, 83, 81, 25);
    LabeledEdit3_2 = labeledEdit(page, FileEditText::RetimedFile, 67, 144, 449, 21, LabeledEdit3_2Label);
    Button3_2saveSrt = button(page, FileEditText::Save, 435, 171, 81, 25);
    LabeledEdit3_3 = labeledEdit(page, FileEditText::TextFile, 67, 232, 449, 21, LabeledEdit3_3Label);
    Button3_3saveTxt = button(page, FileEditText::Save, 435, 259, 81, 25);
    for (QLineEdit* path : {LabeledEdit3_1, LabeledEdit3_2, LabeledEdit3_3})
        path->setFont(programFont(QStringLiteral("宋体"), 13));
}

void TFileEdit::createFinishTab()
{
    Button1_1Save = button(Pages[FileEditTab::Finish], FileEditText::SaveAndQuit, 123, 112, 329, 89);
    Button1_1Save->setFont(programFont(QStringLiteral("楷体"), 48));
}

void TFileEdit::createChecksTab()
{
    QWidget* page = Pages[FileEditTab::Checks];
    const QFont small = programFont(QStringLiteral("宋体"), 13);
    struct Field {
        int decimals;
        double low, high;
    };
    static const Field fields[] = {{1, 0.5, 60}, {0, 1, 200}, {0, 1, 9}, {0, 0, 1000}, {1, 0.1, 600}, {0, 0, 100}, {0, 0, 200}};
    for (size_t i = 0; i < RuleFields.size(); ++i) {
        const int left = 6 + int(i % 4) * 139;
        const int top = 8 + int(i / 4) * 28;
        auto* caption = new QLabel(FileEditText::RuleCaptions[qsizetype(i)], page);
        caption->setFont(small);
        caption->setGeometry(left, top, 78, 22);
        caption->setToolTip(FileEditText::RulesHint);
        auto* field = new QDoubleSpinBox(page);
        field->setFont(small);
        field->setDecimals(fields[i].decimals);
        field->setRange(fields[i].low, fields[i].high);
        field->setSingleStep(fields[i].decimals ? 0.5 : 1);
        field->setGeometry(left + 78, top, 56, 22);
        field->setToolTip(FileEditText::RulesHint);
        caption->setBuddy(field);
        RuleFields[i] = field;
    }
    ButtonPreset = button(page, FileEditText::Preset, 6 + 3 * 139, 36, 134, 22);
    ButtonPreset->setFont(small);
    LabelChecks = new QLabel(page);
    LabelChecks->setFont(small);
    LabelChecks->setGeometry(6, 64, 550, 20);
    TableChecks = new QTableWidget(0, 3, page);
    TableChecks->setFont(small);
    TableChecks->setGeometry(6, 86, 550, 190);
    TableChecks->setHorizontalHeaderLabels(FileEditText::CheckColumns);
    TableChecks->verticalHeader()->hide();
    TableChecks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableChecks->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableChecks->setSelectionMode(QAbstractItemView::SingleSelection);
    TableChecks->setColumnWidth(0, 96);
    TableChecks->setColumnWidth(1, 250);
    TableChecks->horizontalHeader()->setStretchLastSection(true);
    ButtonFixAll = button(page, FileEditText::FixAll, 456, 282, 100, 25);
}

void TFileEdit::showRules(const DeliveryRules& rules)
{
    const double values[] = {rules.MaxSpeedTenths / 10.0, double(rules.MaxLineCharacters), double(rules.MaxLines),
                             double(rules.MinFrames),     rules.MaxSecondsTenths / 10.0,   double(rules.MinGapFrames),
                             double(rules.CloseGapFrames)};
    for (size_t i = 0; i < RuleFields.size(); ++i) {
        const QSignalBlocker quiet(RuleFields[i]);
        RuleFields[i]->setValue(values[i]);
    }
}

void TFileEdit::showChecks(const std::vector<DeliveryFix>& fixes)
{
    TableChecks->setRowCount(0);
    if (!live_)
        return;
    const std::vector<LineCheck> broken =
        checkTimeline(Project.Timeline, Project.TimelineCount, Project.FrameRate, Project.Rules);
    auto addRow = [&](int32_t slot, const QString& reason, bool fixed) {
        const TimelineEntry& line = Project.Timeline[size_t(slot)];
        const int row = TableChecks->rowCount();
        TableChecks->insertRow(row);
        QString text = QString::fromStdU16String(line.Text);
        text.replace(QStringLiteral("^p"), QStringLiteral(" / "));
        const QString cells[] = {fromUtf8(FrameToTime(line.StartFrame, Project.FrameRate)), text, reason};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, slot);
            item->setToolTip(cells[c]);
            if (fixed)
                item->setBackground(QColor(200, 240, 200));
            TableChecks->setItem(row, c, item);
        }
    };
    for (const DeliveryFix& fix : fixes)
        addRow(fix.slot, FileEditText::FixedReason + fromUtf8(fix.reason), true);
    for (const LineCheck& check : broken)
        addRow(check.slot, fromUtf8(speedText(check.speedTenths) + " " + problemText(check.problems)), false);
    if (!fixes.empty())
        LabelChecks->setText(FileEditText::ChecksFixed.arg(fixes.size()).arg(broken.size()));
    else if (broken.empty())
        LabelChecks->setText(FileEditText::ChecksNone);
    else
        LabelChecks->setText(FileEditText::ChecksCount.arg(broken.size()));
}

void TFileEdit::RuleFieldChange()
{
    DeliveryRules& r = Project.Rules;
    r.MaxSpeedTenths = int32_t(std::lround(RuleFields[0]->value() * 10));
    r.MaxLineCharacters = int32_t(std::lround(RuleFields[1]->value()));
    r.MaxLines = int32_t(std::lround(RuleFields[2]->value()));
    r.MinFrames = int32_t(std::lround(RuleFields[3]->value()));
    r.MaxSecondsTenths = int32_t(std::lround(RuleFields[4]->value() * 10));
    r.MinGapFrames = int32_t(std::lround(RuleFields[5]->value()));
    r.CloseGapFrames = int32_t(std::lround(RuleFields[6]->value()));
    showChecks();
}

void TFileEdit::ButtonPresetClick()
{
    Project.Rules = DeliveryRules{};
    showRules(Project.Rules);
    showChecks();
}

void TFileEdit::TableChecksClick(int row)
{
    const QTableWidgetItem* item = TableChecks->item(row, 0);
    if (!item)
        return;
    const int32_t slot = item->data(Qt::UserRole).toInt();
    if (slot >= 0 && slot < Project.TimelineCount && size_t(slot) < Project.Timeline.size())
        Project.PlayPosition = Project.Timeline[size_t(slot)].StartFrame;
}

void TFileEdit::ButtonFixAllClick()
{
    if (!live_)
        return;
    // one step of the editor's history: Ctrl+Z there takes the whole fix back
    std::vector<DeliveryFix> fixes;
    commitTimelineChange(Project, [&](TimelineState&) {
        fixes = fixTimeline(Project.Timeline, Project.TimelineCount, Project.FrameRate, Project.VideoLengthFrames,
                            Project.Rules);
        if (!fixes.empty())
            rebuildWaveMarks(Project.WaveMarks, Project.Timeline, Project.TimelineCount, Project.FrameRate);
    });
    if (!fixes.empty())
        setWindowModified(timelineUnsaved(Project));
    showChecks(fixes);
}

void TFileEdit::connectHandlers()
{
    for (QDoubleSpinBox* field : RuleFields)
        connect(field, &QDoubleSpinBox::valueChanged, this, [this] { RuleFieldChange(); });
    connect(ButtonPreset, &QPushButton::clicked, this, [this] { ButtonPresetClick(); });
    connect(TableChecks, &QTableWidget::cellClicked, this, [this](int row, int) { TableChecksClick(row); });
    connect(ButtonFixAll, &QPushButton::clicked, this, [this] { ButtonFixAllClick(); });
    connect(ButtonPrevious, &QPushButton::clicked, this, [this] { ButtonPreviousClick(); });
    connect(ButtonClose, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
    connect(Button1_1Save, &QPushButton::clicked, this, [this] { Button1_1SaveClick(); });
    whenLeft(*LabeledEdit4_1, [this] { LabeledEdit4_1Exit(); });
    whenLeft(*LabeledEdit4_2, [this] { LabeledEdit4_2Exit(); });
    connect(Button4move, &QPushButton::clicked, this, [this] { Button4moveClick(); });
    // typed or chosen from the list
    connect(ComboBox5FPS2, &QComboBox::editTextChanged, this, [this] { ComboBox5FPS2Change(); });
    connect(Button4_1convert, &QPushButton::clicked, this, [this] { Button4_1convertClick(); });
    connect(Button2_1open, &QPushButton::clicked, this, [this] { Button2_1openClick(); });
    connect(Button2_2save, &QPushButton::clicked, this, [this] { Button2_2saveClick(); });
    connect(Button3_1open, &QPushButton::clicked, this, [this] { Button3_1openClick(); });
    connect(Button3_2saveSrt, &QPushButton::clicked, this, [this] { Button3_2saveSrtClick(); });
    connect(Button3_3saveTxt, &QPushButton::clicked, this, [this] { Button3_3saveTxtClick(); });
}

int TFileEdit::RadioGroup1ItemIndex() const
{
    return checkedIndex(RadioGroup1Items);
}

void TFileEdit::setRadioGroup1ItemIndex(int index)
{
    checkIndex(RadioGroup1Items, index);
}

// ---------------------------------------------------------------------------
// Showing and leaving

void TFileEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFileEdit::FormShow()
{
    // "[*]": Qt's place for the desktop's mark of unsaved changes, shown only while they are
    setWindowTitle(FileEditText::CaptionPrefix + fromUtf8(Project.TimelineFileName) + QStringLiteral("[*]"));
    setWindowModified(timelineUnsaved(Project));
    // closing the file tools by their frame ends the program
    Project.NextPage = Page::Quit;
    // only the page loop's tests show the screen with no project loaded
    live_ = Project.FrameRate > 0 && !Project.TimelineFileName.empty();
    showFrameRates();
    setRadioGroup1ItemIndex(Project.ToolRangeIndex);
    CheckBoxOnTop->setChecked(Project.MergeOnTop);
    showRules(Project.Rules);
    showChecks();
}

// The window frame, Alt+F4 and every button that leaves come here.
void TFileEdit::done(int result)
{
    // a second close while the first one's save message is up
    if (closing_)
        return;
    closing_ = true;
    const bool closed = !isVisible() || FormClose();
    closing_ = false;
    if (closed)
        QDialog::done(result);
}

bool TFileEdit::FormClose()
{
    Project.ToolRangeIndex = int8_t(RadioGroup1ItemIndex());
    Project.MergeOnTop = CheckBoxOnTop->isChecked();
    if (live_ && !saveTimeline() && !mayLeaveUnsaved(this, Project)) {
        // the screen stays, so that nothing shifted here is lost; leaving it
        // again tries the save again
        Project.NextPage = Page::Quit;
        return false;
    }
    return true;
}

bool TFileEdit::saveTimeline()
{
    if (!saveProjectTimeline(this, Project))
        return false;
    setWindowModified(false);
    return true;
}

void TFileEdit::ButtonPreviousClick()
{
    Project.NextPage = Page::Editor;
    close();
}

void TFileEdit::ButtonCloseClick()
{
    Project.NextPage = Page::Quit;
    close();
}

void TFileEdit::Button1_1SaveClick()
{
    Project.NextPage = Page::Quit;
    close();
}

// ---------------------------------------------------------------------------
// The shift

void TFileEdit::LabeledEdit4_1Exit()
{
    const auto frames =
        secondsToShiftFrames(toUtf8(LabeledEdit4_1->text()), Project.FrameRate, Project.VideoLengthFrames);
    if (!frames) {
        focusBack(LabeledEdit4_1);
        return;
    }
    LabeledEdit4_2->setText(QString::number(*frames));
}

void TFileEdit::LabeledEdit4_2Exit()
{
    const auto frames = readShiftFrames(toUtf8(LabeledEdit4_2->text()));
    if (!frames) {
        focusBack(LabeledEdit4_2);
        return;
    }
    LabeledEdit4_1->setText(fromUtf8(shiftFramesToSeconds(*frames, Project.FrameRate)));
    if (shiftStartsBeforeZero(Project.Timeline, Project.TimelineCount, *frames))
        focusBack(LabeledEdit4_2);
}

void TFileEdit::Button4moveClick()
{
    const auto frames = readShiftFrames(toUtf8(LabeledEdit4_2->text()));
    if (!frames) {
        showMessage(this, std::string(MsgShiftFramesInvalid));
        focusBack(LabeledEdit4_2);
        return;
    }
    // one step of the editor's history: Ctrl+Z there takes the shift back
    try {
        commitTimelineChange(Project, [&](TimelineState&) {
            shiftTimeline(Project.Timeline, Project.TimelineCount, *frames, ShiftRange(RadioGroup1ItemIndex()),
                          Project.PlayPosition, Project.WaveMarks, Project.FrameRate);
        });
    } catch (const UserError& error) {
        showError(this, error);
        focusBack(LabeledEdit4_1);
        return;
    }
    setWindowModified(timelineUnsaved(Project));
    showChecks();
    LabeledEdit4_1->setText(FileEditText::NoShift);
    LabeledEdit4_2->setText(FileEditText::NoShift);
}

// ---------------------------------------------------------------------------
// The frame-rate conversion

void TFileEdit::showFrameRates()
{
    const QString rate = fromUtf8(sixCharacterFrameRate(Project.FrameRate));
    {
        // the new rate is the user's to change; this is no change of theirs
        const QSignalBlocker quiet(ComboBox5FPS2);
        ComboBox5FPS1->setEditText(rate);
        ComboBox5FPS2->setEditText(rate);
    }
    // every visit goes on at the rate the boxes show
    if (const auto shown = readFrameRate(toUtf8(ComboBox5FPS1->currentText())))
        Project.FrameRate = *shown;
    if (const auto chosen = readFrameRate(toUtf8(ComboBox5FPS2->currentText())))
        Project.NewFrameRate = *chosen;
    const QString length = fromUtf8(FrameToTime(Project.VideoLengthFrames, Project.FrameRate));
    const QString reference = fromUtf8(FrameToTime(Project.PlayPosition, Project.FrameRate));
    LabeledEdit5_1->setText(length);
    LabeledEdit5_2->setText(length);
    LabeledEdit5_3->setText(reference);
    LabeledEdit5_4->setText(reference);
}

void TFileEdit::ComboBox5FPS2Change()
{
    const auto chosen = readFrameRate(toUtf8(ComboBox5FPS2->currentText()));
    if (!chosen) {
        // half typed, or letters: "转换" refuses it with a message
        focusBack(ComboBox5FPS2);
        return;
    }
    Project.NewFrameRate = *chosen;
    LabeledEdit5_2->setText(fromUtf8(FrameToNewTime(Project.VideoLengthFrames, Project.NewFrameRate)));
    LabeledEdit5_4->setText(fromUtf8(FrameToNewTime(Project.PlayPosition, Project.NewFrameRate)));
}

void TFileEdit::Button4_1convertClick()
{
    ConversionOutcome outcome = ConversionOutcome::SameRate;
    try {
        outcome = convertFrameRate(toUtf8(ComboBox5FPS1->currentText()), toUtf8(ComboBox5FPS2->currentText()),
                                   Project.Timeline, Project.TimelineCount, Project.FrameRate,
                                   Project.TimelineFileName, Project.TimelineEncoding, Project.NewTimeline,
                                   saveDialogue(this), Project.TimelineFileDocument.get());
    } catch (const UserError& error) {
        showError(this, error);
        return;
    }
    if (outcome == ConversionOutcome::SameRate)
        return;
    LabeledEdit5_1->setText(LabeledEdit5_2->text());
    ComboBox5FPS1->setEditText(ComboBox5FPS2->currentText());
    showMessage(this, std::string(MsgFrameRateConverted));
    Project.NextPage = Page::OpenAfterConversion;
    close();
}

// ---------------------------------------------------------------------------
// The bilingual merge and the exports

// The output field's name, or the one the save dialog gives it; nothing when
// the user cancels the dialog, and the tool then stops without a word.
std::optional<QString> TFileEdit::outputName(QLineEdit* field, const FileDialogRequest& dialog)
{
    if (!field->text().isEmpty())
        return field->text();
    auto chosen = runFileDialog(this, dialog);
    if (chosen)
        field->setText(*chosen);
    return chosen;
}

// Before any dialog asks for an output: a tool without its input stops here.
bool TFileEdit::inputExists(QLineEdit* field)
{
    if (fileExists(toUtf8(field->text())))
        return true;
    showMessage(this, std::string(MsgSecondFileMissing));
    return false;
}

void TFileEdit::Button2_1openClick()
{
    const auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, QString(), FileEditText::SubtitleFilter, {}});
    if (!chosen)
        return;
    LabeledEdit2_1->setText(*chosen);
    if (LabeledEdit2_2->text().isEmpty())
        LabeledEdit2_2->setText(fromUtf8(toolOutputName(toUtf8(*chosen), BilingualEnding)));
}

void TFileEdit::Button2_2saveClick()
{
    if (!inputExists(LabeledEdit2_1))
        return;
    FileDialogRequest dialog{FileDialogRequest::Kind::Save, QString(), FileEditText::SrtFilter, {}};
    dialog.confirmOverwrite = true;
    dialog.confirmCreate = true;
    const auto output = outputName(LabeledEdit2_2, dialog);
    if (!output)
        return;
    try {
        saveBilingualSrt(toolTimelineOf(Project), toUtf8(LabeledEdit2_1->text()), toUtf8(*output),
                         CheckBoxOnTop->isChecked(), saveDialogue(this));
    } catch (const UserError& error) {
        showError(this, error);
    }
}

void TFileEdit::Button3_1openClick()
{
    const auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, QString(), FileEditText::SubtitleFilter, {}});
    if (!chosen)
        return;
    LabeledEdit3_1->setText(*chosen);
    if (!LabeledEdit3_2->text().isEmpty())
        return;
    LabeledEdit3_2->setText(fromUtf8(toolOutputName(toUtf8(*chosen), RetimedEnding)));
    LabeledEdit3_3->setText(fromUtf8(toolOutputName(toUtf8(*chosen), TextExportEnding)));
}

void TFileEdit::Button3_2saveSrtClick()
{
    if (!inputExists(LabeledEdit3_1))
        return;
    FileDialogRequest dialog{FileDialogRequest::Kind::Save, QString(), FileEditText::SrtFilter, {}};
    dialog.confirmOverwrite = false;
    const auto output = outputName(LabeledEdit3_2, dialog);
    if (!output)
        return;
    try {
        saveRetimedSrt(toolTimelineOf(Project), toUtf8(LabeledEdit3_1->text()), toUtf8(*output), saveDialogue(this));
    } catch (const UserError& error) {
        showError(this, error);
    }
}

void TFileEdit::Button3_3saveTxtClick()
{
    if (!inputExists(LabeledEdit3_1))
        return;
    FileDialogRequest dialog{FileDialogRequest::Kind::Save, QString(), FileEditText::TxtFilter, {}};
    dialog.confirmOverwrite = false;
    const auto output = outputName(LabeledEdit3_3, dialog);
    if (!output)
        return;
    try {
        saveSpareText(toUtf8(LabeledEdit3_1->text()), toUtf8(*output), Project.TimelineFileName, saveDialogue(this));
    } catch (const UserError& error) {
        showError(this, error);
    }
}

}  // namespace vt
