// A periodic timer whose countdown restarts only when its interval really
// changes. The editor sets the same interval many times a second; Qt's own
// timer would restart on each of those and keep postponing the tick.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace vt {

class Timer : public QObject {
public:
    explicit Timer(int intervalMs, QObject* parent = nullptr);

    void setInterval(int ms);
    int interval() const { return timer_.interval(); }
    void setEnabled(bool enabled);
    bool isEnabled() const { return timer_.isActive(); }
    // milliseconds left until the next tick, -1 while disabled
    int remainingTime() const { return timer_.remainingTime(); }

    std::function<void()> onTimer;

private:
    QTimer timer_;
};

}  // namespace vt
