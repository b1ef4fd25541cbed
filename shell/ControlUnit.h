// The hidden main window: it resets the project state and runs the page loop
// that shows one screen after another until a screen leaves NextPage at 0.
#pragma once

#include "core/TimelineRecovery.h"
#include "platform/MediaPlayer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

namespace vt {

class TfileOpen;
class TplayAndEdit;
class TFileEdit;

// The hidden window's caption, seen only by window lists and tests.
inline const QString MainControlCaption = QStringLiteral("MainControl");

class TMainControl : public QWidget {
public:
    TMainControl();
    ~TMainControl() override;

    // Resets the project state and runs the page loop; returns the exit
    // status. A video named on the command line is chosen on the first
    // open-project screen before it comes up, as "指定" would choose it.
    int FormCreate(const QString& startVideo = {});

    // Measures videos for the open-project screen.
    MediaPlayer& MediaPlayer1();

    // A signal asked the program to end (SIGTERM, SIGHUP, SIGINT): a text
    // being typed in the editor is taken as Enter takes it, unsaved changes
    // go to the recovery file, boxes and dialogs over the screen are
    // dismissed (a question so closed is not answered), the screen closes as
    // its close box closes it (the editor and the file tools save), and the
    // page loop ends with 0.
    void endBySignal();

private:
    // Every change to the timeline: the recovery file is written at the
    // latest autosaveDelaySeconds() later.
    void armAutosave();
    void autosaveNow();
    void showPage(QDialog& screen);

    std::unique_ptr<MediaPlayer> player_;
    QTimer autosaveTimer_;
    QElapsedTimer autosaveClock_;
    AutosaveSchedule autosaveSchedule_;
    bool autosaveFailureShown_ = false;  // until an autosave succeeds again
    QDialog* shown_ = nullptr;  // the screen the page loop shows now
    bool ending_ = false;
};

// The newest instance of each screen. Old instances stay alive, owned by the
// main window, until the program ends; a signal ending the program commits
// the text being typed in the editor through playAndEdit.
extern TMainControl* MainControl;
extern TfileOpen* fileOpen;
extern TplayAndEdit* playAndEdit;
extern TFileEdit* FileEdit;

}  // namespace vt
