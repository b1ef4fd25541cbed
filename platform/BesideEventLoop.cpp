#include "platform/BesideEventLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <thread>

namespace vt {

namespace {

// Drops the user's input to every window while it lives. Dropped, not
// deferred: a click made during a load must not land once it has ended.
class InputBlocker : public QObject {
public:
    InputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            // the close box; Qt delivers a window's own close() the same
            // way, so no window closes meanwhile (hide() still hides)
            event->ignore();
            return true;
        default:
            return false;
        }
    }
};

}  // namespace

void runBesideEventLoop(const std::function<void()>& work)
{
    InputBlocker blocker;
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        // nothing may leave the thread: it is carried to the caller instead
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // queued behind everything the work posted, so that all of it has
        // arrived when the caller goes on
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

void runOnGuiThread(const std::function<void()>& call)
{
    QCoreApplication* app = QCoreApplication::instance();
    // a blocking hop from the GUI thread to itself would wait for ever
    if (QThread::currentThread() == app->thread()) {
        call();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void postToGuiThread(QObject* receiver, std::function<void()> call)
{
    QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

}  // namespace vt
