#pragma once
// A program with the fakes, a temporary program directory and the main window's parts the
// settings act on: the fixture of the settings file and options dialog tests.
#include "CommonDialog.h"
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "INI.h"
#include "Program.h"
#include "WindowTimer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

struct Settings : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    QWidget window;
    WindowTimer Timer1{&window, 1301, false};
    CommonDialog CmDialog;
    SettingsTargets targets{window, Timer1, CmDialog};

    void SetUp() override
    {
        host.programDir = programDir.path();
        window.resize(320, 64);
        window.winId(); // a native window, so that the top-most state has somewhere to go
    }
    QString file() const { return programDir.filePath(QStringLiteral("tarnek.ini")); }
    void store(const QByteArray& text)
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray stored() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void load(const QByteArray& keys)
    {
        store("[TARNEK 1.10]\n" + keys);
        LoadSettings(program, targets);
    }
    QSize screen() const { return window.screen()->geometry().size(); }
    bool topMost() const { return window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); }
};

