#include "WindowTimer.h"

WindowTimer::WindowTimer(QObject* parent, int interval, bool enabled)
    : QObject(parent), interval_(interval), enabled_(enabled)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &WindowTimer::Timer);
    apply();
}

void WindowTimer::setInterval(int interval)
{
    interval_ = interval;
    timer_.stop();
    apply();
}

void WindowTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    timer_.stop();
    apply();
}

void WindowTimer::apply()
{
    if (enabled_ && interval_ > 0) timer_.start(interval_);
}
