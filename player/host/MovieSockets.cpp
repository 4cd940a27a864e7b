#include "MovieSockets.h"

#include "npextensions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TcpSockets::~TcpSockets()
{
    for (auto& [id, c] : _connections)
        if (c.fd >= 0)
            ::close(c.fd);
}

int32_t TcpSockets::open(const QString& host, int32_t port)
{
    const QByteArray name = host.toUtf8();
    if (port < kLowestPort || port > 65535 || name.isEmpty() || name.size() > 255 || name.contains('\0')
        || _connections.size() >= kMaxConnections)
        return 0;
    // The name is looked up on a thread of its own, so that a slow name server never pauses the host; the
    // connection is made at the first poll after the answer came. The thread owns its half of the lookup and
    // ends on its own, even after the connection was closed.
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, name, port]() {
        addrinfo hints {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(name.constData(), QByteArray::number(port).constData(), &hints, &found) == 0 && found) {
            for (const addrinfo* a = found; a; a = a->ai_next) {
                if (a->ai_addrlen > sizeof(sockaddr_storage) || lookup->addresses.size() >= kMaxAddresses)
                    continue;
                Address address;
                address.family = a->ai_family;
                address.protocol = a->ai_protocol;
                address.length = a->ai_addrlen;
                std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
                lookup->addresses.push_back(address);
            }
            freeaddrinfo(found);
        }
        lookup->done.store(true, std::memory_order_release);
    }).detach();
    Connection c;
    c.state = NPReelfinchSocketConnecting;
    c.lookup = std::move(lookup);
    do
        _next = _next == INT32_MAX ? 1 : _next + 1;
    while (_connections.count(_next));
    _connections.emplace(_next, std::move(c));
    return _next;
}

void TcpSockets::connectResolved(Connection& c)
{
    if (!c.lookup || !c.lookup->done.load(std::memory_order_acquire))
        return;
    c.candidates = std::move(c.lookup->addresses);
    c.lookup.reset();
    connectNext(c);
}

void TcpSockets::connectNext(Connection& c)
{
    if (c.fd >= 0)
        ::close(c.fd);
    c.fd = -1;
    // A name's addresses are tried in order until one connects or starts to (a name without any fails as a
    // refused connection does).
    while (!c.candidates.empty()) {
        const Address address = c.candidates.front();
        c.candidates.erase(c.candidates.begin());
        c.fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address.protocol);
        if (c.fd < 0)
            continue;
        if (::connect(c.fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0
            || errno == EINPROGRESS) {
            c.state = NPReelfinchSocketConnecting;
            return;
        }
        ::close(c.fd);
        c.fd = -1;
    }
    c.state = NPReelfinchSocketFailed;
}

bool TcpSockets::send(int32_t id, const char* data, uint32_t length)
{
    const auto it = _connections.find(id);
    if (it == _connections.end() || (!data && length))
        return false;
    Connection& c = it->second;
    if (c.state == NPReelfinchSocketFailed || c.state == NPReelfinchSocketClosed || c.peerClosed || c.writeFailed
        || c.outgoing.size() + qsizetype(length) > kMaxQueuedBytes)
        return false;
    c.outgoing.append(data, qsizetype(length));
    flush(c);
    return true;
}

void TcpSockets::flush(Connection& c)
{
    while (c.state == NPReelfinchSocketOpen && !c.outgoing.isEmpty()) {
        const ssize_t n = ::send(c.fd, c.outgoing.constData(), size_t(c.outgoing.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.outgoing.remove(0, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        c.outgoing.clear(); // the connection is broken: reading tells the movie, after what came before
        c.writeFailed = true;
        return;
    }
}

uint32_t TcpSockets::poll(int32_t id, char* buffer, uint32_t capacity, int32_t* state)
{
    const auto it = _connections.find(id);
    if (it == _connections.end()) {
        if (state)
            *state = NPReelfinchSocketFailed;
        return 0;
    }
    Connection& c = it->second;
    connectResolved(c);
    if (c.state == NPReelfinchSocketConnecting && c.fd >= 0) {
        pollfd p { c.fd, POLLOUT, 0 };
        if (::poll(&p, 1, 0) > 0) {
            int error = 0;
            socklen_t size = sizeof error;
            const bool ok = getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
            if (ok)
                c.state = NPReelfinchSocketOpen;
            else
                connectNext(c); // the next address of the name, if any; else the connection failed
        }
    }
    uint32_t got = 0;
    if (c.state == NPReelfinchSocketOpen) {
        flush(c);
        while (!c.peerClosed && got < capacity && buffer) {
            const ssize_t n = ::recv(c.fd, buffer + got, capacity - got, MSG_DONTWAIT);
            if (n > 0)
                got += uint32_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            else
                c.peerClosed = true; // the end of the stream, or an error
        }
        // Closed is told only once every byte before it was handed over.
        if (c.peerClosed)
            c.state = NPReelfinchSocketClosed;
    }
    if (state)
        *state = c.state;
    return got;
}

void TcpSockets::close(int32_t id)
{
    const auto it = _connections.find(id);
    if (it == _connections.end())
        return;
    if (it->second.fd >= 0)
        ::close(it->second.fd);
    _connections.erase(it);
}
