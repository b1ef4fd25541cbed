#include "platform/WindowInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace vt {

KeyPreview::KeyPreview(QWidget& window, std::function<void(int)> onKey)
    : QObject(&window), window_(window), onKey_(std::move(onKey))
{
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview()
{
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyRelease) {
        lastPress_ = nullptr;
        return false;
    }
    if (event->type() != QEvent::KeyPress || !enabled_ || !watched->isWidgetType())
        return false;
    auto* receiver = static_cast<QWidget*>(watched);
    if (receiver->window() != &window_)
        return false;
    // the same press handed on to a parent of the widget that had it; Qt
    // makes each key event in the same place, so a key pressed while Shift or
    // Ctrl is held comes at the address of the modifier's own press, to the
    // same widget, and is a press of its own
    const bool handedOn = event == lastPress_ && lastReceiver_ && receiver != lastReceiver_
                          && receiver->isAncestorOf(lastReceiver_);
    lastPress_ = event;
    lastReceiver_ = receiver;
    if (handedOn)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (onKey_)
        onKey_(key->key() | int(key->modifiers()));
    return false;
}

void trackPointerMoves(QWidget& window)
{
    window.setMouseTracking(true);
    for (QWidget* child : window.findChildren<QWidget*>())
        if (!child->isWindow())
            child->setMouseTracking(true);
}

namespace {

class MovesWhileEnabled : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseMove)
            return false;
        auto* control = static_cast<QWidget*>(watched);
        auto* move = static_cast<QMouseEvent*>(event);
        // a button dragging belongs to the control whatever its state
        if (move->buttons() != Qt::NoButton)
            return false;
        if (control->isEnabled())
            return true;
        // Qt's buttons, check boxes and radio buttons take the moves also
        // while disabled (so that a click does not fall through them): the
        // move goes to the parent by hand, in the parent's coordinates
        QWidget* parent = control->parentWidget();
        if (!parent || control->isWindow())
            return true;
        const QPointF at = control->mapToParent(move->position());
        QMouseEvent handedOn(QEvent::MouseMove, at, move->scenePosition(), move->globalPosition(), Qt::NoButton,
                             Qt::NoButton, move->modifiers(), move->pointingDevice());
        QCoreApplication::sendEvent(parent, &handedOn);
        return true;
    }
};

}  // namespace

void keepMovesWhileEnabled(QWidget& control)
{
    control.setMouseTracking(true);
    control.installEventFilter(new MovesWhileEnabled(&control));
}

}  // namespace vt
