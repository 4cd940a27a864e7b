#include "ipc/Conversation.h"

#include <unistd.h>

namespace reelfinch::ipc {

ReceiveStatus Conversation::fail(ReceiveStatus status)
{
    m_Broken = true;
    m_Failure = status;
    return status;
}

int Conversation::takeDescriptor()
{
    const int fd = m_Descriptor;
    m_Descriptor = -1;
    return fd;
}

ReceiveStatus Conversation::receive(Message& message, int& descriptor)
{
    descriptor = -1;
    int timeout = m_TimeoutMs;
    if (m_TimeoutMs >= 0 && m_Depth > 0) {
        // Within a call: what is left of its waiting time.
        if (m_WaitedMs >= m_TimeoutMs)
            return ReceiveStatus::TimedOut;
        timeout = int(m_TimeoutMs - m_WaitedMs);
    }
    const long long start = NowMs();
    const ReceiveStatus status = m_Channel.receive(message, timeout, m_AcceptDescriptors ? &descriptor : nullptr);
    if (m_Depth > 0)
        m_WaitedMs += NowMs() - start;
    return status;
}

ReceiveStatus Conversation::serve(const Message& request, int descriptor)
{
    const bool flood = m_MaxRequestsPerCall > 0 && m_Depth > 0 && ++m_RequestsServed > m_MaxRequestsPerCall;
    if (request.depth != m_Depth || m_Depth >= kMaxCallDepth || !m_Server || flood) {
        if (descriptor >= 0)
            close(descriptor);
        return fail(ReceiveStatus::Malformed);
    }
    ++m_Depth;
    Writer answer;
    const int outer = m_Descriptor;
    m_Descriptor = descriptor;
    const bool served = m_Server(request, answer);
    if (m_Descriptor >= 0)
        close(m_Descriptor);
    m_Descriptor = outer;
    --m_Depth;
    if (m_Broken)
        return m_Failure; // a call made while serving broke the conversation
    if (!served)
        return fail(ReceiveStatus::Malformed);
    Message reply;
    reply.type = request.type;
    reply.kind = MessageKind::Reply;
    reply.depth = m_Depth;
    reply.payload = std::move(answer.data());
    if (!m_Channel.send(reply))
        return fail(ReceiveStatus::Closed);
    return ReceiveStatus::Ok;
}

ReceiveStatus Conversation::call(MessageType type, const Writer& payload, Message& reply, int passFd)
{
    if (m_Broken)
        return m_Failure;
    if (m_Depth >= kMaxCallDepth)
        return fail(ReceiveStatus::Malformed);
    Message request;
    request.type = type;
    request.kind = MessageKind::Request;
    request.depth = m_Depth;
    request.payload = payload.data();
    if (!m_Channel.send(request, passFd))
        return fail(ReceiveStatus::Closed);
    if (m_Depth == 0) {
        m_WaitedMs = 0;
        m_RequestsServed = 0;
    }
    const uint32_t level = m_Depth++;
    for (;;) {
        Message incoming;
        int descriptor = -1;
        const ReceiveStatus status = receive(incoming, descriptor);
        if (status != ReceiveStatus::Ok)
            return fail(status);
        if (incoming.kind == MessageKind::Reply) {
            if (descriptor >= 0)
                close(descriptor);
            if (incoming.depth != level || incoming.type != type)
                return fail(ReceiveStatus::Malformed);
            m_Depth = level;
            reply = std::move(incoming);
            return ReceiveStatus::Ok;
        }
        const ReceiveStatus served = serve(incoming, descriptor);
        if (served != ReceiveStatus::Ok)
            return served;
    }
}

ReceiveStatus Conversation::serveOne()
{
    if (m_Broken)
        return m_Failure;
    Message incoming;
    int descriptor = -1;
    const ReceiveStatus status = receive(incoming, descriptor);
    if (status != ReceiveStatus::Ok)
        return fail(status);
    if (incoming.kind != MessageKind::Request) {
        if (descriptor >= 0)
            close(descriptor);
        return fail(ReceiveStatus::Malformed);
    }
    return serve(incoming, descriptor);
}

} // namespace reelfinch::ipc
