#include "platform/PageScreen.h"

#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace vt {

namespace {

// Sees the keys that no control of the screen took and that would reach
// QDialog's own handling.
class PageKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return true;
        default:
            return false;
        }
    }
};

class ExitWatch : public QObject {
public:
    ExitWatch(QWidget& control, std::function<void()> onExit) : QObject(&control), onExit_(std::move(onExit)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::MouseFocusReason:
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
                onExit_();
                break;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onExit_;
};

}  // namespace

void keepPageScreenKeys(QDialog& screen)
{
    screen.installEventFilter(new PageKeys(&screen));
    for (QPushButton* button : screen.findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

void whenLeft(QWidget& control, std::function<void()> onExit)
{
    control.installEventFilter(new ExitWatch(control, std::move(onExit)));
}

}  // namespace vt
