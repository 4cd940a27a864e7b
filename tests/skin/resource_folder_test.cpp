// Where the application finds its resources: REELFINCH_RESOURCES first, then the development folders; a folder
// that is missing everywhere is looked for where it would be.
#include "ResourceFolder.h"
#include "SkinImages.h"
#include "Translations.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Sets REELFINCH_RESOURCES for the scope of one test and puts the old value back.
class ResourcesVariable
{
public:
    explicit ResourcesVariable(const QString& value)
        : _saved(qgetenv(kResourcesVariable))
    {
        qputenv(kResourcesVariable, value.toUtf8());
    }
    ~ResourcesVariable()
    {
        if (_saved.isNull())
            qunsetenv(kResourcesVariable);
        else
            qputenv(kResourcesVariable, _saved);
    }

private:
    QByteArray _saved;
};

} // namespace

TEST(ResourceFolder, TheOverrideWinsWhereItHoldsTheFolderAndTheDevelopmentTreeServesOtherwise)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("skin")));
    const QString developmentSkin = [] {
        ResourcesVariable none { QString() };
        return skinFolder();
    }();
    ASSERT_TRUE(QDir(developmentSkin).exists(QStringLiteral("play.svg")));

    ResourcesVariable overridden(root.path());
    struct Case {
        const char* subfolder;
        QString expected;
    };
    const Case cases[] = {
        { "skin", QDir(root.path()).filePath(QStringLiteral("skin")) },
        // Not in the override: the development folder of the source tree.
        { "demo", QString::fromLatin1(REELFINCH_DEMO_DIR) },
        // Missing everywhere: where the override would hold it.
        { "plugins", QDir(root.path()).filePath(QStringLiteral("plugins")) },
    };
    for (const Case& c : cases)
        EXPECT_EQ(resourceFolder(QLatin1String(c.subfolder)).toStdString(), c.expected.toStdString()) << c.subfolder;
    EXPECT_EQ(skinFolder(), resourceFolder(QStringLiteral("skin")));
    EXPECT_EQ(translationsFolder(), resourceFolder(QStringLiteral("translations")));
}
