#include "RecentDocuments.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr char kFileName[] = "recently-used.xbel";
constexpr char kClosingTag[] = "</xbel>";
constexpr char kMimeType[] = "application/x-shockwave-flash";
constexpr char kApplicationName[] = "Reelfinch";
constexpr char kApplicationExec[] = "&apos;reelfinch %u&apos;";
// Desktop lists hold a few hundred entries; anything far larger is not ours to rewrite.
constexpr qint64 kMaxListBytes = 16 * 1024 * 1024;

QByteArray emptyList()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<xbel version=\"1.0\"\n"
           "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
           "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
           ">\n"
           "</xbel>\n";
}

QByteArray bookmark(const QString& href)
{
    const QByteArray now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
    const QByteArray link = href.toHtmlEscaped().toUtf8();
    return "  <bookmark href=\"" + link + "\" added=\"" + now + "\" modified=\"" + now + "\" visited=\"" + now
        + "\">\n"
          "    <info>\n"
          "      <metadata owner=\"http://freedesktop.org\">\n"
          "        <mime:mime-type type=\""
        + kMimeType
        + "\"/>\n"
          "        <bookmark:applications>\n"
          "          <bookmark:application name=\""
        + kApplicationName + "\" exec=\"" + kApplicationExec + "\" modified=\"" + now
        + "\" count=\"1\"/>\n"
          "        </bookmark:applications>\n"
          "      </metadata>\n"
          "    </info>\n"
          "  </bookmark>\n";
}

} // namespace

RecentDocuments::RecentDocuments(const QString& file)
    : _file(file)
{
}

QString RecentDocuments::defaultFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(kFileName);
}

bool RecentDocuments::noteNewRecentDocument(const QString& path) const
{
    if (path.isEmpty() || _file.isEmpty())
        return false;
    const QString href = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    const QByteArray attribute = "href=\"" + href.toHtmlEscaped().toUtf8() + "\"";

    QByteArray list;
    QFile existing(_file);
    if (existing.exists()) {
        if (existing.size() > kMaxListBytes || !existing.open(QIODevice::ReadOnly))
            return false;
        list = existing.readAll();
        existing.close();
    }
    if (list.trimmed().isEmpty())
        list = emptyList();
    if (list.contains(attribute))
        return true;
    const qsizetype end = list.lastIndexOf(kClosingTag);
    if (end < 0)
        return false;
    list.insert(end, bookmark(href));

    QDir().mkpath(QFileInfo(_file).absolutePath());
    QSaveFile out(_file);
    if (!out.open(QIODevice::WriteOnly) || out.write(list) != list.size())
        return false;
    return out.commit();
}
