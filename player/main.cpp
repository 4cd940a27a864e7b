// The player's entry: files named on the command line are opened as launch-time open requests; when a player is
// already running for this user's settings, the files go to it instead and this launch ends.
#include "PlayerController.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QUrl>

namespace {

constexpr char kOrganisation[] = "Reelfinch";
constexpr char kApplication[] = "Reelfinch";
constexpr char kDesktopFile[] = "reelfinch";

// The resources folder: REELFINCH_RESOURCES, else share/reelfinch beside the executable's bin/.
QString resourcesFolder()
{
    const QString overridden = qEnvironmentVariable("REELFINCH_RESOURCES");
    if (!overridden.isEmpty())
        return overridden;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/reelfinch"));
}

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

    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("reelfinch"), QStringLiteral("_"),
                        QDir(resourcesFolder()).filePath(QStringLiteral("translations"))))
        QCoreApplication::installTranslator(&translator);

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
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     [&controller] { controller.applicationWillTerminate(); });
    return QApplication::exec();
}
