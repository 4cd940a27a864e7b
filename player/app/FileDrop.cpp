#include "FileDrop.h"

#include <QDropEvent>
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

void answerDrag(QEvent* event, const std::function<bool(const QMimeData*)>& accept)
{
    // A drag-enter event is a drop event too: both carry the drag's data and its proposed action.
    auto* drop = static_cast<QDropEvent*>(event);
    if (accept(drop->mimeData()))
        drop->acceptProposedAction();
    else
        drop->ignore();
}
