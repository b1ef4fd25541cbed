#include "shell/ControlUnit.h"

#include "core/FileIO.h"
#include "core/ProjectState.h"
#include "core/TimelineRecovery.h"
#include "editor/TimeLineEditUnit.h"
#include "core/UndoHistory.h"
#include "filetools/FileEditUnit.h"
#include "opening/OpenFileUnit.h"
#include "platform/EndSignals.h"
#include "platform/Messages.h"
#include "platform/PageScreen.h"

#include <QApplication>
#include <QDialog>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace vt {

TMainControl* MainControl = nullptr;
TfileOpen* fileOpen = nullptr;
TplayAndEdit* playAndEdit = nullptr;
TFileEdit* FileEdit = nullptr;

TMainControl::TMainControl()
{
    setWindowTitle(MainControlCaption);
    resize(272, 104);
    MainControl = this;
    autosaveTimer_.setSingleShot(true);
    connect(&autosaveTimer_, &QTimer::timeout, this, [this] { autosaveNow(); });
    autosaveClock_.start();
    setEndingBySignal(false);
    TimelineHistory.onChange = [this] { armAutosave(); };
}

TMainControl::~TMainControl()
{
    TimelineHistory.onChange = nullptr;
    if (MainControl == this)
        MainControl = nullptr;
    fileOpen = nullptr;
    playAndEdit = nullptr;
    FileEdit = nullptr;
}

// Each screen is a window of its own on the task bar, and the loop goes on
// once it has closed.
void TMainControl::showPage(QDialog& screen)
{
    showOnTaskBar(screen);
    shown_ = &screen;
    screen.exec();
    shown_ = nullptr;
}

void TMainControl::armAutosave()
{
    const int64_t delayMs = int64_t(autosaveDelaySeconds()) * 1000;
    const int64_t now = autosaveClock_.elapsed();
    if (std::optional<int64_t> due = autosaveSchedule_.changed(Project.TimelineFileName, now, delayMs))
        autosaveTimer_.start(int(std::max<int64_t>(*due - now, 0)));
}

void TMainControl::autosaveNow()
{
    autosaveTimer_.stop();
    const std::optional<std::string> file = autosaveSchedule_.take();
    // a load since the change names another file, whose timeline is not this one
    if (!file || file->empty() || *file != Project.TimelineFileName || !(Project.FrameRate > 0))
        return;
    std::optional<UntimedTexts> untimed;
    if (Project.TextFromTxtFile)
        untimed = untimedTextsOf(Project.Timeline, Project.TimelineCount, Project.TextCount);
    try {
        autosaveTimeline(Project.Timeline, Project.TimelineCount, Project.FrameRate, Project.TimelineFileName,
                         Project.TimelineEncoding, untimed ? &*untimed : nullptr, Project.TimelineFileDocument.get());
        autosaveFailureShown_ = false;
    } catch (const FileError& error) {
        std::fprintf(stderr, "veltrana: %s\n", error.what());
        // once, not every half minute; and never a box the ending would wait on
        if (autosaveFailureShown_ || ending_)
            return;
        autosaveFailureShown_ = true;
        showError(shown_ ? static_cast<QWidget*>(shown_) : this, error);
    }
}

void TMainControl::endBySignal()
{
    if (ending_)
        return;
    ending_ = true;
    setEndingBySignal(true);
    // the typed text is part of the work the autosave and the save keep
    if (playAndEdit && playAndEdit->isVisible())
        playAndEdit->commitTypedText();
    autosaveNow();
    Project.NextPage = Page::Quit;
    // a message, a question or a file dialog over the screen goes first
    for (QWidget* modal = QApplication::activeModalWidget(); modal && modal != shown_;
         modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;  // it would not go
    }
    if (shown_)
        shown_->close();
}

MediaPlayer& TMainControl::MediaPlayer1()
{
    // made on first use: a program that never measures a video starts no player
    if (!player_)
        player_ = createMediaPlayer(false);
    return *player_;
}

int TMainControl::FormCreate(const QString& startVideo)
{
    resetProjectState(Project);
    Project.NextPage = Page::OpenProject;
    TimelineHistory.onChange = [this] { armAutosave(); };
    QString videoToChoose = startVideo;
    for (;;) {
        if (ending_)
            Project.NextPage = Page::Quit;
        switch (Project.NextPage) {
        case Page::OpenAfterConversion:
            Project.NextPage = Page::OpenProject;
            break;
        case Page::OpenProject:
            fileOpen = new TfileOpen(this, MediaPlayer1());
            // chosen before the screen shows, so that it comes up complete;
            // a video the player refuses is reported before it
            if (!videoToChoose.isEmpty())
                fileOpen->chooseVideo(std::exchange(videoToChoose, QString()));
            showPage(*fileOpen);
            break;
        case Page::Editor:
            playAndEdit = new TplayAndEdit(this);
            showPage(*playAndEdit);
            // its closing has saved: nothing is left to autosave
            autosaveTimer_.stop();
            autosaveSchedule_.clear();
            break;
        case Page::FileTools:
            FileEdit = new TFileEdit(this);
            showPage(*FileEdit);
            autosaveTimer_.stop();
            autosaveSchedule_.clear();
            break;
        default:
            // 0 (or anything unknown): the program ends; the timeline, the
            // summary and the marks go with it
            if (player_)
                player_->close();
            autosaveTimer_.stop();
            TimelineHistory.onChange = nullptr;
            Project.Timeline.clear();
            Project.WaveSummary.clear();
            Project.WaveMarks.clear();
            return 0;
        }
    }
}

}  // namespace vt
