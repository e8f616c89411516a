#pragma once

#include "Host.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A host that answers message boxes from a script, records what the program asks of the
// system, and runs a clock the test moves.
class FakeHost final : public Host {
public:
    struct Message {
        QString prompt;
        int style;
        QString title; // as shown: the application's title when none was given
    };
    struct HelpCall {
        QWidget* owner;
        QString helpFile;
        int command;
        int data;
    };

    // Script and settings
    std::deque<MsgBoxResult> answers;      // taken in order; when empty: OK, or Cancel for a Retry/Cancel box
    QString programDir;
    QString commandLineText;
    double clock = 0.0;
    double clockStepPerRead = 0.0;         // added after every clock read
    std::function<void()> onDoEvents;      // runs inside each DoEvents / waitForEvents
    std::function<void(const HelpCall&)> onWinHelp;
    struct OpenChoice {
        QString file;
        int filterIndex;
    };
    std::deque<std::optional<OpenChoice>> openAnswers; // taken in order; nullopt or none left: cancel

    // Records
    std::vector<Message> messages;
    std::vector<MousePointer> pointers;
    std::vector<HelpCall> helpCalls;
    QStringList recentDocs;
    struct ShellCall {
        QWidget* owner;
        QString operation;
        QString file;
    };
    std::vector<ShellCall> shellCalls;
    std::function<void(const ShellCall&)> onShellExecute;
    int openDialogs = 0;
    int doEventsCount = 0;
    std::optional<int> endedWith;

    MsgBoxResult MsgBox(const QString& prompt, int style = MsgBoxStyle::vbOKOnly,
                        const QString& title = {}) override;
    void DoEvents() override;
    void waitForEvents(double seconds) override;
    double clockSeconds() override;
    void setMousePointer(MousePointer pointer) override;
    QString programDirectory() override { return programDir; }
    QString commandLine() override { return commandLineText; }
    bool ShowOpen(CommonDialog& dialog) override;
    void SHAddToRecentDocs(const QString& path) override { recentDocs.push_back(path); }
    void winHelp(QWidget* owner, const QString& helpFile, int command, int data) override;
    void ShellExecute(QWidget* owner, const QString& operation, const QString& file) override;
    void endProgram(int exitCode) override;
};
