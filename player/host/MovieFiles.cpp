#include "MovieFiles.h"

#include "UrlLoader.h"
#include "npextensions.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRandomGenerator>

#include <chrono>

MovieFiles::Event QueuedFiles::poll(int32_t id)
{
    Operation* operation = find(id);
    if (!operation)
        return MakeEvent(NPReelfinchFileEventEnded);
    update(*operation);
    if (operation->events.empty())
        return MakeEvent(operation->ended ? NPReelfinchFileEventEnded : NPReelfinchFileEventNone);
    Event event = operation->events.front();
    operation->events.pop_front();
    return event;
}

int32_t QueuedFiles::add(Operation operation)
{
    if (_operations.size() >= kMaxOperations)
        return 0;
    if (++_next <= 0)
        _next = 1;
    _operations[_next] = std::move(operation);
    return _next;
}

QueuedFiles::Operation* QueuedFiles::find(int32_t id)
{
    const auto it = _operations.find(id);
    return it == _operations.end() ? nullptr : &it->second;
}

DesktopFiles::DesktopFiles(QWidget* parent)
    : _parent(parent)
{
}

DesktopFiles::~DesktopFiles()
{
    for (auto& [id, dialog] : _dialogs)
        delete dialog.data();
    // Transfers still going on end by their time-out; their futures wait for them as the operations go.
}

void DesktopFiles::close(int32_t id)
{
    if (const auto it = _dialogs.find(id); it != _dialogs.end()) {
        delete it->second.data();
        _dialogs.erase(it);
    }
    QueuedFiles::close(id);
}

QStringList DesktopFiles::nameFilters(const QString& text)
{
    QStringList filters;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        const QString description = tab < 0 ? line : line.left(tab);
        QStringList patterns;
        for (const QString& pattern : line.mid(tab < 0 ? line.size() : tab + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << pattern.trimmed().remove(QLatin1Char('(')).remove(QLatin1Char(')'));
        patterns.removeAll(QString());
        if (!patterns.isEmpty())
            filters << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QByteArray DesktopFiles::multipartBody(const QByteArray& boundary, const QString& field, const QString& fileName,
    const QByteArray& content)
{
    auto quoted = [](const QString& s) {
        QByteArray bytes = s.toUtf8();
        bytes.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
        return bytes;
    };
    QByteArray body;
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"Filename\"\r\n\r\n" + fileName.toUtf8() + "\r\n";
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + quoted(field) + "\"; filename=\"" + quoted(fileName)
        + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    body += content;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

int32_t DesktopFiles::start(int32_t kind, const QString& url, const QString& text, int32_t file)
{
    if (kind == NPReelfinchFileUpload) {
        Operation* browsed = find(file);
        if (!_network || !browsed || browsed->path.isEmpty())
            return 0;
        Operation upload;
        upload.kind = kind;
        upload.url = url;
        upload.path = browsed->path;
        const int32_t id = add(std::move(upload));
        if (id)
            startTransfer(id, *find(id));
        return id;
    }
    if ((kind != NPReelfinchFileBrowse && kind != NPReelfinchFileDownload) || !_parent
        || (kind == NPReelfinchFileDownload && !_network))
        return 0;
    Operation operation;
    operation.kind = kind;
    operation.url = url;
    const int32_t id = add(std::move(operation));
    if (!id)
        return 0;
    auto* dialog = new QFileDialog(_parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (kind == NPReelfinchFileBrowse) {
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        const QStringList filters = nameFilters(text);
        if (!filters.isEmpty())
            dialog->setNameFilters(filters);
    } else {
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->selectFile(QFileInfo(text).fileName());
    }
    _dialogs[id] = dialog;
    QObject::connect(dialog, &QFileDialog::fileSelected, &_context, [this, id](const QString& path) {
        _dialogs.erase(id);
        Operation* operation = find(id);
        if (!operation)
            return;
        const QFileInfo info(path);
        operation->path = path;
        operation->events.push_back(MakeEvent(NPReelfinchFileEventSelect, double(info.size()), 0, info.fileName()));
        if (operation->kind == NPReelfinchFileDownload)
            startTransfer(id, *operation);
        else
            operation->ended = true; // the file stays known for uploads until the operation is closed
    });
    QObject::connect(dialog, &QFileDialog::rejected, &_context, [this, id]() {
        _dialogs.erase(id);
        if (Operation* operation = find(id)) {
            operation->events.push_back(MakeEvent(NPReelfinchFileEventCancel));
            operation->ended = true;
        }
    });
    dialog->open();
    return id;
}

void DesktopFiles::startTransfer(int32_t, Operation& operation)
{
    operation.events.push_back(MakeEvent(NPReelfinchFileEventOpen));
    const QString url = operation.url;
    const QString path = operation.path;
    if (operation.kind == NPReelfinchFileDownload) {
        operation.transfer = std::async(std::launch::async, [url, path]() {
            QByteArray contents;
            if (!UrlLoader::contentsOfURL(url, &contents, kTransferTimeoutMs))
                return MakeEvent(NPReelfinchFileEventIOError);
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(contents) != contents.size())
                return MakeEvent(NPReelfinchFileEventIOError);
            return MakeEvent(NPReelfinchFileEventComplete, double(contents.size()), double(contents.size()));
        });
        return;
    }
    const QByteArray boundary = "----------" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    operation.transfer = std::async(std::launch::async, [url, path, boundary]() {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly) || in.size() > kMaxUploadBytes)
            return MakeEvent(NPReelfinchFileEventIOError);
        const QByteArray content = in.readAll();
        const QByteArray body = multipartBody(boundary, QStringLiteral("Filedata"), QFileInfo(path).fileName(), content);
        QByteArray answer;
        if (!UrlLoader::postToURL(url, body, "multipart/form-data; boundary=" + boundary, &answer, kTransferTimeoutMs))
            return MakeEvent(NPReelfinchFileEventIOError);
        return MakeEvent(NPReelfinchFileEventComplete, double(content.size()), double(content.size()));
    });
}

void DesktopFiles::update(Operation& operation)
{
    if (!operation.transfer.valid()
        || operation.transfer.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    const Event last = operation.transfer.get();
    if (last.kind == NPReelfinchFileEventComplete)
        operation.events.push_back(MakeEvent(NPReelfinchFileEventProgress, last.a, last.b));
    operation.events.push_back(MakeEvent(last.kind));
    operation.ended = true;
}
