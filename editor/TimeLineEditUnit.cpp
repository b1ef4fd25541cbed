#include "editor/TimeLineEditUnit.h"

#include "core/ProjectState.h"
#include "platform/Look.h"

#include <QShowEvent>

namespace vt {

TplayAndEdit::TplayAndEdit(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(ApplicationTitle);
    resize(684, 562);
    setMinimumSize(636, 420);
    setBackground(*this, QColor(128, 128, 128));
    setFont(programFont(QStringLiteral("MS Sans Serif"), 11));
    centreOnScreen(*this);
}

void TplayAndEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TplayAndEdit::FormShow()
{
    // closing the editor by its frame ends the program
    Project.NextPage = Page::Quit;
}

}  // namespace vt
