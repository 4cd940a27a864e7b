// The player's entry: files named on the command line are opened as launch-time open requests; when a player is
// already running for this user's settings, the files go to it instead and this launch ends.
#include "PlayerController.h"
#include "SingleInstance.h"
#include "Translations.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QSocketNotifier>
#include <QUrl>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char kOrganisation[] = "Reelfinch";
constexpr char kApplication[] = "Reelfinch";
constexpr char kDesktopFile[] = "reelfinch";

// Command-line arguments are paths or file URLs (the desktop entry passes URLs); they become absolute paths.
QStringList moviesFromArguments(const QStringList& arguments)
{
    QStringList paths;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument.isEmpty())
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        paths.append(QFileInfo(path).absoluteFilePath());
    }
    return paths;
}

// A termination request (logout, kill, Ctrl+C in a terminal) ends the player the way Quit does, so the settings
// are written. The signal handler only writes a byte to a socket the event loop watches.
int terminationPipe[2] = { -1, -1 };

void requestTermination(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(terminationPipe[0], &byte, 1);
}

void quitOnTerminationSignals(PlayerController& controller)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(terminationPipe[1], QSocketNotifier::Read, &controller);
    QObject::connect(notifier, &QSocketNotifier::activated, &controller, [&controller, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(terminationPipe[1], &byte, 1);
        notifier->setEnabled(false);
        controller.terminate();
    });
    struct sigaction action {
    };
    action.sa_handler = requestTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setOrganizationName(QLatin1String(kOrganisation));
    QCoreApplication::setApplicationName(QLatin1String(kApplication));
    QCoreApplication::setApplicationVersion(QLatin1String(REELFINCH_VERSION));
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopFile));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/reelfinch.svg")));
    // The player ends when its movie window closes, not when the last window does.
    QApplication::setQuitOnLastWindowClosed(false);

    // The user's languages in order of preference; none translated leaves the English texts.
    installTranslation(QLocale::system());

    const QStringList movies = moviesFromArguments(QCoreApplication::arguments());
    SingleInstance instance(SingleInstance::serverNameFor(QSettings().fileName()));
    if (instance.handOver(movies, 1000))
        return 0;
    instance.listen();

    PlayerController controller;
    controller.applicationWillFinishLaunching();
    for (const QString& movie : movies)
        controller.applicationOpenFile(movie);
    controller.applicationDidFinishLaunching();

    QObject::connect(&instance, &SingleInstance::filesReceived, &controller, [&controller](const QStringList& paths) {
        for (const QString& path : paths)
            controller.applicationOpenFile(path);
        controller.showViewerAction(nullptr);
    });
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &controller,
        [&controller, active = QGuiApplication::applicationState() == Qt::ApplicationActive](
            Qt::ApplicationState state) mutable {
            const bool nowActive = state == Qt::ApplicationActive;
            if (nowActive && !active)
                controller.applicationWillBecomeActive();
            else if (!nowActive && active)
                controller.applicationWillResignActive();
            active = nowActive;
        });
    quitOnTerminationSignals(controller);
    QObject::connect(
        &app, &QCoreApplication::aboutToQuit, &controller, [&controller] { controller.applicationWillTerminate(); });
    return QApplication::exec();
}
