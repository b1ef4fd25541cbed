#include "shell/ControlUnit.h"

#include "core/ProjectState.h"
#include "editor/TimeLineEditUnit.h"
#include "filetools/FileEditUnit.h"
#include "opening/OpenFileUnit.h"

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

MediaPlayer& TMainControl::MediaPlayer1()
{
    // made on first use: a program that never measures a video starts no player
    if (!player_)
        player_ = createMediaPlayer(false);
    return *player_;
}

int TMainControl::FormCreate()
{
    resetProjectState(Project);
    Project.NextPage = Page::OpenProject;
    for (;;) {
        switch (Project.NextPage) {
        case Page::OpenAfterConversion:
            Project.NextPage = Page::OpenProject;
            break;
        case Page::OpenProject:
            fileOpen = new TfileOpen(this, MediaPlayer1());
            fileOpen->exec();
            break;
        case Page::Editor:
            playAndEdit = new TplayAndEdit(this);
            playAndEdit->exec();
            break;
        case Page::FileTools:
            FileEdit = new TFileEdit(this);
            FileEdit->exec();
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
