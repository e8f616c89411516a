#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// A descriptor that becomes readable when input waits somewhere else: an input device opened a
// second time beside the reader's own descriptor (every opener gets every event), an inotify
// watch on a device folder, or udev's announcements of devices set up or gone. The event loop wakes on it; it throws away what it holds
// and rings. It ends itself when the device goes away, so that a hung-up descriptor, which
// stays readable, never keeps the event loop spinning.
class InputDoorbell final : public QObject {
    Q_OBJECT
public:
    /// Watches the device file at `path`; null when it cannot be opened.
    static std::unique_ptr<InputDoorbell> onDevice(const char* path);
    /// Rings when a file in `folder` is made, removed, renamed or has its permissions changed;
    /// null when the folder cannot be watched.
    static std::unique_ptr<InputDoorbell> onFolder(const char* folder);
    /// Rings when udev announces a device it has set up (permissions given) or removed, at the
    /// moment every other listener hears it; null where there is no such announcement to hear.
    static std::unique_ptr<InputDoorbell> onDeviceManager();

    /// Takes the non-blocking descriptor `fd` and closes it.
    explicit InputDoorbell(int fd);
    ~InputDoorbell() override;
    InputDoorbell(const InputDoorbell&) = delete;
    InputDoorbell& operator=(const InputDoorbell&) = delete;

    /// False once the device hung up or failed: it rang a last time and watches no more.
    bool watching() const { return fd_ >= 0; }

signals:
    void rang();

private:
    void drain();
    void end();

    int fd_;
    QSocketNotifier* notifier_;
};
