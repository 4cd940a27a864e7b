// Synchronous URL loading and posting over libcurl: the whole contents of a URL, fetched on the calling thread with a
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

// Posts `body` to an http or https URL (with `contentType` as its Content-Type when not empty) and gives the
// answer's body, under the same rules, limits and failures as contentsOfURL. A redirect is followed as a GET,
// as browsers do.
bool postToURL(const QString& urlText, const QByteArray& body, const QByteArray& contentType, QByteArray* contents,
    int timeoutMs = kDefaultTimeoutMs);

} // namespace UrlLoader

#endif
