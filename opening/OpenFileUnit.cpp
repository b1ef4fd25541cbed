#include "opening/OpenFileUnit.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FrameRateText.h"
#include "core/ProjectState.h"
#include "core/TimelineState.h"
#include "core/TimelineChange.h"
#include "opening/Loader.h"
#include "opening/Recovery.h"
#include "platform/BesideEventLoop.h"
#include "platform/Dialogs.h"
#include "platform/EndSignals.h"
#include "platform/Look.h"
#include "platform/MediaPlayer.h"
#include "platform/Messages.h"
#include "platform/QtText.h"
#include "platform/PageScreen.h"
#include "opening/BeginShowUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <filesystem>


namespace vt {

QString frameRateBoxText(float frameRate)
{
    if (!(frameRate > 0))
        return QStringLiteral("0.0001");
    return QString::fromStdString(sixCharacterFrameRate(frameRate));
}

namespace {

bool exists(const QString& path)
{
    return fileExists(toUtf8(path));
}

struct VideoLength {
    int64_t ms = 0;
    int64_t frames = 0;
};

// Opens the video in the player, reads its length in both units and closes
// it again, also when the player turns the file away (MediaError).
VideoLength measureVideo(MediaPlayer& player, const std::string& fileName)
{
    struct ClosesPlayer {
        MediaPlayer& player;
        ~ClosesPlayer() { player.close(); }
    } closes{player};
    player.setFileName(fileName);
    player.open();
    VideoLength length;
    player.setTimeFormat(MediaPlayer::TimeFormat::Milliseconds);
    length.ms = player.length();
    player.setTimeFormat(MediaPlayer::TimeFormat::Frames);
    length.frames = player.length();
    return length;
}

// The lock of the timeline that is the project's (editor and file tools),
// held from its load until another timeline loads or the program ends.
std::optional<TimelineLock>& projectLock()
{
    static std::optional<TimelineLock> lock;
    return lock;
}

}  // namespace

TfileOpen::TfileOpen(QWidget* owner, MediaPlayer& player) : QDialog(owner), player_(player)
{
    setWindowTitle(OpenFileText::Caption);
    setFixedSize(694, 472);
    setBackground(*this, QColor(128, 128, 128));
    setFont(programFont(QStringLiteral("宋体"), 16));

    Label1 = new QLabel(OpenFileText::Heading, this);
    Label1->setFont(programFont(QStringLiteral("楷体"), 32));
    Label1->setStyleSheet(QStringLiteral("color: black"));
    Label1->move(48, 32);
    Label1->adjustSize();

    LabeledEdit1 = labeledEdit(OpenFileText::VideoLabel, 48, 112, 521, 21, LabeledEdit1Label);
    Button1 = button(OpenFileText::Pick, 575, 110, 81, 25);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->addItems(OpenFileText::FrameRateChoices);
    ComboBox1->setEditText(OpenFileText::FrameRateUnknown);
    ComboBox1->setGeometry(488, 88, 81, 21);
    ComboBox1->setEnabled(false);  // it only shows the measured frame rate

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(384, 174, 185, 16);
    ProgressBar1->hide();

    LabeledEdit2 = labeledEdit(OpenFileText::WavLabel, 48, 192, 521, 21, LabeledEdit2Label);
    Button2 = button(OpenFileText::Pick, 575, 190, 81, 25);

    // Designed at 320, 176 for a smaller face, the label would run under the
    // bar and the WAV box here: it ends where the bar begins, beside it and
    // clear of the box below.
    Label4 = new QLabel(OpenFileText::SummaryLabel, this);
    Label4->adjustSize();
    Label4->move(ProgressBar1->x() - Label4->width() - 4,
                 std::min(ProgressBar1->geometry().center().y() - Label4->height() / 2,
                          LabeledEdit2->y() - Label4->height()));
    Label4->hide();

    CheckBox1 = new QCheckBox(OpenFileText::TextsInSrt, this);
    CheckBox1->setToolTip(OpenFileText::TextsInSrtTip);
    CheckBox1->setGeometry(384, 254, 185, 16);
    widenToFitCaption(*CheckBox1);
    CheckBox1->setChecked(true);
    Button4 = button(OpenFileText::OpenTimeline, 575, 251, 81, 23);

    LabeledEdit3 = labeledEdit(OpenFileText::SrtLabel, 48, 272, 521, 21, LabeledEdit3Label);
    ButtonNew = button(OpenFileText::NewTimeline, 575, 272, 81, 23);

    RadioButton1 = new QRadioButton(OpenFileText::OneLinePerSubtitle, this);
    RadioButton1->setGeometry(384, 335, 81, 17);
    widenToFitCaption(*RadioButton1);
    RadioButton1->setEnabled(false);
    RadioButton2 = new QRadioButton(OpenFileText::BlankLineBetween, this);
    RadioButton2->setGeometry(480, 335, 81, 17);
    widenToFitCaption(*RadioButton2);
    RadioButton2->setEnabled(false);

    LabeledEdit4 = labeledEdit(OpenFileText::TxtLabel, 48, 352, 521, 21, LabeledEdit4Label);
    LabeledEdit4->setEnabled(false);
    Button5 = button(OpenFileText::Pick, 575, 350, 81, 25);
    Button5->setEnabled(false);

    Button3 = button(OpenFileText::ShowNotice, 448, 416, 121, 25);
    ButtonNext = button(OpenFileText::Next, 575, 416, 81, 25);
    ButtonNext->setDefault(true);
    // Esc does not end the program from here, and Enter presses a focused
    // button ("指定" opens its dialog) or else " 下一步 >"
    keepPageScreenKeys(*this);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(ButtonNew, &QPushButton::clicked, this, [this] { ButtonNewClick(); });
    connect(ButtonNext, &QPushButton::clicked, this, [this] { ButtonNextClick(); });
    // the handlers run whenever a state changes, also when FormCreate sets it
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton1Click(); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton2Click(); });
    connect(LabeledEdit1, &QLineEdit::editingFinished, this, [this] { LabeledEdit1Exit(); });
    connect(LabeledEdit2, &QLineEdit::editingFinished, this, [this] { LabeledEdit2Exit(); });
    connect(LabeledEdit3, &QLineEdit::editingFinished, this, [this] { LabeledEdit3Exit(); });
    connect(LabeledEdit4, &QLineEdit::editingFinished, this, [this] { LabeledEdit4Exit(); });

    FormCreate();
    centreOnScreen(*this);
}

TfileOpen::~TfileOpen()
{
    // QWidget deletes the children when this screen is already half gone, and
    // the focused box, losing its focus then, would call its exit on what is
    // left. It loses it here instead, so what was typed is still taken, and
    // no control reaches a handler after.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    for (QObject* control : children())
        disconnect(control, nullptr, this, nullptr);
}

QLineEdit* TfileOpen::labeledEdit(const QString& label, int left, int top, int width, int height, QLabel*& labelOut)
{
    auto* edit = new QLineEdit(this);
    edit->setGeometry(left, top, width, height);
    labelOut = new QLabel(label, this);
    labelOut->adjustSize();
    // the label sits above its box, three pixels apart
    labelOut->move(left, top - labelOut->height() - 3);
    labelOut->setBuddy(edit);
    return edit;
}

QPushButton* TfileOpen::button(const QString& caption, int left, int top, int width, int height)
{
    auto* b = new QPushButton(caption, this);
    b->setGeometry(left, top, width, height);
    return b;
}

void TfileOpen::FormCreate()
{
    LabeledEdit1->setText(fromUtf8(Project.VideoFileName));
    LabeledEdit2->setText(fromUtf8(Project.WavFileName));
    LabeledEdit3->setText(fromUtf8(Project.TimelineFileName));
    LabeledEdit4->setText(fromUtf8(Project.SubtitleTextFileName));
    if (Project.FrameRate > 0)
        ComboBox1->setEditText(frameRateBoxText(Project.FrameRate));
    CheckBox1->setChecked(!Project.TextFromTxtFile);
    bool oneLine = Project.OneLinePerSubtitle;
    RadioButton1->setChecked(oneLine);
    RadioButton2->setChecked(!oneLine);
    // closing this screen by its frame ends the program
    Project.NextPage = Page::Quit;
    Proset = new TProset(this);
}

void TfileOpen::FormClose()
{
    if (Proset && Proset->parent() == this) {
        delete Proset;
        Proset = nullptr;
    }
}

void TfileOpen::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfileOpen::Button3Click()
{
    if (Proset)
        Proset->show();
}

void TfileOpen::Button1Click()
{
    auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, OpenFileText::Pick, OpenFileText::VideoFilter, {}});
    if (chosen)
        chooseVideo(*chosen);
}

void TfileOpen::chooseVideo(const QString& video)
{
    noteChosenFile(video);  // the companions' dialogs open beside it
    Project.VideoFileName = toUtf8(video);
    LabeledEdit1->setText(video);

    QString wav = fromUtf8(companionName(toUtf8(video), "wav"));
    Project.WavFileName = toUtf8(wav);
    if (exists(wav))
        LabeledEdit2->setText(wav);
    QString ws = fromUtf8(companionName(toUtf8(video), "ws"));
    Project.WaveSummaryFileName = toUtf8(ws);
    if (exists(ws))
        LabeledEdit2->setText(wav);  // the box holds the WAV name; the loader derives the summary's
    // the film's timeline: its SRT, else an ASS/SSA or WebVTT file of its name
    QString srt = fromUtf8(companionName(toUtf8(video), "srt"));
    if (!exists(srt))
        for (const char* ending : {"ass", "ssa", "vtt"})
            if (const QString other = fromUtf8(companionName(toUtf8(video), ending)); exists(other)) {
                srt = other;
                break;
            }
    Project.TimelineFileName = toUtf8(srt);
    if (exists(srt))
        LabeledEdit3->setText(srt);
    QString txt = fromUtf8(companionName(toUtf8(video), "txt"));
    Project.SubtitleTextFileName = toUtf8(txt);
    if (exists(txt) && !CheckBox1->isChecked())
        LabeledEdit4->setText(txt);

    // A failed measurement leaves nothing the load could take for this
    // video: no length, and no rate either, so that " 下一步 >" refuses a file
    // the player cannot play instead of opening the editor on it with the
    // rate of the film picked before.
    measured_.reset();
    VideoLength length;
    try {
        length = measureVideo(player_, Project.VideoFileName);
    } catch (const MediaError&) {
        length.ms = 0;
    }
    if (length.ms <= 0) {
        Project.FrameRate = 0.0f;
        ComboBox1->setEditText(OpenFileText::FrameRateUnknown);
        showMessage(this, OpenFileText::FormatNotSupported);
        return;
    }
    Project.FrameRate = static_cast<float>(double(length.frames) * 1000.0 / double(length.ms));
    measured_ = MeasuredVideo{Project.VideoFileName, static_cast<int32_t>(length.frames)};
    ComboBox1->setEditText(frameRateBoxText(Project.FrameRate));
    Project.PlayPosition = 0;
}

void TfileOpen::Button2Click()
{
    auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, QString(), OpenFileText::WavFilter, {}});
    if (!chosen)
        return;
    Project.WavFileName = toUtf8(*chosen);
    LabeledEdit2->setText(*chosen);
}

void TfileOpen::Button4Click()
{
    auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, QString(), OpenFileText::TimelineFilter, {}});
    if (!chosen)
        return;
    Project.TimelineFileName = toUtf8(*chosen);
    LabeledEdit3->setText(*chosen);
    Project.NewTimeline = false;
}

void TfileOpen::ButtonNewClick()
{
    // the dialog has already asked before naming an existing file; it starts
    // on the film's name with ".srt" beside the film, what nearly everyone types
    FileDialogRequest request{FileDialogRequest::Kind::Save, QString(), OpenFileText::TimelineFilter, {}};
    if (!LabeledEdit1->text().isEmpty())
        request.proposed = fromUtf8(std::filesystem::path(toUtf8(LabeledEdit1->text())).replace_extension(".srt").string());
    auto chosen = runFileDialog(this, request);
    if (!chosen)
        return;
    // the user's timeline of that name is kept in the backups before it is emptied
    if (!readyToOverwrite(toUtf8(*chosen), saveDialogue(this)))
        return;
    try {
        writeFileAtomically(toUtf8(*chosen), {});
    } catch (const FileError& error) {
        showError(this, error);
        return;
    }
    Project.TimelineFileName = toUtf8(*chosen);
    LabeledEdit3->setText(*chosen);
    Project.NewTimeline = true;
}

void TfileOpen::Button5Click()
{
    auto chosen = runFileDialog(this, {FileDialogRequest::Kind::Open, QString(), OpenFileText::TxtFilter, {}});
    if (!chosen)
        return;
    Project.SubtitleTextFileName = toUtf8(*chosen);
    LabeledEdit4->setText(*chosen);
}

void TfileOpen::CheckBox1Click()
{
    bool textsInSrt = CheckBox1->isChecked();
    Project.TextFromTxtFile = !textsInSrt;
    RadioButton1->setEnabled(!textsInSrt);
    RadioButton2->setEnabled(!textsInSrt);
    LabeledEdit4->setEnabled(!textsInSrt);
    Button5->setEnabled(!textsInSrt);
    if (textsInSrt) {
        LabeledEdit4->clear();
        LabeledEdit3Label->setText(OpenFileText::SrtLabelWithTexts);
    } else {
        LabeledEdit4->setText(fromUtf8(Project.SubtitleTextFileName));
        LabeledEdit3Label->setText(OpenFileText::SrtLabelTimesOnly);
    }
    LabeledEdit3Label->adjustSize();
}

void TfileOpen::RadioButton1Click()
{
    Project.OneLinePerSubtitle = true;
}

void TfileOpen::RadioButton2Click()
{
    Project.OneLinePerSubtitle = false;
}

void TfileOpen::LabeledEdit1Exit()
{
    // typing a name neither derives companions nor measures the frame rate
    Project.VideoFileName = toUtf8(LabeledEdit1->text());
}

void TfileOpen::LabeledEdit2Exit()
{
    Project.WavFileName = toUtf8(LabeledEdit2->text());
}

void TfileOpen::LabeledEdit3Exit()
{
    Project.TimelineFileName = toUtf8(LabeledEdit3->text());
}

void TfileOpen::LabeledEdit4Exit()
{
    Project.SubtitleTextFileName = toUtf8(LabeledEdit4->text());
}

void TfileOpen::ButtonNextClick()
{
    // no second load from inside the first: the screen takes no input meanwhile,
    // but a handler may still be called from code
    if (loading_)
        return;
    LoadRequest request;
    request.VideoFileName = toUtf8(LabeledEdit1->text());
    request.WavFileName = toUtf8(LabeledEdit2->text());
    request.TimelineFileName = toUtf8(LabeledEdit3->text());
    request.SubtitleTextFileName = toUtf8(LabeledEdit4->text());
    request.FrameRate = Project.FrameRate;
    request.NewTimeline = Project.NewTimeline;
    request.TextFromTxtFile = Project.TextFromTxtFile;
    request.OneLinePerSubtitle = Project.OneLinePerSubtitle;

    // another window of the program edits this timeline: its autosaves and
    // saves would be overwritten by this one's
    std::optional<TimelineLock> claimed;
    try {
        claimed = claimTimeline(request.TimelineFileName, projectLock() ? &*projectLock() : nullptr);
    } catch (const UserError& error) {
        showError(this, error);
        return;
    }

    LoadCallbacks callbacks;
    callbacks.videoLengthFrames = [this, measured = measured_](const std::string& video) -> int32_t {
        if (measured && measured->fileName == video)
            return measured->lengthFrames;
        // a name typed into the box since "指定"; the player belongs to the GUI thread
        int32_t frames = 0;
        runOnGuiThread([&] { frames = static_cast<int32_t>(measureVideo(player_, video).frames); });
        return frames;
    };
    callbacks.summaryStarted = [this] {
        postToGuiThread(this, [this] {
            ProgressBar1->setValue(0);
            Label4->show();
            ProgressBar1->show();
        });
    };
    callbacks.progress = [this](int percent) {
        postToGuiThread(this, [this, percent] { ProgressBar1->setValue(percent); });
    };

    // The summary of a long film takes a while: the load runs beside the
    // event loop, so the window paints and the bar moves, while its copy of
    // the project keeps a failed load away from the one the editor sees.
    ProjectState work = Project;
    LoadOutcome outcome;
    {
        struct Loading {
            bool& flag;
            explicit Loading(bool& f) : flag(f) { flag = true; }
            ~Loading() { flag = false; }
        } loading(loading_);
        // the loader reports its own failures; anything else it throws is a
        // fault of the program and goes on up from here
        try {
            runBesideEventLoop([&] { outcome = loadProject(request, work, callbacks); });
        } catch (const UserError& error) {
            outcome.messages = {error.what()};
        }
    }
    Project = std::move(work);

    if (!outcome.ok) {
        if (!outcome.summaryShown) {
            Label4->hide();
            ProgressBar1->hide();
        }
        for (const std::string& message : outcome.messages)
            showMessage(this, message);
        return;
    }
    Label4->hide();
    ProgressBar1->hide();
    ProgressBar1->setValue(0);
    if (claimed)
        projectLock() = std::move(claimed);
    offerRecovery();
    Project.NextPage = Page::Editor;
    accept();
}

// The timeline just loaded has an autosaved copy with changes the last run
// did not save: the user takes it into the editor (undoable there, and
// written by the next save) or moves it aside.
void TfileOpen::offerRecovery()
{
    try {
        const std::optional<RecoveryOffer> offer = recoveryOffer(Project.TimelineFileName);
        if (!offer)
            return;
        if (!askYesNo(this, fromUtf8(std::string(MsgRecoveryTitle)), fromUtf8(recoveryQuestion(*offer)))) {
            // a signal closing the question is no answer: it is asked again at the next start
            if (!endingBySignal())
                declineRecovery(*offer);
            return;
        }
        commitNewTimeline(Project, [&](TimelineState&) { restoreRecoveredTimeline(Project, *offer); });
    } catch (const UserError& error) {
        // the project opens as its files hold it
        showError(this, error);
    }
}

}  // namespace vt
