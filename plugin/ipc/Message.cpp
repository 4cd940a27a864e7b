#include "ipc/Message.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace reelfinch::ipc {

namespace {

bool KnownType(uint16_t type)
{
    return (type >= uint16_t(MessageType::Hello) && type <= uint16_t(MessageType::Shutdown))
        || type == uint16_t(MessageType::NewStreamNotify) || type == uint16_t(MessageType::URLNotify)
        || type == uint16_t(MessageType::BrowserCall);
}

void PutLE(uint8_t* out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = uint8_t(v >> (8 * i));
}

uint64_t GetLE(const uint8_t* in, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint64_t(in[i]) << (8 * i);
    return v;
}

} // namespace

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Writer& Writer::u8(uint8_t v)
{
    m_Bytes.push_back(v);
    return *this;
}

Writer& Writer::u16(uint16_t v)
{
    uint8_t b[2];
    PutLE(b, v, 2);
    return raw(b, 2);
}

Writer& Writer::u32(uint32_t v)
{
    uint8_t b[4];
    PutLE(b, v, 4);
    return raw(b, 4);
}

Writer& Writer::u64(uint64_t v)
{
    uint8_t b[8];
    PutLE(b, v, 8);
    return raw(b, 8);
}

Writer& Writer::f64(double v)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return u64(bits);
}

Writer& Writer::bytes(const void* data, size_t size)
{
    u32(uint32_t(size));
    return raw(data, size);
}

Writer& Writer::raw(const void* data, size_t size)
{
    if (size > 0) {
        const auto* p = static_cast<const uint8_t*>(data);
        m_Bytes.insert(m_Bytes.end(), p, p + size);
    }
    return *this;
}

bool Reader::take(void* out, size_t n)
{
    if (!m_Ok || n > m_Size - m_Offset) {
        m_Ok = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, m_Data + m_Offset, n);
    m_Offset += n;
    return true;
}

uint8_t Reader::u8()
{
    uint8_t b = 0;
    take(&b, 1);
    return b;
}

uint16_t Reader::u16()
{
    uint8_t b[2];
    take(b, 2);
    return uint16_t(GetLE(b, 2));
}

uint32_t Reader::u32()
{
    uint8_t b[4];
    take(b, 4);
    return uint32_t(GetLE(b, 4));
}

uint64_t Reader::u64()
{
    uint8_t b[8];
    take(b, 8);
    return GetLE(b, 8);
}

double Reader::f64()
{
    const uint64_t bits = u64();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

bool Reader::bytes(const uint8_t*& data, uint32_t& size, uint32_t limit)
{
    data = nullptr;
    size = 0;
    const uint32_t length = u32();
    if (!m_Ok || length > limit || length > m_Size - m_Offset) {
        m_Ok = false;
        return false;
    }
    data = m_Data + m_Offset;
    size = length;
    m_Offset += length;
    return true;
}

bool Reader::string(std::string& out, uint32_t limit)
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    out.clear();
    if (!bytes(data, size, limit))
        return false;
    // Strings never hold a NUL: they become C strings on the other side, where one would cut them short.
    if (size > 0 && std::memchr(data, 0, size)) {
        m_Ok = false;
        return false;
    }
    out.assign(reinterpret_cast<const char*>(data), size);
    return true;
}

bool ParseHeader(const uint8_t* header, uint32_t& payloadLength, Message& message)
{
    payloadLength = uint32_t(GetLE(header, 4));
    const auto type = uint16_t(GetLE(header + 4, 2));
    const uint8_t kind = header[6];
    const uint8_t version = header[7];
    const auto depth = uint32_t(GetLE(header + 8, 4));
    if (payloadLength > kMaxPayloadBytes || !KnownType(type) || kind > uint8_t(MessageKind::Reply)
        || version != kProtocolVersion || depth > kMaxCallDepth)
        return false;
    message.type = MessageType(type);
    message.kind = MessageKind(kind);
    message.depth = depth;
    return true;
}

void WriteHeader(uint8_t* header, const Message& message)
{
    PutLE(header, message.payload.size(), 4);
    PutLE(header + 4, uint16_t(message.type), 2);
    header[6] = uint8_t(message.kind);
    header[7] = kProtocolVersion;
    PutLE(header + 8, message.depth, 4);
}

bool SplitFrames(const uint8_t* data, size_t size, std::vector<Message>& out)
{
    size_t offset = 0;
    while (offset < size) {
        if (size - offset < kHeaderBytes)
            return false;
        Message message;
        uint32_t length = 0;
        if (!ParseHeader(data + offset, length, message))
            return false;
        offset += kHeaderBytes;
        if (length > size - offset)
            return false;
        message.payload.assign(data + offset, data + offset + length);
        offset += length;
        out.push_back(std::move(message));
    }
    return true;
}

bool Channel::send(const Message& message, int passFd)
{
    if (m_Fd < 0 || message.payload.size() > kMaxPayloadBytes)
        return false;
    uint8_t header[kHeaderBytes];
    WriteHeader(header, message);
    iovec parts[2] = {
        { header, kHeaderBytes },
        { const_cast<uint8_t*>(message.payload.data()), message.payload.size() },
    };
    msghdr msg {};
    msg.msg_iov = parts;
    msg.msg_iovlen = message.payload.empty() ? 1 : 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (passFd >= 0) {
        std::memset(control, 0, sizeof control);
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
    }
    size_t total = kHeaderBytes + message.payload.size();
    const long long deadline = m_SendTimeoutMs < 0 ? -1 : NowMs() + m_SendTimeoutMs;
    while (total > 0) {
        const ssize_t sent = sendmsg(m_Fd, &msg, MSG_NOSIGNAL | (deadline >= 0 ? MSG_DONTWAIT : 0));
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && deadline >= 0) {
                const long long left = deadline - NowMs();
                pollfd p { m_Fd, POLLOUT, 0 };
                if (left <= 0 || poll(&p, 1, int(left)) < 0)
                    return false;
                continue;
            }
            return false;
        }
        total -= size_t(sent);
        // The descriptor went with the first bytes; the rest follows without it.
        msg.msg_control = nullptr;
        msg.msg_controllen = 0;
        size_t skip = size_t(sent);
        while (msg.msg_iovlen > 0 && skip >= msg.msg_iov[0].iov_len) {
            skip -= msg.msg_iov[0].iov_len;
            ++msg.msg_iov;
            --msg.msg_iovlen;
        }
        if (msg.msg_iovlen > 0) {
            msg.msg_iov[0].iov_base = static_cast<uint8_t*>(msg.msg_iov[0].iov_base) + skip;
            msg.msg_iov[0].iov_len -= skip;
        }
    }
    return true;
}

bool Channel::readFully(uint8_t* out, size_t size, long long deadlineMs, int* receivedFd, ReceiveStatus& status)
{
    size_t got = 0;
    while (got < size) {
        int wait = -1;
        if (deadlineMs >= 0) {
            const long long left = deadlineMs - NowMs();
            if (left <= 0) {
                status = ReceiveStatus::TimedOut;
                return false;
            }
            wait = int(left);
        }
        pollfd p { m_Fd, POLLIN, 0 };
        const int ready = poll(&p, 1, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            status = ReceiveStatus::Closed;
            return false;
        }
        if (ready == 0)
            continue; // the deadline is checked above
        iovec part { out + got, size - got };
        msghdr msg {};
        msg.msg_iov = &part;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(m_Fd, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            status = ReceiveStatus::Closed;
            return false;
        }
        if (n == 0) {
            status = ReceiveStatus::Closed;
            return false;
        }
        // Descriptors: at most one per frame and only where the caller takes one; any other is closed and
        // the frame counts as malformed.
        bool stray = (msg.msg_flags & MSG_CTRUNC) != 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                if (receivedFd && *receivedFd < 0) {
                    *receivedFd = fd;
                } else {
                    close(fd);
                    stray = true;
                }
            }
        }
        if (stray) {
            status = ReceiveStatus::Malformed;
            return false;
        }
        got += size_t(n);
    }
    return true;
}

ReceiveStatus Channel::receive(Message& message, int timeoutMs, int* receivedFd)
{
    if (m_Fd < 0)
        return ReceiveStatus::Closed;
    if (receivedFd)
        *receivedFd = -1;
    const long long deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    ReceiveStatus status = ReceiveStatus::Ok;
    uint8_t header[kHeaderBytes];
    uint32_t length = 0;
    bool ok = readFully(header, kHeaderBytes, deadline, receivedFd, status);
    if (ok && !ParseHeader(header, length, message)) {
        status = ReceiveStatus::Malformed;
        ok = false;
    }
    if (ok) {
        message.payload.resize(length);
        ok = readFully(message.payload.data(), length, deadline, receivedFd, status);
    }
    if (!ok && receivedFd && *receivedFd >= 0) {
        close(*receivedFd);
        *receivedFd = -1;
    }
    return ok ? ReceiveStatus::Ok : status;
}

} // namespace reelfinch::ipc
