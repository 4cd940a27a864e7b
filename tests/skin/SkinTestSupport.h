// Helpers of the skin tests: solid pictures, captured log lines.
#pragma once

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QtGlobal>

// A picture of one colour, so a test can tell which picture a widget chose.
inline QImage solidImage(int width, int height, QColor color, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Collects the warnings logged while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        _previous = qInstallMessageHandler(&LogCapture::handler);
        lines().clear();
    }
    ~LogCapture() { qInstallMessageHandler(_previous); }
    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message) { lines().append(message); }
    QtMessageHandler _previous = nullptr;
};
