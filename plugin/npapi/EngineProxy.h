// The plug-in instance as the host sees it when the movie engine runs in a child process: every plug-in call is
// forwarded to the engine, every browser-side call of the engine is checked and made on the host, and the
// engine's pixels are copied from shared memory into the host's port. The engine is untrusted: a malformed or
// oversized message, a crash, a kill or five seconds without an answer end it; the instance then shows that
// its movie stopped, tells the host so through its status line, and refuses further work.
#pragma once

#include "ipc/Conversation.h"
#include "ipc/Records.h"
#include "sound/SoundOutput.h"

#include "EventRecord.h"
#include "npextensions.h"
#include "npfunctions.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace reelfinch::avm1 {
class SharedObjectStore;
}

namespace reelfinch::plugin {

// How long the engine may take to answer before it counts as hung.
inline constexpr int kEngineAnswerTimeoutMs = 5000;
// Browser-side calls the engine may make while answering one call of the host. A frame's scripts may trace
// several thousand lines (each a call) within one step; the engine's own script time limit ends a runaway one.
inline constexpr uint32_t kMaxEngineRequestsPerCall = 65536;
// The engine's program, found beside the bundle's shared library.
inline constexpr const char* kEngineProgramName = "reelfinch-engine";
// The status line the instance sends the host when its engine stopped.
inline constexpr const char* kEngineStoppedStatus = "reelfinch: movie engine stopped";
// The environment switch that keeps the engine in the host's process (for debugging).
inline constexpr const char* kInProcessVariable = "REELFINCH_IN_PROCESS";
// The environment switch under which the engine answers its test-only scripting names.
inline constexpr const char* kTestEntriesVariable = "REELFINCH_ENGINE_TEST_ENTRIES";
// Scripting name answered by the proxy itself under test entries: the engine's process id.
inline constexpr const char* kTestEnginePid = "ReelfinchTestEnginePid";

// Where the engine program is: beside the shared library that holds this code.
std::string EngineProgramPath();

class EngineProxy
{
public:
    EngineProxy(NPP npp, bool enforceLocalSecurity);
    ~EngineProxy();
    EngineProxy(const EngineProxy&) = delete;
    EngineProxy& operator=(const EngineProxy&) = delete;

    // Starts the engine and its instance; false when it could not be started.
    bool start(const std::string& program);

    void setWindow(const NPWindow* window);
    NPError newStream(NPStream* stream, uint16_t* stype);
    int32_t writeReady(NPStream* stream);
    int32_t write(NPStream* stream, int32_t offset, int32_t len, const void* buffer);
    void destroyStream(NPStream* stream, NPReason reason);
    // The host's answer to one of the engine's URL requests has ended (notifyData is the proxy's token).
    void urlNotify(const char* url, NPReason reason, void* notifyData);
    int16_t handleEvent(const EventRecord& event);
    NPObject* scriptableObject();
    bool hasMethod(const std::string& name);
    bool invoke(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result);

    bool running() const { return m_Pid > 0 && !m_Stopped; }
    pid_t pid() const { return m_Pid; }

    // Answers one browser-side call of the engine (the table of calls is in the source); false for a call that
    // is unknown, malformed or not allowed. Public for the fuzz target.
    bool serveBrowserCall(const ipc::Message& request, ipc::Writer& reply);

private:
    bool call(ipc::MessageType type, const ipc::Writer& payload, ipc::Message& reply, int passFd = -1);
    void stopEngine(bool graceful);
    void fault();
    bool ensurePixelBuffer();
    void copyPixels();
    void drawStopped();
    void invalidateAll();
    bool requestAllowed(const std::string& url) const;
    avm1::SharedObjectStore& store();
    // The proxy's token (handed to the host as notifyData) for an open request of the engine, and back.
    struct OpenRequest {
        uint32_t engineId = 0;
    };
    OpenRequest* findRequest(const void* notifyData) const;
    bool requestURL(ipc::Reader& r, bool post, ipc::Writer& reply);

    friend struct BrowserCalls;

    NPP m_NPP;
    bool m_EnforceLocalSecurity;
    bool m_TestEntries = false;
    pid_t m_Pid = -1;
    bool m_Stopped = false;
    ipc::Channel m_Channel;
    ipc::Conversation m_Conversation;

    NPWindow m_Window {};
    bool m_HaveWindow = false;
    std::map<const NPStream*, uint32_t> m_Streams;
    std::vector<std::unique_ptr<OpenRequest>> m_Requests;
    uint32_t m_NextStream = 1;
    std::string m_MoviePath;
    bool m_MovieStreamSeen = false;

    // The port's own pixels, shared with the engine (no copy), when the host keeps them in shared memory.
    const void* m_DirectPixels = nullptr;
    int m_PixelFd = -1;
    void* m_Pixels = nullptr;
    size_t m_PixelBytes = 0;
    int32_t m_PixelWidth = 0;
    int32_t m_PixelHeight = 0;

    NPObject* m_Scriptable = nullptr;
    std::string m_ResultText;

    // The engine's sound: the read end of its pipe, and the stream playing it once the engine asked for one.
    int m_AudioFd = -1;
    std::unique_ptr<sound::SoundOutput> m_Audio;
    bool m_AudioTried = false;
    // Stored objects, in the user's data folder for the player.
    std::unique_ptr<avm1::SharedObjectStore> m_Store;

    bool m_TraceAsked = false;
    // Set while the host's Paste command is being handled: the engine may read the clipboard then only.
    bool m_Pasting = false;
    // Set while the host hands over a change of the input method's composing text: the engine may read it then
    // only.
    bool m_Composing = false;
    NPN_TraceLineProcPtr m_TraceFunction = nullptr;
};

} // namespace reelfinch::plugin
