#include "FileDrop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QStringList getFileNamesForDrag(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo file(url.toLocalFile());
        // A folder named like a movie is still no movie.
        if (file.suffix().compare(QLatin1String("swf"), Qt::CaseInsensitive) != 0 || file.isDir())
            continue;
        paths.append(file.absoluteFilePath());
    }
    return paths;
}
