#pragma once

#include "Host.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QStringList>

class HelpViewer;
class QTranslator;

/// Qt's own texts (message-box buttons, file dialogs, text-box menus) in the language of
/// `locale`. The program's own texts are Japanese already and are left alone. Returns the
/// installed translator, owned by the application, or null when Qt has no such translation.
QTranslator* installQtTranslations(const QLocale& locale = QLocale());

// The real host: Qt widgets and the process's own services.
class QtHost final : public Host {
public:
    /// `arguments`: the command line as the process received it, executable first.
    explicit QtHost(QStringList arguments);
    ~QtHost() override;

    MsgBoxResult MsgBox(const QString& prompt, int style = MsgBoxStyle::vbOKOnly,
                        const QString& title = {}) override;
    void DoEvents() override;
    void waitForEvents(double seconds) override;
    double clockSeconds() override;
    void setMousePointer(MousePointer pointer) override;
    QString programDirectory() override;
    QString commandLine() override;
    bool ShowOpen(CommonDialog& dialog) override;
    void SHAddToRecentDocs(const QString& path) override;
    void winHelp(QWidget* owner, const QString& helpFile, int command, int data) override;
    void ShellExecute(QWidget* owner, const QString& operation, const QString& file) override;
    [[noreturn]] void endProgram(int exitCode) override;

private:
    QStringList arguments_;
    QElapsedTimer clock_;
    bool overrideCursor_ = false;
    QPointer<HelpViewer> helpViewer_;
};
