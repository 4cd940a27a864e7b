// Synchronous, nestable calls over a channel: a side sends a request and waits for its reply, and while it
// waits it serves the requests the other side makes of it (the engine asks the host for a URL while it answers
// the host's event; the host delivers the URL's stream while the engine waits). Both sides count the open calls
// the same way, so every frame's depth must match the count exactly: a reply to nothing, a request at the wrong
// level or a reply of the wrong type breaks the conversation.
#pragma once

#include "ipc/Message.h"

#include <functional>

namespace reelfinch::ipc {

class Conversation
{
public:
    // Answers one request of the other side: fills the reply's payload; false for a request that is malformed
    // or not allowed, which ends the conversation.
    using Server = std::function<bool(const Message& request, Writer& reply)>;

    explicit Conversation(Channel& channel)
        : m_Channel(channel)
    { }

    void setServer(Server server) { m_Server = std::move(server); }
    // How long the other side may keep an outermost call waiting in all (negative: without end): the time spent
    // waiting for its frames counts, the time spent serving its requests does not.
    void setTimeout(int milliseconds) { m_TimeoutMs = milliseconds; }
    // How many requests of the other side one outermost call serves at most before the conversation counts as
    // broken (0: no limit); a flood of requests would otherwise hold this side for good.
    void setMaxRequestsPerCall(uint32_t count) { m_MaxRequestsPerCall = count; }

    // Sends a request and returns its reply. Anything but Ok leaves the conversation broken for good.
    ReceiveStatus call(MessageType type, const Writer& payload, Message& reply, int passFd = -1);
    // Waits for one request and serves it (the engine's main loop). Closed when the other side is gone.
    ReceiveStatus serveOne();

    // Whether a descriptor may come beside a request (the engine takes its pixel buffer so); the server takes
    // it with takeDescriptor() while it serves that request, else it is closed.
    void setAcceptDescriptors(bool accept) { m_AcceptDescriptors = accept; }
    int takeDescriptor();

    bool broken() const { return m_Broken; }
    ReceiveStatus failure() const { return m_Failure; }
    uint32_t depth() const { return m_Depth; }

private:
    ReceiveStatus fail(ReceiveStatus status);
    ReceiveStatus serve(const Message& request, int descriptor);
    ReceiveStatus receive(Message& message, int& descriptor);

    Channel& m_Channel;
    Server m_Server;
    int m_TimeoutMs = -1;
    uint32_t m_MaxRequestsPerCall = 0;
    uint32_t m_RequestsServed = 0;
    long long m_WaitedMs = 0;
    uint32_t m_Depth = 0;
    bool m_Broken = false;
    bool m_AcceptDescriptors = false;
    int m_Descriptor = -1;
    ReceiveStatus m_Failure = ReceiveStatus::Ok;
};

} // namespace reelfinch::ipc
