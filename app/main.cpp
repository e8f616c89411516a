#include "GameControllers.h"
#include "LosslessText.h"
#include "Program.h"
#include "QtHost.h"
#include "TerminationSignals.h"
#include "VbDSnd2.h"
#include "WindowSystemChoice.h"
#include "X11AutoRepeat.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::vector<std::string> soundFontCandidates()
{
    const char* named = std::getenv("TARNEK_SOUNDFONT");
    return {
        named != nullptr ? named : "",
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tarnek.sf2")).toStdString(),
        "/usr/share/sounds/sf2/default-GM.sf2",
    };
}

// The arguments Qt left (it takes its own out of argv), byte for byte: Qt's own list would turn
// a file name that is not UTF-8 into one that names no file.
QStringList programArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(textFromBytes(QByteArray(argv[i])));
    return arguments;
}

// Without a locale in the environment Xlib takes the window title's UTF-8 bytes for Latin-1
// and window managers show the old name garbled; Qt's own text is UTF-8 whatever the locale.
// Any locale the user did choose stays. Called after QApplication, which sets the locale from
// the environment once more.
void useUtf8WithoutALocale()
{
    const char* chosen = std::setlocale(LC_CTYPE, nullptr);
    if (chosen == nullptr || std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

} // namespace

int main(int argc, char* argv[])
{
    chooseWindowSystem(argc, argv); // the panel places itself, stays on top and moves itself
    QApplication app(argc, argv);
    useUtf8WithoutALocale();
    QApplication::setApplicationName(QStringLiteral("tarnek"));
    // No display name: X11 would append it to every dialog's caption.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnek.png")));
    installQtTranslations(QLocale::system());
    enableDetectableAutoRepeat();

    QtHost host(programArguments(argc, argv));
    VbDSnd2 audio(soundFontCandidates());
    Program program{host, audio};
    frmMain form(program);
    // Ctrl+C, kill and logout close the window: the shutdown frees the sounds and saves the
    // settings, even from inside a message box or a release wait.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &form, &QWidget::close);
    form.Load();
    // Switch boxes: looked for once the window is up, so that scanning the input devices never
    // holds it back.
    std::unique_ptr<GameControllers> controllers;
    QTimer::singleShot(0, &form, [&] {
        controllers = std::make_unique<GameControllers>();
        form.listenTo(*controllers);
    });
    return QApplication::exec();
}
