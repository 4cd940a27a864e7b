#include "Translations.h"

#include "ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

#include <memory>

namespace {

constexpr const char* kFilePrefix = "reelfinch";

} // namespace

QString translationsFolder()
{
    return resourceFolder(QStringLiteral("translations"));
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
