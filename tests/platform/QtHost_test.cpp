#include "CommonDialog.h"
#include "HelpViewer.h"
#include "QtHost.h"
#include "WindowTimer.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <QFileDialog>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTranslator>

#include <functional>
#include <memory>

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Runs `act` on the first modal message box that opens.
void whenMessageBoxOpens(std::function<void(QMessageBox&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return whenMessageBoxOpens(act);
        act(*box);
    });
}

TEST(QtHost, CommandLineIsEverythingAfterTheExecutableAsOneString)
{
    EXPECT_EQ(QtHost({"/opt/tarnek/tarnek"}).commandLine(), QString());
    EXPECT_EQ(QtHost({"tarnek", "/home/a b/ベル.wav"}).commandLine(), QStringLiteral("/home/a b/ベル.wav"));
    EXPECT_EQ(QtHost({"tarnek", "/home/a", "b.wav"}).commandLine(), QStringLiteral("/home/a b.wav"));
}

TEST(QtHost, WaitingForADeadlineBlocksInsteadOfSpinning)
{
    QtHost host({"tarnek"});
    const double start = host.clockSeconds();
    int looks = 0;
    for (double now = start; now - start < 0.05; now = host.clockSeconds()) {
        host.waitForEvents(0.05 - (now - start));
        ++looks;
    }
    EXPECT_GE(host.clockSeconds() - start, 0.05);
    // A spinning wait looks thousands of times in 50 ms.
    EXPECT_LT(looks, 20);
}

TEST(QtHost, RetryCancelBoxAnswersCancelToEscapeAndRetryToItsButton)
{
    QtHost host({"tarnek"});
    QString caption;
    whenMessageBoxOpens([&caption](QMessageBox& box) {
        caption = box.windowTitle();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    EXPECT_EQ(host.MsgBox("x", MsgBoxStyle::vbRetryCancel | MsgBoxStyle::vbExclamation), MsgBoxResult::vbCancel);
    EXPECT_EQ(caption, QStringLiteral("タルネク"));

    whenMessageBoxOpens([](QMessageBox& box) { box.button(QMessageBox::Retry)->click(); });
    EXPECT_EQ(host.MsgBox("x", MsgBoxStyle::vbRetryCancel), MsgBoxResult::vbRetry);

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenMessageBoxOpens([&icon](QMessageBox& box) {
        icon = box.icon();
        QTest::keyClick(&box, Qt::Key_Return);
    });
    EXPECT_EQ(host.MsgBox("x", MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical, "caption"), MsgBoxResult::vbOK);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtHost, QtsOwnButtonsSpeakTheLocalesLanguage)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const std::unique_ptr<QTranslator> translator(installQtTranslations()); // removed again when deleted
    ASSERT_NE(translator, nullptr);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("タルネク"), QStringLiteral("x"), QMessageBox::Retry);
    EXPECT_EQ(box.button(QMessageBox::Retry)->text(), QStringLiteral("再試行"));
    QLocale::setDefault(before);
}

TEST(HelpViewer, FindsTheFileInTheCurrentDirectoryFirstThenBesideTheProgram)
{
    QTemporaryDir current, program;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(current.path());

    EXPECT_EQ(HelpViewer::resolve("TARNEK.HLP", program.path()), QString());
    writeFile(program.filePath("TARNEK.HLP"), "beside");
    EXPECT_EQ(QFileInfo(HelpViewer::resolve("TARNEK.HLP", program.path())).absoluteFilePath(),
              QFileInfo(program.filePath("TARNEK.HLP")).absoluteFilePath());
    writeFile(current.filePath("TARNEK.HLP"), "current");
    EXPECT_EQ(QFileInfo(HelpViewer::resolve("TARNEK.HLP", program.path())).absoluteFilePath(),
              QFileInfo(current.filePath("TARNEK.HLP")).absoluteFilePath());
    EXPECT_EQ(HelpViewer::resolve(QString(), program.path()), QString());

    QDir::setCurrent(saved);
}

TEST(HelpViewer, ShowsTheContentsOrItsOwnMessage)
{
    QTemporaryDir program;
    QWidget owner;
    HelpViewer viewer(&owner);

    QString message;
    whenMessageBoxOpens([&message](QMessageBox& box) {
        message = box.text();
        box.accept();
    });
    EXPECT_FALSE(viewer.openContents("TARNEK.HLP", program.path()));
    EXPECT_TRUE(message.contains("TARNEK.HLP"));
    EXPECT_FALSE(viewer.isVisible());

    writeFile(program.filePath("TARNEK.HLP"), "<html><body><h1>目次</h1><p>本文</p></body></html>");
    EXPECT_TRUE(viewer.openContents("TARNEK.HLP", program.path()));
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(viewer.isWindow());
    EXPECT_EQ(viewer.parentWidget(), &owner);
    EXPECT_TRUE(viewer.browser()->toPlainText().startsWith(QStringLiteral("目次")));
}

TEST(WindowTimer, TicksOnlyWhileEnabledWithAnInterval)
{
    WindowTimer idle(nullptr, 0, true);
    EXPECT_FALSE(idle.isCounting());

    WindowTimer timer(nullptr, 5, false);
    QSignalSpy ticks(&timer, &WindowTimer::Timer);
    EXPECT_FALSE(timer.isCounting());
    timer.setEnabled(true);
    EXPECT_TRUE(timer.isCounting());
    EXPECT_TRUE(ticks.wait(1000));
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isCounting());
    timer.setInterval(0);
    timer.setEnabled(true);
    EXPECT_FALSE(timer.isCounting());
}

} // namespace

namespace {

TEST(CommonDialog, TheFilterTextBecomesNameFilters)
{
    const CommonDialog dialog;
    EXPECT_EQ(nameFiltersOf(dialog.Filter),
              (QStringList{QStringLiteral("MIDI ﾌｧｲﾙ (*.mid)"), QStringLiteral("WAVE ﾌｧｲﾙ (*.wav)"),
                           QStringLiteral("DirectX ﾐｭｰｼﾞｯｸ ｾｸﾞﾒﾝﾄ ﾌｧｲﾙ (*.sgt)")}));
    EXPECT_EQ(nameFiltersOf(QStringLiteral("Sounds|*.wav;*.mid|")), QStringList{QStringLiteral("Sounds (*.wav;*.mid)")});
    EXPECT_TRUE(nameFiltersOf(QString()).isEmpty());
    EXPECT_TRUE(nameFiltersOf(QStringLiteral("only a description")).isEmpty());
}

} // namespace

namespace {

// The real dialog, answered from a timer once it is up.
void answerOpenDialog(bool accept)
{
    QTimer::singleShot(50, [accept] {
        auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("開く"));
        if (accept) static_cast<QDialog*>(box)->accept(); // the dialog's own accept checks the chosen file
        else box->reject();
    });
}

TEST(CommonDialog, OpenReturnsTheChosenFileAndFilterOrACancelAndEntersTheFilesFolder)
{
    QtHost host({QStringLiteral("tarnek")});
    const QString saved = QDir::currentPath();
    QTemporaryDir dir;
    const QString bell = dir.filePath(QStringLiteral("bell.wav"));
    QFile(bell).open(QIODevice::WriteOnly);

    CommonDialog dialog;
    dialog.FileName = bell;
    dialog.FilterIndex = 2;
    answerOpenDialog(false);
    EXPECT_FALSE(host.ShowOpen(dialog));
    EXPECT_EQ(dialog.FileName, bell); // a cancel changes nothing
    EXPECT_EQ(QDir::currentPath(), saved);

    answerOpenDialog(true);
    ASSERT_TRUE(host.ShowOpen(dialog));
    EXPECT_EQ(QFileInfo(dialog.FileName).canonicalFilePath(), QFileInfo(bell).canonicalFilePath());
    EXPECT_EQ(dialog.FilterIndex, 2);
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(dir.path()).canonicalPath());
    QDir::setCurrent(saved);
}

} // namespace
