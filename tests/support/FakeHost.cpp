#include "FakeHost.h"

#include "CommonDialog.h"

MsgBoxResult FakeHost::MsgBox(const QString& prompt, int style, const QString& title)
{
    messages.push_back({prompt, style, title.isEmpty() ? appTitle() : title});
    if (!answers.empty()) {
        const MsgBoxResult answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (style & MsgBoxStyle::ButtonsMask) == MsgBoxStyle::vbRetryCancel ? MsgBoxResult::vbCancel
                                                                            : MsgBoxResult::vbOK;
}

void FakeHost::DoEvents()
{
    ++doEventsCount;
    if (onDoEvents) onDoEvents();
}

void FakeHost::waitForEvents(double seconds)
{
    ++doEventsCount;
    if (onDoEvents) onDoEvents();
    clock += seconds;
}

double FakeHost::clockSeconds()
{
    const double now = clock;
    clock += clockStepPerRead;
    return now;
}

void FakeHost::setMousePointer(MousePointer pointer)
{
    pointers.push_back(pointer);
}

void FakeHost::winHelp(QWidget* owner, const QString& helpFile, int command, int data)
{
    helpCalls.push_back({owner, helpFile, command, data});
    if (onWinHelp) onWinHelp(helpCalls.back());
}

void FakeHost::ShellExecute(QWidget* owner, const QString& operation, const QString& file)
{
    shellCalls.push_back({owner, operation, file});
    if (onShellExecute) onShellExecute(shellCalls.back());
}

void FakeHost::endProgram(int exitCode)
{
    if (!endedWith) endedWith = exitCode;
}

bool FakeHost::ShowOpen(CommonDialog& dialog)
{
    ++openDialogs;
    if (openAnswers.empty()) return false;
    const std::optional<OpenChoice> answer = openAnswers.front();
    openAnswers.pop_front();
    if (!answer) return false;
    dialog.FileName = answer->file;
    dialog.FilterIndex = answer->filterIndex;
    return true;
}
