#include "Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

#include <memory>

namespace {

constexpr const char* kResourcesVariable = "REELFINCH_RESOURCES";
constexpr const char* kSubfolder = "translations";
constexpr const char* kFilePrefix = "reelfinch";

} // namespace

QString translationsFolder()
{
    const QString overridden = qEnvironmentVariable(kResourcesVariable);
    if (!overridden.isEmpty()) {
        const QString folder = QDir(overridden).filePath(kSubfolder);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    if (QCoreApplication::instance()) {
        const QString installed
            = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/reelfinch/") + kSubfolder);
        if (QFileInfo(installed).isDir())
            return QDir::cleanPath(installed);
    }
#ifdef REELFINCH_TRANSLATIONS_DIR
    return QStringLiteral(REELFINCH_TRANSLATIONS_DIR);
#else
    return QString();
#endif
}

bool installTranslation(const QLocale& locale)
{
    static std::unique_ptr<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, kFilePrefix, QStringLiteral("_"), translationsFolder()))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}
