// How a page screen, one of the windows the page loop shows one after
// another, behaves as a window. Such a screen is left only by its window
// frame (or Alt+F4) and by its own buttons, each of which saves; a dialog's
// habit of closing on Esc or pressing the default button on Enter from
// anywhere would leave it behind the user's back.
#pragma once

#include <functional>

class QDialog;
class QWidget;

namespace vt {

// Esc closes neither the screen nor anything in it. Enter on a focused push
// button presses that button; Enter anywhere else presses the button the
// screen made its default (setDefault), and nothing when it made none.
// Call it once the buttons exist. Keys its controls use for themselves
// (Enter in an open drop-down list, Esc in a menu) still work.
void keepPageScreenKeys(QDialog& screen);

// A window of its own on the desktop: its own task-bar entry, not a dialog
// hung on the program's hidden main window. Call it before the window is
// first shown.
void showOnTaskBar(QWidget& window);

// onExit runs when the user moves the focus from control to another control
// of the same window (a click, Tab, a mnemonic), before the other control
// takes the click that moved it. The window itself losing the focus (a
// message box, another program) is no exit, and neither is a move the
// program makes: a handler that puts the focus back into a field must not
// set off the handler of the field it leaves.
void whenLeft(QWidget& control, std::function<void()> onExit);

}  // namespace vt
