// Synchronous URL loading over libcurl: the whole contents of a URL, fetched on the calling thread with a
// time-out and a size limit, so that a server that never answers or never stops cannot hold the player.
#ifndef REELFINCH_PLATFORM_URLLOADER_H
#define REELFINCH_PLATFORM_URLLOADER_H

#include <QByteArray>
#include <QString>

namespace UrlLoader {

inline constexpr int kDefaultTimeoutMs = 5000;
// Largest body accepted: beyond it the fetch counts as failed.
inline constexpr qsizetype kMaxContentSize = qsizetype(256) * 1024 * 1024;

// The contents of the URL (schemes http, https, ftp and file; redirects followed between http and https).
// A text without a scheme, a failed transfer, an HTTP error status, a time-out or a body over the limit give
// false and leave contents empty.
bool contentsOfURL(const QString& urlText, QByteArray* contents, int timeoutMs = kDefaultTimeoutMs);

} // namespace UrlLoader

#endif
