// TraceController: the trace output window. It shows the lines a movie traces, as they come, for people who
// write or check movies; it keeps the latest lines only, so a movie that traces without end costs bounded memory.
#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QPlainTextEdit;
class QPushButton;
class QWidget;

class TraceController : public QObject
{
    Q_OBJECT
public:
    // The most lines the window keeps; older ones are dropped first.
    static constexpr int kMaxLines = 5000;

    TraceController();
    ~TraceController() override;

    QWidget* window() const { return _window.get(); }
    // Every line the window holds, oldest first.
    QStringList lines() const;

public slots:
    // One traced line. A line with line breaks in it stays one entry.
    void appendTrace(const QString& line);
    void clear();

private:
    std::unique_ptr<QWidget> _window;
    QPlainTextEdit* _output = nullptr; // a child of the window
    QPushButton* _clear = nullptr;
};
