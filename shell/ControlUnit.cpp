#include "shell/ControlUnit.h"

#include "core/ProjectState.h"
#include "editor/TimeLineEditUnit.h"
#include "filetools/FileEditUnit.h"
#include "opening/OpenFileUnit.h"
#include "platform/PageScreen.h"

#include <QDialog>

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
}

TMainControl::~TMainControl()
{
    if (MainControl == this)
        MainControl = nullptr;
    fileOpen = nullptr;
    playAndEdit = nullptr;
    FileEdit = nullptr;
}

namespace {

// Each screen is a window of its own on the task bar, and the loop goes on
// once it has closed.
void showPage(QDialog& screen)
{
    showOnTaskBar(screen);
    screen.exec();
}

}  // namespace

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
    QString videoToChoose = startVideo;
    for (;;) {
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
            break;
        case Page::FileTools:
            FileEdit = new TFileEdit(this);
            showPage(*FileEdit);
            break;
        default:
            // 0 (or anything unknown): the program ends; the timeline, the
            // summary and the marks go with it
            if (player_)
                player_->close();
            Project.Timeline.clear();
            Project.WaveSummary.clear();
            Project.WaveMarks.clear();
            return 0;
        }
    }
}

}  // namespace vt
