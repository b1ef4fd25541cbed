// The open-project screen: the user names the project's files, the video is
// measured, and the loader builds the project for the editor.
#pragma once

#include <QDialog>

namespace vt {

class TfileOpen : public QDialog {
public:
    explicit TfileOpen(QWidget* owner);

private:
    void FormCreate();
};

}  // namespace vt
