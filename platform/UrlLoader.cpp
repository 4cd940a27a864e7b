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

namespace {

// Sets up one transfer of `url` into `contents` and runs it; `configure` adds what a kind of request needs.
template <class Configure>
bool transfer(const QString& urlText, QByteArray* contents, int timeoutMs, const char* protocols, Configure configure)
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
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedRedirectProtocols);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(UrlLoader::kMaxContentSize));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    configure(handle);

    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK || sink.tooLarge) {
        contents->clear();
        return false;
    }
    return true;
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

bool UrlLoader::contentsOfURL(const QString& urlText, QByteArray* contents, int timeoutMs)
{
    return transfer(urlText, contents, timeoutMs, kAllowedProtocols, [](CURL*) {});
}

bool UrlLoader::postToURL(const QString& urlText, const QByteArray& body, const QByteArray& contentType,
    QByteArray* contents, int timeoutMs)
{
    // Only a header line of printable characters is passed on: a type with a line break would add headers.
    for (const char c : contentType)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    if (!contentType.isEmpty()) {
        const QByteArray line = "Content-Type: " + contentType;
        headers.reset(curl_slist_append(nullptr, line.constData()));
        if (!headers)
            return false;
    }
    return transfer(urlText, contents, timeoutMs, kAllowedRedirectProtocols, [&](CURL* handle) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.constData());
        if (headers)
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    });
}
