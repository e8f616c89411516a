#pragma once

#include <QObject>
#include <QTimer>

// A window timer: ticks every Interval ms while Enabled; an interval of 0 never ticks.
class WindowTimer final : public QObject {
    Q_OBJECT
public:
    WindowTimer(QObject* parent, int interval, bool enabled);

    int Interval() const { return interval_; }
    /// A new interval starts the count again.
    void setInterval(int interval);
    bool Enabled() const { return enabled_; }
    /// Enabling a timer that is already counting does not restart its count.
    void setEnabled(bool enabled);
    /// Whether a tick is pending.
    bool isCounting() const { return timer_.isActive(); }

signals:
    void Timer();

private:
    void apply();

    QTimer timer_;
    int interval_;
    bool enabled_;
};
