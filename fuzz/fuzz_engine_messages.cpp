// The proxy's side of the conversation with the movie engine, fed the fuzzer's bytes as what the engine sent:
// frames split and checked, nested browser-side calls decoded and served on a stand-in host, replies read as
// scripting results and event answers. Nothing the engine sends may crash, hang or leak in the host.
#include "ipc/Conversation.h"
#include "ipc/Records.h"
#include "npapi/EngineProxy.h"
#include "npapi/PluginInstance.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

NPError HostGetURL(NPP, const char*, const char*)
{
    return NPERR_NO_ERROR;
}

// Requests with notification are taken and never answered: their tokens stay open until the proxy goes.
NPError HostGetURLNotify(NPP, const char*, const char*, void*)
{
    return NPERR_NO_ERROR;
}

NPError HostPostURLNotify(NPP, const char*, const char*, uint32_t, const char*, NPBool, void*)
{
    return NPERR_NO_ERROR;
}

void HostInvalidateRect(NPP, NPRect*) { }

void HostStatus(NPP, const char*) { }

void HostForceRedraw(NPP) { }

NPP_t g_npp {};

void InstallHost()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Stored objects the fuzzer's messages write go to a scratch folder, never the user's data folder.
    static char folder[] = "/tmp/reelfinch-fuzz-data-XXXXXX";
    if (mkdtemp(folder))
        setenv("XDG_DATA_HOME", folder, 1);
    NPNetscapeFuncs table {};
    table.size = sizeof table;
    table.version = NPVERS_HAS_NPRUNTIME_SCRIPTING;
    table.geturl = HostGetURL;
    table.geturlnotify = HostGetURLNotify;
    table.posturlnotify = HostPostURLNotify;
    table.invalidaterect = HostInvalidateRect;
    table.status = HostStatus;
    table.forceredraw = HostForceRedraw;
    reelfinch::plugin::InitializeBrowser(&table);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace reelfinch;
    // Bigger inputs would not fit the socket's buffer before anyone reads it.
    if (size > 64 * 1024)
        return 0;
    InstallHost();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    int buffer = 256 * 1024;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    fcntl(pair[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(pair[1], data + written, size - written);
        if (n <= 0)
            break;
        written += size_t(n);
    }
    // The engine's end says no more: the reader sees the bytes, then the end of the conversation. It stays
    // open to take the proxy's requests.
    shutdown(pair[1], SHUT_WR);

    plugin::EngineProxy proxy(&g_npp, true);
    ipc::Channel channel(pair[0]);
    channel.setSendTimeout(100);
    ipc::Conversation conversation(channel);
    conversation.setTimeout(100);
    conversation.setServer([&](const ipc::Message& request, ipc::Writer& reply) {
        return proxy.serveBrowserCall(request, reply);
    });
    const ipc::MessageType calls[] = { ipc::MessageType::Invoke, ipc::MessageType::HandleEvent,
        ipc::MessageType::WriteReady };
    for (int round = 0; round < 8 && !conversation.broken(); ++round) {
        ipc::Message reply;
        const ipc::MessageType type = calls[round % 3];
        if (conversation.call(type, ipc::Writer(), reply) != ipc::ReceiveStatus::Ok)
            break;
        ipc::Reader r(reply.payload);
        if (type == ipc::MessageType::Invoke) {
            r.u8();
            NPVariant value;
            std::string text;
            ipc::ReadVariant(r, value, text);
        } else if (type == ipc::MessageType::HandleEvent) {
            ipc::WindowState state;
            ipc::ReadWindow(r, state);
        } else {
            r.i32();
        }
    }
    close(pair[0]);
    close(pair[1]);
    return 0;
}
