#include "SkinImages.h"

#include "ResourceFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace {

constexpr const char* kSkinSuffix = ".svg";

} // namespace

QString skinFolder()
{
    return resourceFolder(QStringLiteral("skin"));
}

QImage skinImage(const QString& name, qreal devicePixelRatio)
{
    if (devicePixelRatio <= 0)
        devicePixelRatio
            = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? qApp->devicePixelRatio() : 1.0;
    static QHash<QString, QImage> cache;
    const QString key = name + QLatin1Char('@') + QString::number(devicePixelRatio);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;

    QImage image;
    QSvgRenderer renderer(QDir(skinFolder()).filePath(name + QLatin1String(kSkinSuffix)));
    if (renderer.isValid()) {
        const QSize size = renderer.defaultSize();
        const QSize pixels(
            int(std::ceil(size.width() * devicePixelRatio)), int(std::ceil(size.height() * devicePixelRatio)));
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        painter.end();
        image.setDevicePixelRatio(devicePixelRatio);
    }
    cache.insert(key, image);
    return image;
}

QSizeF skinImageSize(const QImage& image)
{
    if (image.isNull())
        return QSizeF();
    return QSizeF(image.size()) / image.devicePixelRatio();
}
