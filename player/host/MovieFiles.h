// The user's files a movie asks for (its FileReference objects), as the host handles them for the plug-in: the
// functions of the file extension in npextensions.h. An operation is a dialog (browse, or the save dialog of a
// download) and the transfer after it; what happens comes back as events the plug-in polls between steps.
// DesktopFiles shows the system's file dialogs under the movie's view and transfers on worker threads, so that
// neither a dialog nor a slow server ever pauses the player.
#ifndef REELFINCH_PLAYER_MOVIEFILES_H
#define REELFINCH_PLAYER_MOVIEFILES_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <future>
#include <map>

class MovieFiles
{
public:
    struct Event {
        int32_t kind = 0; // one of NPReelfinchFileEvent*
        double a = 0;
        double b = 0;
        QString name;
    };
    static Event MakeEvent(int32_t kind, double a = 0, double b = 0, const QString& name = QString())
    {
        Event event;
        event.kind = kind;
        event.a = a;
        event.b = b;
        event.name = name;
        return event;
    }
    virtual ~MovieFiles() = default;
    // An operation number (> 0), or 0 when it is refused at once. `kind` is one of NPReelfinchFile*.
    virtual int32_t start(int32_t kind, const QString& url, const QString& text, int32_t file) = 0;
    // The operation's next event: None while nothing new happened, Ended once it is over or not known.
    virtual Event poll(int32_t id) = 0;
    virtual void close(int32_t id) = 0;
};

// Operations as queues of events: what a dialog or transfer reports is queued, poll hands it out in order.
class QueuedFiles : public MovieFiles
{
public:
    // Operations known at one time at most; a further one is refused.
    static constexpr size_t kMaxOperations = 32;

    Event poll(int32_t id) override;
    void close(int32_t id) override { _operations.erase(id); }

protected:
    struct Operation {
        int32_t kind = 0;
        QString url;
        QString path; // the chosen file
        std::deque<Event> events;
        bool ended = false; // nothing follows the queued events
        std::future<Event> transfer; // a transfer going on: its last event (Complete or IOError)
        double size = 0;
    };
    // A new operation's number, or 0 when too many are known.
    int32_t add(Operation operation);
    Operation* find(int32_t id);
    // Called by poll before it answers: a chance to queue what happened since.
    virtual void update(Operation&) {}

    std::map<int32_t, Operation> _operations;
    int32_t _next = 0;
};

class DesktopFiles final : public QueuedFiles
{
public:
    // A transfer that takes longer counts as failed.
    static constexpr int kTransferTimeoutMs = 30000;
    // The largest file an upload sends.
    static constexpr qint64 kMaxUploadBytes = qint64(100) << 20;

    explicit DesktopFiles(QWidget* parent);
    ~DesktopFiles() override;
    DesktopFiles(const DesktopFiles&) = delete;
    DesktopFiles& operator=(const DesktopFiles&) = delete;

    // Downloads and uploads only under the permission switch of the movie's requests.
    void setNetworkAllowed(bool allowed) { _network = allowed; }

    int32_t start(int32_t kind, const QString& url, const QString& text, int32_t file) override;
    void close(int32_t id) override;

    // The dialog's type filters from the plug-in's list ("description\textensions" lines, extensions split by
    // ';'): "description (*.a *.b)"; an empty list gives none (every file).
    static QStringList nameFilters(const QString& text);
    // The body of an upload: the file as the one part of a multipart form, under `field`.
    static QByteArray multipartBody(const QByteArray& boundary, const QString& field, const QString& fileName,
        const QByteArray& content);

private:
    void update(Operation& operation) override;
    void startTransfer(int32_t id, Operation& operation);

    QPointer<QWidget> _parent;
    QObject _context; // the dialogs' signals reach this object only while it lives
    std::map<int32_t, QPointer<QWidget>> _dialogs;
    bool _network = false;
};

#endif
