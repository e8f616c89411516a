#include "QtHost.h"

#include "CommonDialog.h"
#include "HelpViewer.h"
#include "RecentDocuments.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::StandardButton escapeButton;
};

ButtonSet buttonSet(int style)
{
    using B = QMessageBox;
    switch (style & MsgBoxStyle::ButtonsMask) {
    case MsgBoxStyle::vbOKCancel: return {B::Ok | B::Cancel, B::Ok, B::Cancel};
    case MsgBoxStyle::vbAbortRetryIgnore: return {B::Abort | B::Retry | B::Ignore, B::Abort, B::NoButton};
    case MsgBoxStyle::vbYesNoCancel: return {B::Yes | B::No | B::Cancel, B::Yes, B::Cancel};
    case MsgBoxStyle::vbYesNo: return {B::Yes | B::No, B::Yes, B::NoButton};
    case MsgBoxStyle::vbRetryCancel: return {B::Retry | B::Cancel, B::Retry, B::Cancel};
    default: return {B::Ok, B::Ok, B::Ok};
    }
}

QMessageBox::Icon icon(int style)
{
    switch (style & MsgBoxStyle::IconMask) {
    case MsgBoxStyle::vbCritical: return QMessageBox::Critical;
    case MsgBoxStyle::vbQuestion: return QMessageBox::Question;
    case MsgBoxStyle::vbExclamation: return QMessageBox::Warning;
    case MsgBoxStyle::vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

MsgBoxResult result(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return MsgBoxResult::vbOK;
    case QMessageBox::Abort: return MsgBoxResult::vbAbort;
    case QMessageBox::Retry: return MsgBoxResult::vbRetry;
    case QMessageBox::Ignore: return MsgBoxResult::vbIgnore;
    case QMessageBox::Yes: return MsgBoxResult::vbYes;
    case QMessageBox::No: return MsgBoxResult::vbNo;
    default: return MsgBoxResult::vbCancel;
    }
}

} // namespace

QTranslator* installQtTranslations(const QLocale& locale)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

QtHost::QtHost(QStringList arguments) : arguments_(std::move(arguments))
{
    clock_.start();
}

QtHost::~QtHost() = default;

MsgBoxResult QtHost::MsgBox(const QString& prompt, int style, const QString& title)
{
    const ButtonSet set = buttonSet(style);
    QMessageBox box(icon(style), title.isEmpty() ? appTitle() : title, prompt, set.buttons,
                    QApplication::activeWindow());
    box.setDefaultButton(set.defaultButton);
    if (set.escapeButton != QMessageBox::NoButton) box.setEscapeButton(set.escapeButton);
    // Messages of a top-most panel must not open behind it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    auto* clicked = box.clickedButton();
    if (clicked == nullptr) return result(set.escapeButton);
    return result(box.standardButton(clicked));
}

void QtHost::DoEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtHost::waitForEvents(double seconds)
{
    // A single-shot timer wakes the blocking wait at the deadline.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    // Rounded up: a zero timer would make the last millisecond a busy loop.
    wake.start(std::max(1, static_cast<int>(std::ceil(seconds * 1000.0))));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

double QtHost::clockSeconds()
{
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

void QtHost::setMousePointer(MousePointer pointer)
{
    if (pointer == MousePointer::Default) {
        while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
        overrideCursor_ = false;
        return;
    }
    const QCursor cursor(pointer == MousePointer::Hourglass ? Qt::WaitCursor : Qt::BusyCursor);
    if (overrideCursor_ && QGuiApplication::overrideCursor() != nullptr) {
        QGuiApplication::changeOverrideCursor(cursor);
    } else {
        QGuiApplication::setOverrideCursor(cursor);
        overrideCursor_ = true;
    }
}

QString QtHost::programDirectory()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString QtHost::commandLine()
{
    // The shell has already split and unquoted the words; joining them gives one string back.
    return arguments_.mid(1).join(QLatin1Char(' '));
}

bool QtHost::ShowOpen(CommonDialog& dialog)
{
    QFileDialog box(nullptr, dialog.DialogTitle);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = nameFiltersOf(dialog.Filter);
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size()) box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    box.setDefaultSuffix(dialog.DefaultExt);
    // A full path (a dropped file, the last choice) opens in its folder; a pattern just fills the name.
    const QFileInfo file(dialog.FileName);
    if (file.isAbsolute()) {
        box.setDirectory(file.absolutePath());
        box.selectFile(file.fileName());
    } else {
        box.selectFile(dialog.FileName);
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.FileName = box.selectedFiles().constFirst();
    dialog.FilterIndex = int(filters.indexOf(box.selectedNameFilter())) + 1;
    // The system's dialog left the chosen file's folder the current directory, and what a
    // segment names is looked for there; a folder that cannot be entered leaves it as it was.
    QDir::setCurrent(QFileInfo(dialog.FileName).absolutePath());
    return true;
}

void QtHost::SHAddToRecentDocs(const QString& path)
{
    addRecentDocument(path); // a list that cannot be written is simply not updated
}

void QtHost::winHelp(QWidget* owner, const QString& helpFile, int command, int)
{
    if (helpViewer_.isNull()) helpViewer_ = new HelpViewer(owner);
    if (command == HELP_CONTENTS) helpViewer_->openContents(helpFile, programDirectory());
}

void QtHost::ShellExecute(QWidget*, const QString& operation, const QString& file)
{
    if (operation != QLatin1String("open") || file.isEmpty()) return;
    QUrl target(file);
    if (target.scheme().isEmpty()) target = QUrl::fromLocalFile(file);
    QDesktopServices::openUrl(target); // the desktop's own handler; its result is not ours to show
}

void QtHost::endProgram(int exitCode)
{
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
