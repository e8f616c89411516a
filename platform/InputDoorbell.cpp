#include "InputDoorbell.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

std::unique_ptr<InputDoorbell> InputDoorbell::onDevice(const char* path)
{
    if (path == nullptr) return nullptr;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<InputDoorbell>(fd);
}

std::unique_ptr<InputDoorbell> InputDoorbell::onFolder(const char* folder)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    // Permissions too: a new device file is first the administrator's alone, and the desktop
    // gives it to the user a moment later.
    if (::inotify_add_watch(fd, folder, IN_CREATE | IN_DELETE | IN_MOVE | IN_ATTRIB) < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<InputDoorbell>(fd);
}

std::unique_ptr<InputDoorbell> InputDoorbell::onDeviceManager()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) return nullptr;
    sockaddr_nl address = {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 2; // udev's own group: sent once the device is ready, not the kernel's first word
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<InputDoorbell>(fd);
}

InputDoorbell::InputDoorbell(int fd) : fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, &InputDoorbell::drain);
}

InputDoorbell::~InputDoorbell()
{
    end();
}

void InputDoorbell::drain()
{
    char buffer[4096];
    // Bounded: a device that never stops talking still lets the rest of the loop run.
    for (int reads = 0; reads < 64; ++reads) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count > 0) continue;
        // ENOBUFS: announcements were lost while we slept; we read what is there anyway.
        if (count < 0 && (errno == EINTR || errno == ENOBUFS)) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        end(); // end of file, or the device is gone (ENODEV)
        break;
    }
    emit rang();
}

void InputDoorbell::end()
{
    if (fd_ < 0) return;
    notifier_->setEnabled(false);
    ::close(fd_);
    fd_ = -1;
}
