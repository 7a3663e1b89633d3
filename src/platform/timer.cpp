#include "timer.h"

#include <QTimer>

namespace tarvex {

QtTimer::QtTimer(QObject* parent)
    : Timer(parent)
    , timer_(new QTimer(this)) {
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, this, &Timer::tick);
}

void QtTimer::setInterval(std::chrono::milliseconds interval) {
    timer_->setInterval(interval);
}

void QtTimer::setEnabled(bool enabled) {
    if (enabled)
        timer_->start();
    else
        timer_->stop();
}

bool QtTimer::isEnabled() const {
    return timer_->isActive();
}

} // namespace tarvex
