// How keys and pointer moves reach a window and its controls when the window,
// not the control under the pointer or with the focus, is the one that acts:
// a key preview that sees every key first, and pointer moves without a button
// pressed that reach the window wherever a control does not take them.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace vt {

// Every key pressed in window (in any of its controls, or in the window
// itself) is shown to onKey before the control with the focus gets it; the
// key then goes on to that control as usual. onKey gets Qt's key value with
// the modifier bits. Key repeats count as presses. Windows of their own
// (dialogs the window owns) are not part of it.
class KeyPreview : public QObject {
public:
    KeyPreview(QWidget& window, std::function<void(int qtKey)> onKey);
    ~KeyPreview() override;

    void setEnabled(bool on) { enabled_ = on; }
    bool isEnabled() const { return enabled_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    std::function<void(int)> onKey_;
    bool enabled_ = false;
    // Qt hands an ignored key to each parent in turn, as the same event: the
    // press seen last and where, so that it is previewed only once
    const QEvent* lastPress_ = nullptr;
    QPointer<QWidget> lastReceiver_;
};

// Pointer moves without a button pressed reach the window and each of its
// controls (Qt sends them only to widgets that ask for them, and a widget
// that does not ask swallows them instead of passing them on).
void trackPointerMoves(QWidget& window);

// The control takes the pointer's moves over it itself while it is enabled,
// and passes them on to its parent (in the parent's coordinates) while it is
// disabled; a hidden control is never under the pointer. Left alone, Qt's
// controls mostly pass moves on while enabled, and its buttons, check boxes
// and radio buttons keep them while disabled.
void keepMovesWhileEnabled(QWidget& control);

}  // namespace vt
