#include "ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

constexpr char kInstalledFolder[] = "../share/reelfinch";

// Development builds read the skin and the demo movies from the source tree and the translations from the build
// tree; the plug-in bundle of a development build lies in the build tree's share/reelfinch/ beside bin's place.
QString developmentFolder(const QString& subfolder)
{
#ifdef REELFINCH_SKIN_DIR
    if (subfolder == QLatin1String("skin"))
        return QStringLiteral(REELFINCH_SKIN_DIR);
#endif
#ifdef REELFINCH_TRANSLATIONS_DIR
    if (subfolder == QLatin1String("translations"))
        return QStringLiteral(REELFINCH_TRANSLATIONS_DIR);
#endif
#ifdef REELFINCH_DEMO_DIR
    if (subfolder == QLatin1String("demo"))
        return QStringLiteral(REELFINCH_DEMO_DIR);
#endif
    return QString();
}

} // namespace

QString resourceFolder(const QString& subfolder)
{
    QStringList candidates;
    const QString overridden = qEnvironmentVariable(kResourcesVariable);
    if (!overridden.isEmpty())
        candidates.append(QDir(overridden).filePath(subfolder));
    if (QCoreApplication::instance())
        candidates.append(QDir::cleanPath(
            QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kInstalledFolder) + '/' + subfolder)));
    for (const QString& folder : candidates) {
        if (QFileInfo(folder).isDir())
            return folder;
    }
    const QString development = developmentFolder(subfolder);
    if (!development.isEmpty())
        return development;
    return candidates.isEmpty() ? QString() : candidates.first();
}
