#include "filetools/FileEditUnit.h"

#include "core/ProjectState.h"
#include "platform/Look.h"

#include <QShowEvent>

namespace vt {

TFileEdit::TFileEdit(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(ApplicationTitle);
    setFixedSize(694, 472);
    setBackground(*this, QColor(192, 192, 192));
    centreOnScreen(*this);
}

void TFileEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFileEdit::FormShow()
{
    setWindowTitle(ApplicationTitle + QStringLiteral("  ") + QString::fromStdString(Project.TimelineFileName));
    // closing the file tools by their frame ends the program
    Project.NextPage = Page::Quit;
}

}  // namespace vt
