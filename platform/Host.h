#pragma once

#include <QString>

class QWidget;
struct CommonDialog;

// Message-box styles and answers, combined as buttons | icon.
namespace MsgBoxStyle {
inline constexpr int vbOKOnly = 0;
inline constexpr int vbOKCancel = 1;
inline constexpr int vbAbortRetryIgnore = 2;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int vbRetryCancel = 5;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;
inline constexpr int ButtonsMask = 0x0f;
inline constexpr int IconMask = 0x70;
} // namespace MsgBoxStyle

enum class MsgBoxResult : int { vbOK = 1, vbCancel, vbAbort, vbRetry, vbIgnore, vbYes, vbNo };

// The screen's mouse pointer while the program is busy.
enum class MousePointer { Default, Hourglass, ArrowHourglass };

// The winHelp command that opens a help file at its contents.
inline constexpr int HELP_CONTENTS = 3;

// The operating-system services the program uses. The real one is QtHost; tests use a
// scripted fake.
class Host {
public:
    virtual ~Host() = default;

    /// The application's title: the default caption of message boxes.
    static QString appTitle() { return QStringLiteral("タルネク"); }

    /// Shows a modal message box (buttons | icon); an empty title means the application's title.
    virtual MsgBoxResult MsgBox(const QString& prompt, int style = MsgBoxStyle::vbOKOnly,
                                const QString& title = {}) = 0;
    /// Handles all pending window events, then returns.
    virtual void DoEvents() = 0;
    /// Waits until a window event arrives or `seconds` pass, handling the events; never spins.
    virtual void waitForEvents(double seconds) = 0;
    /// A clock in seconds with fractions that only increases (also across midnight).
    virtual double clockSeconds() = 0;
    /// Sets the application-wide mouse pointer.
    virtual void setMousePointer(MousePointer pointer) = 0;
    /// The directory that holds the executable, without a trailing separator.
    virtual QString programDirectory() = 0;
    /// Everything after the executable's name on the command line, as one string.
    virtual QString commandLine() = 0;
    /// Shows the open-file dialog as `dialog` describes it. On a choice, `dialog` takes the
    /// chosen file's full path and filter index and the result is true; a cancel returns false
    /// and changes nothing.
    virtual bool ShowOpen(CommonDialog& dialog) = 0;
    /// Records a file the user opened among the desktop's recently used documents.
    virtual void SHAddToRecentDocs(const QString& path) = 0;
    /// Opens a help file in the help viewer, owned by `owner`.
    virtual void winHelp(QWidget* owner, const QString& helpFile, int command, int data) = 0;
    /// Asks the desktop to carry out `operation` ("open") on `file`: a web address, a "mailto:"
    /// address or a path. Fire and forget: whether anything opened is not reported.
    virtual void ShellExecute(QWidget* owner, const QString& operation, const QString& file) = 0;
    /// Ends the program at once: no further events, no other window's unload handlers.
    virtual void endProgram(int exitCode) = 0;
};
