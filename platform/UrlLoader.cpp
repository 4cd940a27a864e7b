#include "UrlLoader.h"

#include <QUrl>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace {

constexpr long kMaxRedirects = 10;
constexpr const char* kAllowedProtocols = "http,https,ftp,file";
constexpr const char* kAllowedRedirectProtocols = "http,https";

struct Sink {
    QByteArray* contents;
    bool tooLarge = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (bytes > size_t(UrlLoader::kMaxContentSize - sink->contents->size())) {
        sink->tooLarge = true;
        return 0; // anything but the byte count aborts the transfer
    }
    sink->contents->append(data, qsizetype(bytes));
    return bytes;
}

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

} // namespace

bool UrlLoader::contentsOfURL(const QString& urlText, QByteArray* contents, int timeoutMs)
{
    if (!contents)
        return false;
    contents->clear();
    // A text without a scheme names no resource on its own; libcurl would guess a host name from it.
    const QUrl url(urlText, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || timeoutMs <= 0)
        return false;

    initialiseCurlOnce();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl)
        return false;

    const QByteArray encoded = url.toEncoded();
    Sink sink { contents };
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, encoded.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedRedirectProtocols);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxContentSize));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK || sink.tooLarge) {
        contents->clear();
        return false;
    }
    return true;
}
