#include "InputDoorbell.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void runEventLoop()
{
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

// A FIFO stands in for an input device: readable when written, hung up when its writer goes.
TEST(InputDoorbell, RingsOnceForWaitingInputAndEndsWhenTheDeviceHangsUp)
{
    QTemporaryDir dir;
    auto folder = InputDoorbell::onFolder(QFile::encodeName(dir.path()).constData());
    ASSERT_NE(folder, nullptr);
    int folderRings = 0;
    QObject::connect(folder.get(), &InputDoorbell::rang, [&] { ++folderRings; });
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("event7")));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    runEventLoop();
    EXPECT_EQ(folderRings, 1) << "a new device file";

    auto device = InputDoorbell::onDevice(path.constData());
    ASSERT_NE(device, nullptr);
    int rings = 0;
    QObject::connect(device.get(), &InputDoorbell::rang, [&] { ++rings; });
    const int writer = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "press", 5), 5);
    runEventLoop();
    EXPECT_EQ(rings, 1) << "what waited was taken away";
    EXPECT_TRUE(device->watching());

    ::close(writer);
    runEventLoop();
    EXPECT_EQ(rings, 2) << "the hang-up rings once, then the descriptor is left alone";
    EXPECT_FALSE(device->watching());

    EXPECT_EQ(InputDoorbell::onDevice(QFile::encodeName(dir.filePath(QStringLiteral("gone"))).constData()), nullptr);
}

} // namespace
