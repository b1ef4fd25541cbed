#include "platform/EndSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vt {

namespace {

int signalPipe[2] = {-1, -1};
bool endingNow = false;

void onEndSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // a full pipe means an ending is already on its way
    [[maybe_unused]] ssize_t written = ::write(signalPipe[0], &number, 1);
    errno = saved;
}

}  // namespace

void setEndingBySignal(bool ending)
{
    endingNow = ending;
}

bool endingBySignal()
{
    return endingNow;
}

void watchEndSignals(QObject* owner, std::function<void(int)> onSignal)
{
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("veltrana: no pipe for the ending signals");
        return;
    }
    ::fcntl(signalPipe[0], F_SETFL, ::fcntl(signalPipe[0], F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [onSignal = std::move(onSignal)] {
        unsigned char number = 0;
        if (::read(signalPipe[1], &number, 1) == 1 && onSignal)
            onSignal(number);
    });

    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    // the handler runs once per kind; the next one of that kind ends the program
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

}  // namespace vt
