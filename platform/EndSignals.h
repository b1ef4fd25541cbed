// The signals that end a program from outside: SIGTERM (a logout, kill),
// SIGHUP (the terminal it runs in closed) and SIGINT (Ctrl+C in that
// terminal). The program ends on them as it ends by its windows' close
// boxes, saving what they save, instead of dying with unsaved work.
#pragma once

#include <functional>

class QObject;

namespace vt {

// From now on each of the three signals calls onSignal(signal number) on the
// thread that called this (the GUI thread), from its event loop. The handler
// itself only writes the number into a pipe, which is all a signal handler
// may safely do. A second signal of the same kind ends the program at once,
// so a program stuck in its ending can still be stopped.
void watchEndSignals(QObject* owner, std::function<void(int signal)> onSignal);

// Set while the program ends on such a signal: a question it dismisses was
// not answered by the user, and what hangs on the answer waits for the next
// start.
void setEndingBySignal(bool ending);
bool endingBySignal();

}  // namespace vt
