// The movie's own URL requests to the host, in one place: a request goes out with notification (GET, or POST
// with its body), the host's answering stream is collected, and one completion reports success or failure.
// Relative URLs are resolved against the movie's own URL; local security is judged here as for every request.
#pragma once

#include "npfunctions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace reelfinch::plugin {

// `url` resolved against the URL of the movie (a path, a file URL or a network URL): absolute URLs and
// paths stay as they are, a relative one joins the movie's folder (and stays relative when the movie's URL
// names no folder, as the host then resolves it beside the movie).
std::string ResolveMovieURL(const std::string& movieURL, const std::string& url);

// The window name of a request as the player reads it: any spelling of "blank" is the new window "_blank".
std::string NormaliseTarget(const std::string& target);

class RequestLoader
{
public:
    struct Callbacks {
        // Bytes of the answer as they arrive, with its announced length (0: unknown).
        std::function<void(const uint8_t* data, size_t size, uint32_t total)> bytes;
        // Called exactly once: whether the whole answer arrived.
        std::function<void(bool ok)> finished;
    };

    explicit RequestLoader(NPP npp)
        : m_NPP(npp)
    { }
    ~RequestLoader();
    RequestLoader(const RequestLoader&) = delete;
    RequestLoader& operator=(const RequestLoader&) = delete;

    void setMovieURL(const std::string& url) { m_MovieURL = url; }
    const std::string& movieURL() const { return m_MovieURL; }

    // Sends a request whose answer is for the movie ("GET" or "POST"; a POST carries `contentType` and `body`).
    // False when it was refused at once: then `finished` has been called with false. The answer may arrive
    // before this returns.
    bool request(const std::string& url, const std::string& method, const std::string& contentType,
        const std::string& body, Callbacks callbacks);
    // Opens a URL for a window or the host (getURL, send): nothing comes back. False when refused.
    bool navigate(const std::string& url, const std::string& target, bool post, const std::string& contentType,
        const std::string& body);

    // The host's side: true when the stream or notification answers one of this loader's requests.
    bool owns(const NPStream* stream) const;
    void newStream(NPStream* stream);
    int32_t write(NPStream* stream, int32_t len, const void* buffer);
    void destroyStream(NPStream* stream, NPReason reason);
    bool urlNotify(NPReason reason, void* notifyData);

private:
    struct Pending {
        Callbacks callbacks;
        uint32_t total = 0;
        size_t received = 0;
        bool failed = false;
        bool streamEnded = false;
        bool streamOk = false;
    };
    bool send(const std::string& url, const char* target, bool post, const std::string& contentType,
        const std::string& body, Callbacks callbacks);
    Pending* find(const void* notifyData) const;
    void finish(Pending* pending, bool ok);
    bool allowed(const std::string& url) const;

    NPP m_NPP;
    std::string m_MovieURL;
    std::vector<std::unique_ptr<Pending>> m_Pending;
};

} // namespace reelfinch::plugin
