#include "HelpViewer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

HelpViewer::HelpViewer(QWidget* owner)
    : QWidget(owner, Qt::Window), browser_(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("タルネク ヘルプ"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    browser_->setOpenExternalLinks(true);
    resize(560, 640);
}

QString HelpViewer::resolve(const QString& helpFile, const QString& programDirectory)
{
    if (helpFile.isEmpty()) return {};
    const QFileInfo asGiven(helpFile);
    if (asGiven.isAbsolute()) return asGiven.isFile() ? asGiven.filePath() : QString();
    for (const QString& dir : {QDir::currentPath(), programDirectory}) {
        if (dir.isEmpty()) continue;
        const QFileInfo candidate(QDir(dir), helpFile);
        if (candidate.isFile()) return candidate.filePath();
    }
    return {};
}

bool HelpViewer::openContents(const QString& helpFile, const QString& programDirectory)
{
    const QString path = resolve(helpFile, programDirectory);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(parentWidget(), windowTitle(),
                             QStringLiteral("ヘルプ ファイル \"%1\" を開けません。").arg(helpFile));
        return false;
    }
    browser_->setSearchPaths({QFileInfo(path).absolutePath()});
    browser_->setHtml(QString::fromUtf8(file.readAll()));
    browser_->moveCursor(QTextCursor::Start);
    browser_->ensureCursorVisible();
    show();
    raise();
    activateWindow();
    return true;
}
