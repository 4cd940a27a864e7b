#include "npapi/RequestLoader.h"

#include "npapi/PluginInstance.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace reelfinch::plugin {

namespace {

// The most one answer may bring; a longer one fails.
constexpr size_t kMaxAnswerBytes = size_t(64) << 20;
// Requests waiting for the host's answer at one time; more are refused.
constexpr size_t kMaxOpenRequests = 256;

bool HasScheme(const std::string& url)
{
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    return std::all_of(url.begin(), url.begin() + long(colon),
        [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

// The headers a posted body travels with, as the host's POST call takes them: headers, a blank line, the data.
std::string PostData(const std::string& contentType, const std::string& body)
{
    std::string data;
    if (!contentType.empty())
        data += "Content-Type: " + contentType + "\r\n";
    data += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    return data + body;
}

} // namespace

std::string NormaliseTarget(const std::string& target)
{
    // "blank" in any case, with or without its underscore, is the new window; every other name stays as written.
    std::string lower = target;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower == "_blank" || lower == "blank" ? std::string("_blank") : target;
}

std::string ResolveMovieURL(const std::string& movieURL, const std::string& url)
{
    if (url.empty() || HasScheme(url) || url[0] == '/')
        return url;
    // The movie's folder: everything up to its last '/', before any query or fragment.
    std::string base = movieURL.substr(0, movieURL.find_first_of("?#"));
    const size_t slash = base.rfind('/');
    if (slash == std::string::npos)
        return url;
    base.resize(slash + 1);
    return base + url;
}

RequestLoader::~RequestLoader() = default;

bool RequestLoader::allowed(const std::string& url) const
{
    return !LocalSecurityEnforced() || RequestAllowedUnderLocalSecurity(m_MovieURL, url);
}

bool RequestLoader::request(const std::string& url, const std::string& method, const std::string& contentType,
    const std::string& body, Callbacks callbacks)
{
    return send(url, nullptr, method == "POST", contentType, body, std::move(callbacks));
}

bool RequestLoader::navigate(const std::string& url, const std::string& target, bool post,
    const std::string& contentType, const std::string& body)
{
    const std::string window = NormaliseTarget(target);
    return send(url, window.c_str(), post, contentType, body, Callbacks());
}

bool RequestLoader::send(const std::string& url, const char* target, bool post, const std::string& contentType,
    const std::string& body, Callbacks callbacks)
{
    const NPNetscapeFuncs* browser = Browser();
    const std::string resolved = ResolveMovieURL(m_MovieURL, url);
    const bool callable = browser && (post ? browser->posturlnotify != nullptr : browser->geturlnotify != nullptr);
    if (resolved.empty() || !allowed(resolved) || !callable || m_Pending.size() >= kMaxOpenRequests) {
        if (callbacks.finished)
            callbacks.finished(false);
        return false;
    }
    // Every request carries notification, so the host's end of it always closes its entry here.
    m_Pending.push_back(std::make_unique<Pending>());
    Pending* pending = m_Pending.back().get();
    pending->callbacks = std::move(callbacks);
    NPError result = NPERR_NO_ERROR;
    if (post) {
        const std::string data = PostData(contentType, body);
        result = browser->posturlnotify(m_NPP, resolved.c_str(), target, uint32_t(data.size()), data.data(), false,
            pending);
    } else {
        result = browser->geturlnotify(m_NPP, resolved.c_str(), target, pending);
    }
    // A refused request hears nothing more from the host; one answered already is finished.
    if (result != NPERR_NO_ERROR && find(pending))
        finish(pending, false);
    return result == NPERR_NO_ERROR;
}

RequestLoader::Pending* RequestLoader::find(const void* notifyData) const
{
    if (!notifyData)
        return nullptr;
    for (const auto& p : m_Pending)
        if (p.get() == notifyData)
            return p.get();
    return nullptr;
}

void RequestLoader::finish(Pending* pending, bool ok)
{
    auto it = std::find_if(m_Pending.begin(), m_Pending.end(), [pending](const auto& p) { return p.get() == pending; });
    if (it == m_Pending.end())
        return;
    std::unique_ptr<Pending> done = std::move(*it);
    m_Pending.erase(it);
    if (done->callbacks.finished)
        done->callbacks.finished(ok);
}

bool RequestLoader::owns(const NPStream* stream) const
{
    return stream && find(stream->notifyData) != nullptr;
}

void RequestLoader::newStream(NPStream* stream)
{
    Pending* pending = find(stream->notifyData);
    if (!pending)
        return;
    pending->total = stream->end;
    pending->received = 0;
    pending->failed = false;
}

int32_t RequestLoader::write(NPStream* stream, int32_t len, const void* buffer)
{
    Pending* pending = find(stream->notifyData);
    if (!pending || len < 0 || pending->failed)
        return -1;
    if ((len > 0 && !buffer) || pending->received + size_t(len) > kMaxAnswerBytes) {
        pending->failed = true;
        return -1;
    }
    pending->received += size_t(len);
    if (pending->callbacks.bytes && len > 0)
        pending->callbacks.bytes(static_cast<const uint8_t*>(buffer), size_t(len), pending->total);
    return len;
}

void RequestLoader::destroyStream(NPStream* stream, NPReason reason)
{
    Pending* pending = find(stream->notifyData);
    if (!pending)
        return;
    pending->streamEnded = true;
    pending->streamOk = reason == NPRES_DONE && !pending->failed;
}

bool RequestLoader::urlNotify(NPReason reason, void* notifyData)
{
    Pending* pending = find(notifyData);
    if (!pending)
        return false;
    // Done only when the host says so and a whole stream came.
    finish(pending, reason == NPRES_DONE && pending->streamEnded && pending->streamOk);
    return true;
}

} // namespace reelfinch::plugin
