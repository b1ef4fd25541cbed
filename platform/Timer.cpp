#include "platform/Timer.h"

namespace vt {

Timer::Timer(int intervalMs, QObject* parent) : QObject(parent)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        if (onTimer)
            onTimer();
    });
}

void Timer::setInterval(int ms)
{
    if (ms == timer_.interval())
        return;
    timer_.setInterval(ms);  // restarts the countdown of a running timer
}

void Timer::setEnabled(bool enabled)
{
    if (enabled && !timer_.isActive())
        timer_.start();
    else if (!enabled)
        timer_.stop();
}

}  // namespace vt
