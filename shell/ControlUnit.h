// The hidden main window: it resets the project state and runs the page loop
// that shows one screen after another until a screen leaves NextPage at 0.
#pragma once

#include "platform/MediaPlayer.h"

#include <QWidget>

#include <memory>

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

private:
    std::unique_ptr<MediaPlayer> player_;
};

// The newest instance of each screen. Old instances stay alive, owned by the
// main window, until the program ends: the file tools reach the editor's
// saving through playAndEdit after the editor has closed.
extern TMainControl* MainControl;
extern TfileOpen* fileOpen;
extern TplayAndEdit* playAndEdit;
extern TFileEdit* FileEdit;

}  // namespace vt
