#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>

namespace {

// One path per line, UTF-8. A request longer than this is not a list of file names and is dropped.
constexpr qint64 kMaxRequestBytes = 1024 * 1024;
constexpr char kNameStem[] = "reelfinch-";

} // namespace

SingleInstance::SingleInstance(const QString& serverName, QObject* parent)
    : QObject(parent)
    , _name(serverName)
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString& settingsFile)
{
    const QByteArray hash = QCryptographicHash::hash(settingsFile.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QLatin1String(kNameStem) + QString::fromLatin1(hash.left(16));
}

bool SingleInstance::handOver(const QStringList& paths, int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request;
    for (const QString& path : paths) {
        if (path.contains(QLatin1Char('\n')))
            continue; // a line break can't be sent in this format
        request += path.toUtf8() + '\n';
    }
    if (!request.isEmpty())
        socket.write(request);
    socket.flush();
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen()
{
    _server = std::make_unique<QLocalServer>();
    _server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!_server->listen(_name)) {
        // No instance answered before, so a socket left behind by one that ended abruptly is stale.
        QLocalServer::removeServer(_name);
        if (!_server->listen(_name))
            return false;
    }
    connect(_server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = _server->nextPendingConnection()) {
        auto request = std::make_shared<QByteArray>();
        auto overflow = std::make_shared<bool>(false);
        auto take = [socket, request, overflow] {
            const QByteArray chunk = socket->readAll();
            if (*overflow || request->size() + chunk.size() > kMaxRequestBytes) {
                *overflow = true;
                request->clear();
                return;
            }
            request->append(chunk);
        };
        connect(socket, &QLocalSocket::readyRead, socket, take);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, request, overflow, take] {
            take();
            socket->deleteLater();
            if (*overflow)
                return;
            QStringList paths;
            for (const QByteArray& line : request->split('\n')) {
                if (!line.isEmpty())
                    paths.append(QString::fromUtf8(line));
            }
            emit filesReceived(paths);
        });
    }
}
