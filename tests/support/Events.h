// Lets the event loop run for a while, so timers tick and queued calls arrive.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vt::testsupport {

inline void pumpEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace vt::testsupport
