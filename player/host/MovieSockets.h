// The movie's own TCP connections (its XMLSocket objects), as the host makes them for the plug-in: the functions of
// the socket extension in npextensions.h, one connection number each. TcpSockets makes real connections,
// without blocking the host: the name is looked up on a thread of its own, and connecting, sending and reading go
// on as the plug-in polls.
#ifndef REELFINCH_PLAYER_MOVIESOCKETS_H
#define REELFINCH_PLAYER_MOVIESOCKETS_H

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <sys/socket.h>

class MovieSockets
{
public:
    virtual ~MovieSockets() = default;
    // A connection number (> 0), or 0 when it is refused at once.
    virtual int32_t open(const QString& host, int32_t port) = 0;
    // Queues bytes for an open (or connecting) connection; false for a number not known or a connection lost.
    virtual bool send(int32_t id, const char* data, uint32_t length) = 0;
    // At most `capacity` bytes that arrived; `state` one of NPReelfinchSocket*.
    virtual uint32_t poll(int32_t id, char* buffer, uint32_t capacity, int32_t* state) = 0;
    virtual void close(int32_t id) = 0;
};

class TcpSockets final : public MovieSockets
{
public:
    // Connections open at one time at most, the lowest port a movie may reach (the well-known services below
    // it never), the most bytes waiting to be sent on one connection.
    static constexpr size_t kMaxConnections = 16;
    static constexpr int32_t kLowestPort = 1024;
    static constexpr qsizetype kMaxQueuedBytes = qsizetype(8) << 20;

    TcpSockets() = default;
    ~TcpSockets() override;
    TcpSockets(const TcpSockets&) = delete;
    TcpSockets& operator=(const TcpSockets&) = delete;

    int32_t open(const QString& host, int32_t port) override;
    bool send(int32_t id, const char* data, uint32_t length) override;
    uint32_t poll(int32_t id, char* buffer, uint32_t capacity, int32_t* state) override;
    void close(int32_t id) override;

private:
    // The addresses of one name, looked up on a thread; `done` is set once `addresses` is complete.
    static constexpr size_t kMaxAddresses = 16;
    struct Address {
        int family = 0;
        int protocol = 0;
        socklen_t length = 0;
        sockaddr_storage storage {};
    };
    struct Lookup {
        std::atomic<bool> done { false };
        std::vector<Address> addresses;
    };
    struct Connection {
        std::shared_ptr<Lookup> lookup; // while the name is looked up; the socket is made after
        std::vector<Address> candidates; // the name's addresses not tried yet
        int fd = -1;
        int32_t state = 0;
        bool peerClosed = false;
        bool writeFailed = false;
        QByteArray outgoing;
    };
    void flush(Connection& c);
    // Makes the connection once its name's lookup has ended (its first address is tried).
    void connectResolved(Connection& c);
    void connectNext(Connection& c);

    std::map<int32_t, Connection> _connections;
    int32_t _next = 0;
};

#endif
