// SingleInstance: one running player per user and settings store. A second launch hands its files to the
// running instance over a local socket and ends; the running instance receives them as open requests.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& serverName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket name for a settings store: launches that share settings share one instance.
    static QString serverNameFor(const QString& settingsFile);
    const QString& serverName() const { return _name; }

    // Hands `paths` (possibly none: the running instance comes to the front) to a running instance. Answers
    // true when one took them.
    bool handOver(const QStringList& paths, int timeoutMs = 3000) const;
    // Becomes the running instance; answers false when the socket can't be made.
    bool listen();

signals:
    void filesReceived(const QStringList& paths);

private:
    void accept();

    QString _name;
    std::unique_ptr<QLocalServer> _server;
};
