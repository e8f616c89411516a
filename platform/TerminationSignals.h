#pragma once

#include <QObject>

#include <signal.h>

class QSocketNotifier;

// Ctrl+C, `kill` and the end of the session (SIGINT, SIGTERM, SIGHUP) as a Qt signal on the
// event loop, so that the program can end the ordinary way, also from inside a nested loop.
// The first of them is reported; any further one takes the default action and ends the
// program at once. One object at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    /// Puts the earlier handlers back.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    /// False when no handler could be installed; the default actions then stay.
    bool installed() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
};
