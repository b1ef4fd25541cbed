#include "opening/OpenFileUnit.h"

#include "platform/Look.h"
#include "shell/ProjectState.h"

namespace vt {

TfileOpen::TfileOpen(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(ApplicationTitle);
    setFixedSize(694, 472);
    setBackground(*this, QColor(128, 128, 128));
    setFont(programFont(QStringLiteral("宋体"), 16));
    FormCreate();
    centreOnScreen(*this);
}

void TfileOpen::FormCreate()
{
    // closing this screen by its frame ends the program
    Project.NextPage = 0;
}

}  // namespace vt
