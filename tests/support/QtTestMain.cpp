// Test main for everything that needs a QApplication: widgets run off-screen, sound into nothing,
// and the desktop's per-user folders are scratch folders.
#include "ScratchXdgFolders.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    const ScratchXdgFolders folders;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests never sound through the machine's speakers.
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
