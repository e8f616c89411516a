#pragma once

#include <QWidget>

class QTextBrowser;

// A small help viewer: a window of its own, owned by the program's main window.
class HelpViewer final : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* owner);

    /// Finds a help file as a help viewer does: the current directory first, then
    /// `programDirectory`. Empty when neither has it.
    static QString resolve(const QString& helpFile, const QString& programDirectory);

    /// Shows the file's contents page; a file that cannot be found or read gets the viewer's
    /// own message. Returns whether the file is shown.
    bool openContents(const QString& helpFile, const QString& programDirectory);

    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};
