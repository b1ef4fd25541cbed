#include "platform/PageScreen.h"

#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace vt {

namespace {

// The button the screen made its default, where it can be pressed.
QPushButton* defaultButton(QWidget& screen)
{
    for (QPushButton* button : screen.findChildren<QPushButton*>())
        if (button->isDefault() && button->window() == &screen)
            return button->isVisible() && button->isEnabled() ? button : nullptr;
    return nullptr;
}

// Sees the keys that no control of the screen took and that would reach
// QDialog's own handling: Esc would close the screen, and Enter would press
// the default button even on a focused button of its own.
class PageKeys : public QObject {
public:
    explicit PageKeys(QDialog& screen) : QObject(&screen), screen_(screen) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Escape:
            event->accept();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            // a held key presses once: the dialog a button opens takes the rest
            if (!key->isAutoRepeat())
                pressWithEnter();
            return true;
        default:
            return false;
        }
    }

private:
    void pressWithEnter()
    {
        // a focused button that is not the default leaves Enter to its window
        auto* focused = qobject_cast<QPushButton*>(screen_.focusWidget());
        if (focused && focused->isVisible() && focused->isEnabled())
            focused->click();
        else if (QPushButton* button = defaultButton(screen_))
            button->click();
    }

    QDialog& screen_;
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
    screen.installEventFilter(new PageKeys(screen));
    // an auto-default button would make itself the default when focused, and
    // QDialog makes the first of them the default of a screen that has none
    for (QPushButton* button : screen.findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

void showOnTaskBar(QWidget& window)
{
    // a dialog is marked as one and hung on its parent's (here hidden) window,
    // which keeps it off the task bar; a window of the normal kind is not
    if (window.windowType() != Qt::Window)
        window.setWindowFlags((window.windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
}

void whenLeft(QWidget& control, std::function<void()> onExit)
{
    control.installEventFilter(new ExitWatch(control, std::move(onExit)));
}

}  // namespace vt
