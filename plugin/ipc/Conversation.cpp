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
    return m_Channel.receive(message, m_TimeoutMs, m_AcceptDescriptors ? &descriptor : nullptr);
}

ReceiveStatus Conversation::serve(const Message& request, int descriptor)
{
    if (request.depth != m_Depth || m_Depth >= kMaxCallDepth || !m_Server) {
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
