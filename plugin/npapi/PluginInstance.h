// One plug-in instance: the movie it plays, the window and port the host gave it, the stream that brings the
// movie, event handling and the scriptable object. Every call into the host happens inside a call from it.
#pragma once

#include "npapi/RequestLoader.h"
#include "timeline/MoviePlayer.h"

#include "EventRecord.h"
#include "QuickDraw.h"
#include "npextensions.h"
#include "npfunctions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reelfinch::plugin {

inline constexpr const char* kMimeType = "application/x-shockwave-flash";
inline constexpr const char* kPluginName = "Reelfinch movie plug-in";
inline constexpr const char* kPluginDescription = "Plays SWF movies";
// A movie stream longer than this is refused (the instance stays blank).
inline constexpr size_t kMaxMovieBytes = size_t(512) * 1024 * 1024;
// What NPP_WriteReady offers at a time.
inline constexpr int32_t kWriteChunk = 64 * 1024;

// The browser table handed to NP_Initialize (checked and copied), and the local-security switch.
NPError InitializeBrowser(const NPNetscapeFuncs* browser);
void ShutdownBrowser();
const NPNetscapeFuncs* Browser();
void SetLocalSecurity(bool enforce);
bool LocalSecurityEnforced();

// Whether a movie at `moviePath` (a path or file URL) may request `url` under local security: files in the
// movie's folder or below it, and relative URLs, yes; anything on the network or elsewhere, no.
bool RequestAllowedUnderLocalSecurity(const std::string& moviePath, const std::string& url);

class PluginInstance
{
public:
    explicit PluginInstance(NPP npp);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    void setWindow(const NPWindow* window);
    void newStream(NPStream* stream);
    int32_t writeReady(NPStream* stream);
    int32_t write(NPStream* stream, int32_t offset, int32_t len, const void* buffer);
    void destroyStream(NPStream* stream, NPReason reason);
    // The host's answer to one of the instance's own URL requests has ended.
    void urlNotify(const char* url, NPReason reason, void* notifyData);
    int16_t handleEvent(const EventRecord& event);
    // The instance's scriptable object (made on first request; the instance keeps its one reference).
    NPObject* scriptableObject();

    // The scripting methods, by name; false for an unknown name or wrong arguments.
    bool hasMethod(const std::string& name) const;
    bool invoke(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result);

    MoviePlayer& movie() { return m_Movie; }

private:
    bool hasCallback(const std::string& name) const;
    bool invokeCallback(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result);
    void draw();
    void invalidate();
    void requestURL(const std::string& url, const std::string& target);
    void traceLine(const std::string& line);
    // Connects the movie's scripts to the request loader (when its script machine is made).
    void connectLoading(avm1::Machine& machine);
    // Runs the scripts' handlers of requests answered since the last step.
    void deliverLoads();
    bool localPoint(const EventRecord& event, double& x, double& y) const;
    // Tells the host when the cursor over the movie changes between the arrow and the hand.
    void updateCursor();
    // An editing command of the host's Edit menu ('x', 'c', 'v', 'a' as their Command keys) on the focused field;
    // false for other characters, which are keys for the movie.
    bool editCommand(char command);
    int viewWidth() const { return int(m_Window.width); }
    int viewHeight() const { return int(m_Window.height); }

    NPP m_NPP;
    MoviePlayer m_Movie;
    NPWindow m_Window {};
    NP_Port m_Port {};
    bool m_HaveWindow = false;
    bool m_HandCursor = false; // what the host was last told
    bool m_MiddleDown = false; // the host's middle button is held
    NPStream* m_MovieStream = nullptr;
    bool m_MovieReceived = false;
    bool m_StreamFailed = false;
    std::vector<uint8_t> m_Bytes;
    std::string m_MoviePath;
    NPObject* m_Scriptable = nullptr;
    RequestLoader m_Loader;
    bool m_TraceAsked = false;
    NPN_TraceLineProcPtr m_TraceFunction = nullptr;
    std::string m_ResultText; // a string answer of the scripting methods, kept until the next call
};

} // namespace reelfinch::plugin
