#include "editor/TimeLineEditUnit.h"

#include "core/FileIO.h"
#include "core/Numbers.h"
#include "core/ProjectState.h"
#include "core/TimelineWriter.h"
#include "editor/CurrentLine.h"
#include "editor/PlayControl.h"
#include "core/UndoHistory.h"
#include "editor/WaveStrip.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/FilmSoundSummary.h"
#include "analysis/ShotSearch.h"
#include "analysis/SpeechSearch.h"
#include "editor/ShotSnap.h"
#include "platform/FilmPictures.h"
#include "platform/FilmSound.h"
#include "platform/VoiceActivity.h"
#include "platform/KeyTranslation.h"
#include "platform/Look.h"
#include "platform/MediaPlayer.h"
#include "platform/Messages.h"
#include "platform/TimelineSave.h"
#include "platform/Timer.h"
#include "platform/TrackBar.h"
#include "platform/WindowInput.h"
#include "editor/HelpUnit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTime>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace vt {

namespace {

// The window is designed at 96 dots per inch.
int pointsToPixels(int points)
{
    return (points * 96 + 36) / 72;
}

QLabel* fixedLabel(const QString& text, QWidget* parent, const QFont& font, int width, int height)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(font);
    label->resize(width, height);
    return label;
}

QPushButton* designButton(const QString& caption, QWidget* parent, int width, int pixelHeight)
{
    auto* button = new QPushButton(caption, parent);
    button->setFont(programFont(QStringLiteral("宋体"), pixelHeight));
    button->resize(width, 25);
    // a page screen: Enter does not press a button behind the user's back
    button->setAutoDefault(false);
    return button;
}

void setTextColour(QWidget& widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(role, colour);
    widget.setPalette(palette);
}

std::optional<MouseButton> mouseButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return MouseButton::Left;
    case Qt::RightButton: return MouseButton::Right;
    case Qt::MiddleButton: return MouseButton::Middle;
    default: return std::nullopt;
    }
}

// One notch of a mouse wheel.
constexpr int WheelNotch = 120;

}  // namespace

QFont labeltxtFont(const LabelFont& style)
{
    return programFont(QString::fromUtf8(style.Name.data(), qsizetype(style.Name.size())),
                       pointsToPixels(style.PointSize));
}

TplayAndEdit::TplayAndEdit(QWidget* owner) : QDialog(owner)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    setWindowTitle(ApplicationTitle);
    resize(EditorClientWidth, EditorClientHeight);
    setMinimumSize(636, 420);
    setBackground(*this, QColor(128, 128, 128));
    setFont(programFont(QStringLiteral("MS Sans Serif"), 11));
    // the window keeps the keyboard, so that Space and the arrows reach the
    // timeline and not a button or a bar the pointer happened to pass
    setFocusPolicy(Qt::StrongFocus);
    createControls();
    connectHandlers();
    FormCreate();
    centreOnScreen(*this);
}

TplayAndEdit::~TplayAndEdit() = default;

MediaPlayer& TplayAndEdit::MediaPlayer1()
{
    return *player_;
}

void TplayAndEdit::createControls()
{
    createPlaybackBars();
    createTimeAndSubtitleRows();
    createWaveRow();
    createBottomRow();
    TimerForPlay = new Timer(EditorTimerMs, this);
    TimerForWav = new Timer(EditorTimerMs, this);

    setTabOrder(ButtonHelp, ButtonSave);
    setTabOrder(ButtonSave, ButtonBack);
    setTabOrder(ButtonBack, ButtonNext);
    setTabOrder(ButtonNext, TrackBar1);
    setTabOrder(TrackBar1, TrackBar2);
    setTabOrder(TrackBar2, Edit1);
    setTabOrder(Edit1, CheckBoxTime);
    setTabOrder(CheckBoxTime, CheckBoxText);
    setTabOrder(CheckBoxText, RadioGroup1Items[0]);
}

void TplayAndEdit::createPlaybackBars()
{
    TrackBar1 = new TrackBar(Qt::Horizontal, this);
    TrackBar1->setRange(0, 20);
    TrackBar1->setPageStep(1);
    TrackBar1->setValue(SpeedGaugeThumb);
    TrackBar1->resize(SpeedGaugeWidth, 24);
    TrackBar1->setToolTip(EditorText::SpeedHint);
    TrackBar1->setEnabled(false);
    TrackBar1->hide();

    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setRange(1, 10000);
    ScrollBar1->setPageStep(300);
    ScrollBar1->setSingleStep(10);
    ScrollBar1->setValue(1);
    ScrollBar1->setFocusPolicy(Qt::NoFocus);
    ScrollBar1->resize(EditorClientWidth, 14);
}

void TplayAndEdit::createTimeAndSubtitleRows()
{
    const QFont song13 = programFont(QStringLiteral("宋体"), 13);
    const QFont system13 = programFont(QStringLiteral("System"), 13);
    // 16 high, as designed, it would run 2 px under the subtitle label
    LabelTime = fixedLabel(EditorText::TimeZero, this, song13, 89, 14);
    LabelTimeIn = fixedLabel(EditorText::TimeIn, this, system13, 97, 16);
    LabelArrow = fixedLabel(EditorText::Arrow, this, song13, 25, 16);
    LabelTimeOut = fixedLabel(EditorText::TimeOut, this, system13, 97, 16);
    CheckBoxCuts = new QCheckBox(EditorText::SnapToCuts, this);
    CheckBoxCuts->setFont(system13);
    CheckBoxCuts->resize(76, 16);
    widenToFitCaption(*CheckBoxCuts);
    CheckBoxCuts->setToolTip(EditorText::SnapToCutsHint);
    // the keys stay with the window
    CheckBoxCuts->setFocusPolicy(Qt::NoFocus);
    LabelReading = fixedLabel(QString(), this, system13, 100, 16);
    LabelReading->setToolTip(EditorText::ReadingHint);
    LabelSaved = fixedLabel(EditorText::Saved + QStringLiteral("00:00:00"), this, system13, 110, 16);
    LabelSaved->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelSaved->hide();
    savedSignTimer_ = new QTimer(this);
    savedSignTimer_->setSingleShot(true);
    connect(savedSignTimer_, &QTimer::timeout, LabelSaved, &QLabel::hide);

    Labeltxt = fixedLabel(EditorText::Subtitle, this, labeltxtFont(InsideLineFont), EditorClientWidth - 2, 24);
    Labeltxt->setAutoFillBackground(true);
    setTextColour(*Labeltxt, QPalette::Window, QColor(192, 192, 192));
    setTextColour(*Labeltxt, QPalette::WindowText, Qt::black);
    Labeltxt->setToolTip(EditorText::SubtitleHint);

    Edit1 = new QLineEdit(this);
    Edit1->setAlignment(Qt::AlignCenter);
    Edit1->setFont(programFont(QStringLiteral("宋体"), 16));
    setTextColour(*Edit1, QPalette::Text, QColor(0, 0, 128));
    Edit1->resize(EditorClientWidth - 2, 24);
    Edit1->hide();
}

void TplayAndEdit::createWaveRow()
{
    PaintBoxWav = new WaveStrip(this);
    PaintBoxWav->resize(EditorClientWidth - 128, WaveStripHeight);
    PaintBoxWav->setAccessibleDescription(EditorText::WaveHint);
    PaintBoxWavProgress = new SummaryProgressBar(this);
    PaintBoxWavSpeech = new SpeechBand(this);

    RadioGroup1 = new QGroupBox(EditorText::StepSize, this);
    RadioGroup1->resize(40, 122);
    RadioGroup1->setToolTip(EditorText::StepSizeHint);
    auto* items = new QButtonGroup(RadioGroup1);
    const auto captions = stepSizeItems();
    for (size_t i = 0; i < RadioGroup1Items.size(); ++i) {
        auto* item = new QRadioButton(QString::fromUtf8(captions[i].caption), RadioGroup1);
        item->setGeometry(4, 18 + int(i) * 25, 34, 22);
        item->setFocusPolicy(Qt::TabFocus);
        items->addButton(item, int(i));
        RadioGroup1Items[i] = item;
    }
    RadioGroup1Items[2]->setChecked(true);

    TrackBar2 = new QSlider(Qt::Vertical, this);
    TrackBar2->setRange(-10, 10);
    TrackBar2->setValue(0);
    TrackBar2->setTickPosition(QSlider::NoTicks);
    // -10, the loudest drawing, at the top
    TrackBar2->setInvertedAppearance(true);
    TrackBar2->setInvertedControls(true);
    TrackBar2->setToolTip(EditorText::ScaleHint);
    TrackBar2->setFocusPolicy(Qt::TabFocus);
    TrackBar2->resize(32, 139);
}

void TplayAndEdit::createBottomRow()
{
    LabelEditStyle = new QLabel(EditorText::EditStyle, this);
    LabelEditStyle->setFont(programFont(QStringLiteral("宋体"), 13));
    LabelEditStyle->resize(44, 19);

    CheckBoxTime = new QCheckBox(EditorText::Times, this);
    CheckBoxTime->resize(58, 25);
    CheckBoxText = new QCheckBox(EditorText::Texts, this);
    CheckBoxText->resize(46, 25);
    for (QCheckBox* box : {CheckBoxTime, CheckBoxText}) {
        widenToFitCaption(*box);
        box->setChecked(true);
        box->setFocusPolicy(Qt::TabFocus);
    }

    ButtonHelp = designButton(EditorText::Help, this, 81, 13);
    ButtonSave = designButton(EditorText::Save, this, 81, 13);
    ButtonBack = designButton(EditorText::Back, this, 89, 16);
    ButtonNext = designButton(EditorText::Next, this, 89, 16);
    for (QPushButton* button : {ButtonHelp, ButtonSave, ButtonBack, ButtonNext})
        button->setFocusPolicy(Qt::TabFocus);
}

void TplayAndEdit::connectHandlers()
{
    TimerForPlay->onTimer = [this] { TimerForPlayTimer(); };
    TimerForWav->onTimer = [this] { TimerForWavTimer(); };
    connect(PaintBoxWav, &WaveStrip::entered, this, [this] { PaintBoxWavMouseEnter(); });
    connect(PaintBoxWav, &WaveStrip::moved, this, [this](int x) { PaintBoxWavMouseMove(x); });
    connect(PaintBoxWav, &WaveStrip::pressed, this, [this](Qt::MouseButton button) {
        if (auto b = mouseButtonOf(button))
            PaintBoxWavMouseDown(*b);
    });
    Labeltxt->installEventFilter(this);
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1KeyPress('\r'); });
    // every notification: arrows, page clicks, the thumb dragged and let go
    connect(ScrollBar1, &QScrollBar::actionTriggered, this, [this] { ScrollBar1Scroll(); });
    connect(ScrollBar1, &QScrollBar::sliderReleased, this, [this] { ScrollBar1Scroll(); });
    // toggled, not clicked: a tick set from code (a key, a visit restored) acts as a click does
    connect(CheckBoxTime, &QCheckBox::toggled, this, [this] { CheckBoxTimeClick(); });
    connect(CheckBoxText, &QCheckBox::toggled, this, [this] { CheckBoxTextClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });
    connect(ButtonBack, &QPushButton::clicked, this, [this] { ButtonBackClick(); });
    connect(ButtonNext, &QPushButton::clicked, this, [this] { ButtonNextClick(); });

    keyPreview_ = new KeyPreview(*this, [this](int qtKey) {
        const KeyModifiers held = keyModifiersOf(qtKey);
        if (held.ctrl && HistoryKeyDown(qtKeyToVirtualKey(qtKey), held.shift)) {
            showUnsaved();
            return;
        }
        FormKeyDown(qtKeyToVirtualKey(qtKey));
    });
    // moves without a button reach the window wherever a control does not
    // keep them; a disabled control or a hidden one never does
    trackPointerMoves(*this);
    for (QWidget* control : std::initializer_list<QWidget*>{
             ScrollBar1, LabelTime, LabelTimeIn, LabelArrow, LabelTimeOut, Edit1, RadioGroup1, TrackBar2,
             LabelEditStyle, CheckBoxTime, CheckBoxText, ButtonHelp, ButtonSave, ButtonBack, ButtonNext})
        keepMovesWhileEnabled(*control);
    for (QRadioButton* item : RadioGroup1Items)
        keepMovesWhileEnabled(*item);
}

int TplayAndEdit::RadioGroup1ItemIndex() const
{
    return checkedIndex(RadioGroup1Items);
}

void TplayAndEdit::setRadioGroup1ItemIndex(int index)
{
    checkIndex(RadioGroup1Items, index);
}

// ---------------------------------------------------------------------------
// Lifecycle

void TplayAndEdit::FormCreate()
{
    player_ = createMediaPlayer();
    session_ = std::make_unique<EditorSession>(Project, TimelineHistory, *player_, [this] { proSaveSrt(); });
    help_ = new THelp(this);
}

void TplayAndEdit::FormShow()
{
    // "[*]": Qt's place for the desktop's mark of unsaved changes, shown only while they are
    setWindowTitle(EditorText::CaptionPrefix + QString::fromStdString(Project.TimelineFileName) +
                   QStringLiteral("[*]"));
    showUnsaved();
    LabelSaved->hide();
    // only the page loop's tests show the editor with no project loaded
    live_ = Project.FrameRate > 0 && !Project.TimelineFileName.empty();
    if (live_)
        startPlayer();
    keyPreview_->setEnabled(live_);
    PulsePhase = 0;
    PlaySpeed = NormalPlaySpeed;
    if (live_) {
        TimerForWav->setInterval(framePeriodMs(Project.FrameRate));
        TimerForPlay->setEnabled(true);
        TimerForWav->setEnabled(true);
        if (Project.FilmSoundPending)
            startFilmSound();
        startSpeechSearch();
        startShotSearch();
    }
    session_->beginVisit();
    // the history goes on from the last visit, unless a load changed the timeline since
    if (live_)
        session_->followTimeline();
    Project.NextPage = Page::Quit;
    CheckBoxText->setChecked(!Project.TextFromTxtFile);
    ScrollBar1->setMinimum(1);
    if (player_->isOpen())
        Project.VideoLengthFrames = clampToInt32(player_->length());
    const int maximum = clampToInt32(int64_t{Project.VideoLengthFrames} * 1031 / 1000);
    ScrollBar1->setMaximum(maximum);
    ScrollBar1->setPageStep(maximum / 32);
    ScrollBar1->setValue(playerPosition());
    runPlayer(PlayerCommand::play());
    setFocus();
}

// Opens the video into the window itself. A video the player turns away was
// accepted by the open-project screen; the editor goes on without a picture.
void TplayAndEdit::startPlayer()
{
    player_->setFileName(Project.VideoFileName);
    player_->setDisplayWindow(this);
    try {
        player_->open();
    } catch (const MediaError& error) {
        QTimer::singleShot(0, this, [this, text = std::string(error.what())] { showMessage(this, text); });
        return;
    }
    player_->setTimeFormat(MediaPlayer::TimeFormat::Frames);
}

// The placeholder is drawn at once; the film's own sound replaces it pair by
// pair on the refresh ticks (takeFilmSound) while the user already works.
void TplayAndEdit::startFilmSound()
{
    const std::string video = Project.VideoFileName;
    filmSound_ = std::make_unique<FilmSoundSummary>(
        [video](const std::atomic<bool>& cancel) { return openFilmSound(video, cancel); }, filmSoundCacheFile(video));
}

void TplayAndEdit::takeFilmSound()
{
    const FilmSoundSummary::Delivery delivery = filmSound_->deliver(
        Project.WaveSummary, Project.WaveMarks, Project.Timeline, Project.TimelineCount, Project.FrameRate);
    PaintBoxWavProgress->setPermille(delivery.permille);
    if (!delivery.done)
        return;
    // a film without usable sound is not tried again at the next visit
    Project.FilmSoundPending = delivery.stage == FilmSoundSummary::Stage::Stopped;
    filmSound_.reset();
    // The marks took the sound's real length: the steps recorded over the
    // placeholder's length no longer fit them, and taking one back would
    // leave the marks as long as the placeholder. The history starts over
    // (the timeline itself is untouched).
    session_->followTimeline();
}

// Waits for the decoding thread; what it delivered stays, the next visit
// starts over (and the placeholder shows where nothing came). The speech
// search stops with it.
void TplayAndEdit::stopFilmSound()
{
    filmSound_.reset();
    speech_.reset();
    shots_.reset();
    PaintBoxWavProgress->setPermille(std::nullopt);
}

// Speech is looked for once per sound and frame rate; the keys that use it
// do nothing until it is found, and the editor works meanwhile.
void TplayAndEdit::startSpeechSearch()
{
    const std::string sound = speechSoundFile(Project.VideoFileName, Project.WavFileName);
    if (sound == Project.SpeechSoundFile && Project.FrameRate == Project.SpeechFrameRate)
        return;
    Project.SpeechSpans.clear();
    Project.SpeechSoundFile.clear();
    speech_ = std::make_unique<SpeechSearch>(
        [sound](const std::atomic<bool>& cancel) { return openFilmSound(sound, cancel); },
        [] { return openVoiceActivity(); }, speechCacheFile(sound));
}

void TplayAndEdit::takeSpeech()
{
    std::optional<SpeechSpanList> found = speech_->take();
    if (!found)
        return;
    Project.SpeechSpans = speechFramesOf(*found, Project.FrameRate);
    Project.SpeechSoundFile = speechSoundFile(Project.VideoFileName, Project.WavFileName);
    Project.SpeechFrameRate = Project.FrameRate;
    speech_.reset();
}

// Cuts are looked for once per film and frame rate; until they are found
// the container's key frames stand in for them on the strip, and snapping
// uses only the cuts found.
void TplayAndEdit::startShotSearch()
{
    const std::string film = Project.VideoFileName;
    const float rate = Project.FrameRate;
    if (film == Project.ShotChangesFile && rate == Project.ShotChangesFrameRate)
        return;
    Project.ShotChanges.clear();
    Project.ShotKeyFrames.clear();
    Project.ShotChangesFile.clear();
    shots_ = std::make_unique<ShotSearch>(
        [film, rate](int64_t from, const std::atomic<bool>& cancel) {
            return openFilmPictures(film, rate, cancel, AnalysisWidth, from);
        },
        [film, rate](const std::atomic<bool>& cancel) { return keyFramesOf(film, rate, cancel); }, rate,
        Project.PlayPosition, shotChangesCacheFile(film));
}

void TplayAndEdit::takeShots()
{
    std::optional<ShotMarks> marks = shots_->take();
    if (!marks)
        return;
    Project.ShotChanges = std::move(marks->cuts);
    Project.ShotKeyFrames = std::move(marks->keyFrames);
    if (!marks->finished)
        return;
    Project.ShotChangesFile = Project.VideoFileName;
    Project.ShotChangesFrameRate = Project.FrameRate;
    shots_.reset();
}

void TplayAndEdit::followPlayRound()
{
    if (const std::optional<EditorEffect> stand = session_->followPlayRound(PlaySpeed))
        apply(*stand);
}

// Restores what the last visit left, once: a later activation (the help
// window closed, the user back from another program) must neither step the
// video on again nor undo the user's choices since.
void TplayAndEdit::FormActivate()
{
    if (restored_ || !live_)
        return;
    restored_ = true;
    // the player has run on since it opened: to the remembered frame itself
    if (player_->isOpen())
        player_->step(clampToInt32(int64_t{Project.PlayPosition} - playerPosition()));
    ScrollBar1->setValue(Project.PlayPosition);
    setRadioGroup1ItemIndex(Project.StepSizeIndex);
    TrackBar2->setValue(Project.WaveScale);
    CheckBoxTime->setChecked(Project.EditTimes);
    CheckBoxText->setChecked(Project.EditTexts);
    CheckBoxCuts->setChecked(Project.SnapToCuts);
    if (Project.EditorLeft >= 0 && Project.EditorTop >= 0 && Project.EditorWidth >= 1 && Project.EditorHeight >= 1)
        setOuterGeometry(*this, QRect(Project.EditorLeft, Project.EditorTop, Project.EditorWidth, Project.EditorHeight));
}

namespace {

// Where FormResize puts the controls, in pixels. The rows keep their distance
// from the client area's bottom edge, so a taller window gives the room to
// the picture; across, a control is centred or keeps its distance from the
// nearer side or from its neighbour.
namespace Layout {

// The picture ends this far above the bottom edge; the progress bar starts there.
constexpr int PictureBandFromBottom = 250;
constexpr int ProgressBarLeft = 1;

// The time row: the play position's time, the current line's ends and
// reading, the snap box and the saved sign.
constexpr int TimeRowFromBottom = 236;
// The play position's time sits this much lower, into the subtitle label's band.
constexpr int PlayTimeDrop = 2;
constexpr int SavedSignRightMargin = 8;
constexpr int ReadingGapAfterOutPoint = 6;
constexpr int ReadingGapBeforeSavedSign = 4;
constexpr int ReadingHeight = 16;
constexpr int SnapBoxGapBeforeTime = 6;
constexpr int SnapBoxLeftmost = 2;

// The subtitle label, and the text box in its place, a pixel in from each side.
constexpr int SubtitleRowFromBottom = 220;
constexpr int SubtitleInset = 1;

// The strip row: the step sizes on the left, the strip centred, the scale on the right.
constexpr int StripRowFromBottom = 192;
constexpr int StepSizeLeft = 14;
constexpr int StepSizeDrop = 2;
constexpr int StripSideMargin = 64;
// The speech band ends this far above the strip.
constexpr int SpeechBandGap = 1;
constexpr int ScaleFromRight = 64;
// The scale reaches from the subtitle label's lower edge (designed 3 px
// higher, into the label) down to 7 px below the strip.
constexpr int ScaleRise = 4;
constexpr int ScaleWidth = 32;
constexpr int ScaleHeight = 139;

// The bottom row: help and save on the left, back and next on the right,
// the columns to edit a little left of the centre.
constexpr int ButtonRowFromBottom = 45;
constexpr int ButtonSideMargin = 63;
constexpr int ButtonGap = 4;
constexpr int EditColumnsLeftOfCentre = 6;
constexpr int EditStyleDrop = 7;

}  // namespace Layout

}  // namespace

void TplayAndEdit::FormResize()
{
    using namespace Layout;
    const int cw = width();
    const int ch = height();
    const int y0 = ch - PictureBandFromBottom;
    TrackBar1->move((cw - TrackBar1->width()) / 2, 0);
    runPlayer(PlayerCommand::play());
    layOutPicture(cw, y0);
    // it starts a pixel in, so it ends a pixel early to stay inside the window
    ScrollBar1->setGeometry(ProgressBarLeft, y0, cw - ProgressBarLeft, ScrollBar1->height());

    const int y1 = ch - TimeRowFromBottom;
    const int arrowLeft = (cw - LabelArrow->width()) / 2;
    LabelTime->move(cw / 4 - LabelTime->width(), y1 + PlayTimeDrop);
    LabelTimeIn->move(arrowLeft - LabelTimeIn->width(), y1);
    LabelArrow->move(arrowLeft, y1);
    LabelTimeOut->move((cw + LabelArrow->width()) / 2, y1);
    LabelSaved->move(cw - SavedSignRightMargin - LabelSaved->width(), y1);
    // in the room between the out-point and the saved sign
    const int readingLeft = LabelTimeOut->x() + LabelTimeOut->width() + ReadingGapAfterOutPoint;
    LabelReading->setGeometry(readingLeft, y1, std::max(0, LabelSaved->x() - ReadingGapBeforeSavedSign - readingLeft),
                              ReadingHeight);
    // left of the play position's time, in the room the row leaves there
    CheckBoxCuts->move(std::max(SnapBoxLeftmost, LabelTime->x() - SnapBoxGapBeforeTime - CheckBoxCuts->width()), y1);

    const int y2 = ch - SubtitleRowFromBottom;
    Labeltxt->setGeometry(SubtitleInset, y2, cw - 2 * SubtitleInset, Labeltxt->height());
    Edit1->setGeometry(SubtitleInset, y2, cw - 2 * SubtitleInset, Edit1->height());

    const int y3 = ch - StripRowFromBottom;
    RadioGroup1->move(StepSizeLeft, y3 + StepSizeDrop);
    PaintBoxWav->setGeometry(StripSideMargin, y3, cw - 2 * StripSideMargin, WaveStripHeight);
    // in the gap between the strip and the bottom row
    PaintBoxWavProgress->setGeometry(PaintBoxWav->x(), y3 + WaveStripHeight, PaintBoxWav->width(),
                                     SummaryProgressHeight);
    // in the 4-pixel gap between the subtitle label and the strip
    PaintBoxWavSpeech->setGeometry(PaintBoxWav->x(), y3 - SpeechBandHeight - SpeechBandGap, PaintBoxWav->width(),
                                   SpeechBandHeight);
    TrackBar2->setGeometry(cw - ScaleFromRight, y3 - ScaleRise, ScaleWidth, ScaleHeight);

    const int y4 = ch - ButtonRowFromBottom;
    ButtonHelp->move(ButtonSideMargin, y4);
    ButtonSave->move(ButtonHelp->x() + ButtonHelp->width() + ButtonGap, y4);
    const int xn = cw - ButtonNext->width() - ButtonSideMargin;
    ButtonBack->move(xn - ButtonBack->width() - ButtonGap, y4);
    ButtonNext->move(xn, y4);
    const int xc = (cw - CheckBoxTime->width()) / 2 - EditColumnsLeftOfCentre;
    LabelEditStyle->move(xc - LabelEditStyle->width(), y4 + EditStyleDrop);
    CheckBoxTime->move(xc, y4);
    CheckBoxText->move(xc + CheckBoxTime->width(), y4);
}

// The picture fills the band above the progress bar, keeps its proportions
// (each resize starts from the rectangle of the one before) and is centred.
void TplayAndEdit::layOutPicture(int clientWidth, int pictureHeight)
{
    const QRect shown = player_->displayRect();
    if (shown.isEmpty() || pictureHeight <= 0)
        return;  // no picture to place
    const float s = float(shown.height()) / float(pictureHeight);
    const double width = double(shown.width()) / double(s);
    player_->setDisplayRect(QRect(int((clientWidth - width) / 2), 0, int(width), pictureHeight));
}

bool TplayAndEdit::FormClose()
{
    rememberSettings();
    TimerForWav->setEnabled(false);
    TimerForPlay->setEnabled(false);
    keyPreview_->setEnabled(false);
    player_->close();
    ScrollBar1->setMinimum(1);
    ScrollBar1->setPageStep(5);
    ScrollBar1->setValue(1);
    ScrollBar1->setMaximum(100);
    if (live_ && !saveTimeline() && !mayLeaveUnsaved(this, Project)) {
        resumeAfterFailedClose();
        return false;
    }
    stopFilmSound();
    live_ = false;
    help_->hide();
    return true;
}

void TplayAndEdit::rememberSettings()
{
    if (player_->isOpen())
        Project.PlayPosition = playerPosition();
    Project.StepSizeIndex = int8_t(RadioGroup1ItemIndex());
    Project.WaveScale = int8_t(TrackBar2->value());
    Project.EditTimes = CheckBoxTime->isChecked();
    Project.EditTexts = CheckBoxText->isChecked();
    Project.SnapToCuts = CheckBoxCuts->isChecked();
    const QRect outer = frameGeometry();
    Project.EditorLeft = outer.left();
    Project.EditorTop = outer.top();
    Project.EditorWidth = outer.width();
    Project.EditorHeight = outer.height();
}

// The timeline could not be written: the window stays open as it was, so
// that nothing edited is lost, and leaving it tries the save again.
void TplayAndEdit::resumeAfterFailedClose()
{
    startPlayer();
    if (player_->isOpen()) {
        player_->step(Project.PlayPosition);
        ScrollBar1->setMaximum(clampToInt32(int64_t{Project.VideoLengthFrames} * 1031 / 1000));
        ScrollBar1->setPageStep(ScrollBar1->maximum() / 32);
        ScrollBar1->setValue(Project.PlayPosition);
        layOutPicture(width(), height() - Layout::PictureBandFromBottom);
    }
    Project.NextPage = Page::Quit;
    keyPreview_->setEnabled(true);
    TimerForPlay->setEnabled(true);
    TimerForWav->setEnabled(true);
}

bool TplayAndEdit::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TplayAndEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    FormResize();
    // The window becomes active right after it is shown; without a window
    // manager (or on a screen-less platform) it may never be told so.
    QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TplayAndEdit::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TplayAndEdit::done(int result)
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

// ---------------------------------------------------------------------------
// Qt's events to the handlers

void TplayAndEdit::mouseMoveEvent(QMouseEvent* event)
{
    FormMouseMove(int(event->position().x()), int(event->position().y()));
}

void TplayAndEdit::mousePressEvent(QMouseEvent* event)
{
    if (auto button = mouseButtonOf(event->button()))
        FormMouseDown(*button, int(event->position().y()));
}

// Turns over the strip, the picture, the labels and the buttons come here;
// the progress bar and the scale bar keep theirs while they are shown.
void TplayAndEdit::wheelEvent(QWheelEvent* event)
{
    wheelDelta_ += event->angleDelta().y();
    for (; wheelDelta_ >= WheelNotch; wheelDelta_ -= WheelNotch)
        FormMouseWheelUp();
    for (; wheelDelta_ <= -WheelNotch; wheelDelta_ += WheelNotch)
        FormMouseWheelDown();
}

// A page screen: Esc closes neither the window nor the text field, and
// Enter presses no button. The keys have been seen by the key preview.
void TplayAndEdit::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

bool TplayAndEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Labeltxt) {
        if (event->type() == QEvent::MouseMove) {
            LabeltxtMouseMove();
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            LabeltxtDblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Handlers

void TplayAndEdit::TimerForPlayTimer()
{
    followPlayRound();
    ScrollBar1->setValue(playerPosition());
    TrackBar1->setValue(SpeedGaugeThumb);
    apply(playTick(PlaySpeed, PulsePhase, Project.FrameRate));
}

void TplayAndEdit::TimerForWavTimer()
{
    if (filmSound_)
        takeFilmSound();
    if (speech_)
        takeSpeech();
    if (shots_)
        takeShots();
    session_->WaveView.WaveWidth = PaintBoxWav->width();
    const int32_t position = playerPosition();
    session_->CurrentLine = GetCurrLineNumb(Project.Timeline, Project.TimelineCount, Project.WaveMarks, Project.FrameRate,
                                  session_->WaveView, position);
    showPicture(ShowWav({Project.WaveSummary, Project.WaveMarks, Project.Timeline, Project.TimelineCount,
                         Project.FrameRate, position, session_->CurrentLine, TrackBar2->value(), &Project.SpeechSpans,
                         &Project.ShotChanges, &Project.ShotKeyFrames, &Project.Rules},
                        session_->WaveView));
    if (pendingWavInterval_) {
        TimerForWav->setInterval(*pendingWavInterval_);
        pendingWavInterval_.reset();
    }
}

void TplayAndEdit::FormMouseMove(int x, int y)
{
    apply(vt::FormMouseMove(x, y, width(), height(), Edit1->isVisible()));
}

void TplayAndEdit::FormMouseDown(MouseButton button, int y)
{
    if (live_)
        apply(vt::FormMouseDown(button, y, frameGeometry().height(), playerPosition(), Project.FrameRate, session_->WaveView,
                                Project.WaveMarks));
}

void TplayAndEdit::FormMouseWheelDown()
{
    if (live_)
        apply(FormMouseWheel(WheelTurn::TowardsUser, RadioGroup1ItemIndex()));
}

void TplayAndEdit::FormMouseWheelUp()
{
    if (live_)
        apply(FormMouseWheel(WheelTurn::AwayFromUser, RadioGroup1ItemIndex()));
}

bool TplayAndEdit::HistoryKeyDown(int32_t virtualKey, bool shift)
{
    if (!live_)
        return false;
    const EditorEffect effect = historyKeyDown(virtualKey, shift, Edit1->isVisible());
    if (effect.command.op == EditOp::None)
        return false;
    apply(effect);
    return true;
}

void TplayAndEdit::FormKeyDown(int32_t virtualKey)
{
    if (live_)
        apply(vt::FormKeyDown(virtualKey, Edit1->isVisible(), RadioGroup1ItemIndex(), PlaySpeed));
}

void TplayAndEdit::PaintBoxWavMouseEnter()
{
    apply(vt::PaintBoxWavMouseEnter());
}

void TplayAndEdit::PaintBoxWavMouseMove(int x)
{
    apply(vt::PaintBoxWavMouseMove(x, PaintBoxWav->width()));
}

void TplayAndEdit::PaintBoxWavMouseDown(MouseButton button)
{
    if (live_)
        apply(vt::PaintBoxWavMouseDown(button, session_->WaveView, Project.FrameRate));
}

void TplayAndEdit::LabeltxtMouseMove()
{
    apply(vt::LabeltxtMouseMove());
}

void TplayAndEdit::LabeltxtDblClick()
{
    if (!live_)
        return;
    textEdit_ = beginTextEdit(Project.Timeline, Project.TimelineCount, Project.WaveMarks, Project.FrameRate,
                              session_->WaveView, playerPosition());
    session_->CurrentLine = textEdit_ ? textEdit_->Slot : -1;
    if (!textEdit_)
        return;
    TimerForPlay->setEnabled(false);
    TimerForWav->setEnabled(false);
    Edit1->setText(QString::fromStdU16String(textEdit_->Text));
    Edit1->show();
    Edit1->raise();
    Edit1->setFocus();
}

void TplayAndEdit::Edit1KeyPress(int key)
{
    if (key == '\r')
        commitTypedText();
}

void TplayAndEdit::commitTypedText()
{
    if (!textEdit_)
        return;
    session_->storeText(*textEdit_, Edit1->text().toStdU16String());
    showUnsaved();
    textEdit_.reset();
    Edit1->hide();
    setFocus();
    TimerForWav->setEnabled(true);
    TimerForPlay->setEnabled(true);
}

void TplayAndEdit::ScrollBar1Scroll()
{
    apply(vt::ScrollBar1Scroll(ScrollBar1->sliderPosition(), playerPosition()));
}

void TplayAndEdit::CheckBoxTimeClick()
{
    showColumns(vt::CheckBoxTimeClick(columns()));
}

void TplayAndEdit::CheckBoxTextClick()
{
    showColumns(vt::CheckBoxTextClick(columns()));
}

void TplayAndEdit::ButtonHelpClick()
{
    apply(buttonAction(EditorButton::Help));
}

void TplayAndEdit::ButtonSaveClick()
{
    apply(buttonAction(EditorButton::Save));
}

void TplayAndEdit::ButtonBackClick()
{
    apply(buttonAction(EditorButton::Back));
}

void TplayAndEdit::ButtonNextClick()
{
    apply(buttonAction(EditorButton::Next));
}

void TplayAndEdit::proSaveSrt()
{
    vt::proSaveSrt(Project.Timeline, Project.TimelineCount, Project.FrameRate, Project.TimelineFileName,
                   Project.TimelineEncoding, Project.NewTimeline, saveDialogue(this), Project.TimelineFileDocument.get());
}

// ---------------------------------------------------------------------------
// Carrying effects out

void TplayAndEdit::apply(const EditorEffect& effect)
{
    if (effect.restartWavTimer)
        TimerForWav->setEnabled(false);
    for (const PlayerCommand& command : effect.playerCommands)
        runPlayer(command);
    if (effect.playSpeed)
        PlaySpeed = *effect.playSpeed;
    if (effect.pulsePhase)
        PulsePhase = *effect.pulsePhase;
    if (effect.mouseOverWave)
        session_->WaveView.MouseOverWave = *effect.mouseOverWave;
    if (effect.waveMouseX)
        session_->WaveView.WaveMouseX = *effect.waveMouseX;
    runEditCommand(effect.command);
    if (effect.playIntervalMs)
        TimerForPlay->setInterval(*effect.playIntervalMs);
    if (effect.wavIntervalMs)
        setWavInterval(*effect.wavIntervalMs);
    if (effect.restartWavTimer)
        TimerForWav->setEnabled(live_);
    if (effect.pointer && cursor().shape() != cursorShape(*effect.pointer))
        setCursor(cursorShape(*effect.pointer));
    if (effect.speedGauge)
        TrackBar1->setSelection(effect.speedGauge->start, effect.speedGauge->end);
    applyReveal(effect.reveal);
    if (effect.nextPage)
        Project.NextPage = *effect.nextPage;
    if (effect.save)
        saveTimeline();
    if (effect.showHelp)
        help_->show();
    if (effect.closeEditor)
        close();
}

// A key or a pointer move asks for the refresh at once (10 ms). A play tick
// at standstill that comes before it sets 100 ms, and a new interval restarts
// the countdown: the change the key made would show only a tenth of a second
// later. The slower interval therefore waits until the asked-for refresh has
// been drawn.
void TplayAndEdit::setWavInterval(int ms)
{
    if (ms > ImmediateRefreshMs && TimerForWav->interval() == ImmediateRefreshMs && TimerForWav->isEnabled()) {
        pendingWavInterval_ = ms;
        return;
    }
    pendingWavInterval_.reset();
    TimerForWav->setInterval(ms);
}

void TplayAndEdit::runPlayer(const PlayerCommand& command)
{
    // the player reports nothing to the editor; a closed one is left alone
    if (!player_->isOpen())
        return;
    switch (command.action) {
    case PlayerAction::StepBy: player_->step(command.frames); break;
    case PlayerAction::Play: player_->play(); break;
    case PlayerAction::Pause: player_->pause(); break;
    case PlayerAction::Stop: player_->stop(); break;
    }
}

void TplayAndEdit::runEditCommand(const EditCommand& command)
{
    if (command.op == EditOp::None)
        return;
    // growing a full timeline saves it first; a failed save inserts nothing
    try {
        const CommandOutcome outcome = session_->run(command, {columns(), CheckBoxCuts->isChecked()});
        if (outcome.snapToCuts)
            CheckBoxCuts->setChecked(*outcome.snapToCuts);
    } catch (const FileError& error) {
        showError(this, error);
    }
    showUnsaved();
}

QWidget* TplayAndEdit::revealedControl(RevealedControl control) const
{
    switch (control) {
    case RevealedControl::ButtonHelp: return ButtonHelp;
    case RevealedControl::ButtonSave: return ButtonSave;
    case RevealedControl::ButtonBack: return ButtonBack;
    case RevealedControl::ButtonNext: return ButtonNext;
    case RevealedControl::CheckBoxTime: return CheckBoxTime;
    case RevealedControl::CheckBoxText: return CheckBoxText;
    case RevealedControl::RadioGroup1: return RadioGroup1;
    case RevealedControl::TrackBar2: return TrackBar2;
    case RevealedControl::TrackBar1: return TrackBar1;
    case RevealedControl::ScrollBar1: return ScrollBar1;
    }
    return nullptr;
}

void TplayAndEdit::applyReveal(const ControlReveal& reveal)
{
    for (size_t i = 0; i < RevealedControlCount; ++i) {
        const auto control = RevealedControl(i);
        const std::optional<bool> on = reveal[control];
        QWidget* widget = revealedControl(control);
        if (!on || !widget)
            continue;
        if (revealsByShowing(control)) {
            if (widget->isHidden() == *on)
                widget->setVisible(*on);
        } else if (widget->isEnabled() != *on) {
            widget->setEnabled(*on);
        }
    }
}

void TplayAndEdit::showPicture(const WavePicture& picture)
{
    const QString time = QString::fromStdString(picture.LabelTime);
    if (LabelTime->text() != time)
        LabelTime->setText(time);
    const QString text = QString::fromStdU16String(picture.LabeltxtText);
    if (Labeltxt->text() != text)
        Labeltxt->setText(text);
    if (picture.ShowTimeLabels) {
        LabelTimeIn->setText(QString::fromStdString(picture.LabelTimeIn));
        LabelTimeOut->setText(QString::fromStdString(picture.LabelTimeOut));
    }
    for (QLabel* label : {LabelTimeIn, LabelArrow, LabelTimeOut})
        if (label->isHidden() == picture.ShowTimeLabels)
            label->setVisible(picture.ShowTimeLabels);
    const QString reading = QString::fromStdString(picture.LabelReading);
    if (LabelReading->text() != reading) {
        LabelReading->setText(reading);
        LabelReading->setToolTip(QString::fromStdString(picture.LabelReadingAll) + QStringLiteral("\n") +
                                 EditorText::ReadingHint);
        setTextColour(*LabelReading, QPalette::WindowText,
                      picture.ReadingBreaksRule ? QColor(192, 0, 0) : QColor(64, 64, 64));
    }
    showLabelStyle(picture.LabeltxtFont);
    PaintBoxWav->showColumns(picture.Columns);
    PaintBoxWav->showCuts(picture.CutColumns, picture.KeyFrameColumns);
    PaintBoxWavSpeech->showRuns(picture.SpeechColumns);
}

void TplayAndEdit::showLabelStyle(const LabelFont& style)
{
    if (style == labelStyle_)
        return;
    labelStyle_ = style;
    Labeltxt->setFont(labeltxtFont(style));
    setTextColour(*Labeltxt, QPalette::WindowText, QColor::fromRgb(style.Colour));
}

void TplayAndEdit::showColumns(EditColumns c)
{
    const QSignalBlocker blockTimes(CheckBoxTime);
    const QSignalBlocker blockTexts(CheckBoxText);
    CheckBoxTime->setChecked(c.Times);
    CheckBoxText->setChecked(c.Texts);
}

bool TplayAndEdit::saveTimeline()
{
    if (!saveProjectTimeline(this, Project))
        return false;
    showUnsaved();
    LabelSaved->setText(EditorText::Saved + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    LabelSaved->show();
    savedSignTimer_->start(EditorText::SavedShownMs);
    return true;
}

void TplayAndEdit::showUnsaved()
{
    setWindowModified(timelineUnsaved(Project));
}

EditColumns TplayAndEdit::columns() const
{
    return {CheckBoxTime->isChecked(), CheckBoxText->isChecked()};
}

int32_t TplayAndEdit::playerPosition() const
{
    return session_->playerPosition();
}

}  // namespace vt
