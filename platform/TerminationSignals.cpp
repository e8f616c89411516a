#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t pipeWriteEnd = -1;
std::atomic_flag reported = ATOMIC_FLAG_INIT;

extern "C" void onTerminationSignal(int number)
{
    // Only async-signal-safe calls here, and errno as the interrupted code left it.
    const int savedErrno = errno;
    // Whatever comes next must not wait for the event loop: the first shutdown may be stuck.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    for (int signal : kSignals) sigaction(signal, &defaultAction, nullptr);
    if (reported.test_and_set()) {
        // Another thread took one a moment ago, before the default was back: this one ends the
        // program as soon as the handler returns.
        ::raise(number);
        errno = savedErrno;
        return;
    }
    const auto byte = static_cast<unsigned char>(number);
    // Non-blocking: a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(pipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    pipeWriteEnd = writeEnd_;
    reported.clear();
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = &onTerminationSignal;
    // The others wait while the handler runs, then find the default action.
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals()
{
    if (notifier_ == nullptr) return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    pipeWriteEnd = -1;
    delete notifier_;
    ::close(readEnd_);
    ::close(writeEnd_);
}

void TerminationSignals::readPipe()
{
    unsigned char bytes[16];
    const ssize_t count = ::read(readEnd_, bytes, sizeof bytes);
    if (count <= 0) return;
    emit received(bytes[0]);
}
