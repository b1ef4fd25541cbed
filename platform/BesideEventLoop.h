// Work that takes longer than a blink, run off the GUI thread while the
// windows keep painting and take no input.
#pragma once

#include <functional>

class QObject;

namespace vt {

// Runs work on a thread of its own and returns when it has finished.
// Meanwhile the event loop goes on: windows repaint, timers tick and calls
// passed to postToGuiThread or runOnGuiThread arrive, but no mouse, key or
// wheel input reaches any window and no window closes. Whatever work throws
// is rethrown here, on the calling thread.
void runBesideEventLoop(const std::function<void()>& work);

// From work beside the event loop: runs call on the GUI thread and waits for
// it; whatever call throws is rethrown to the waiting caller. On the GUI
// thread itself it simply calls.
void runOnGuiThread(const std::function<void()>& call);

// Queues call for the GUI thread without waiting for it; it is dropped when
// receiver is destroyed first.
void postToGuiThread(QObject* receiver, std::function<void()> call);

}  // namespace vt
