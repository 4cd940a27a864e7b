#include "TraceController.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

namespace {

constexpr int kDefaultWidth = 480;
constexpr int kDefaultHeight = 320;
// A line break inside one traced line is shown as this mark, so each entry stays one line of the window.
constexpr QChar kLineBreakMark(0x21B5);

} // namespace

TraceController::TraceController()
    : _window(std::make_unique<QWidget>())
{
    _window->setObjectName(QStringLiteral("TraceWindow"));
    _window->setWindowTitle(tr("Trace Output"));
    _window->resize(kDefaultWidth, kDefaultHeight);
    auto* layout = new QVBoxLayout(_window.get());
    _output = new QPlainTextEdit(_window.get());
    _output->setObjectName(QStringLiteral("_txtTrace"));
    _output->setReadOnly(true);
    _output->setLineWrapMode(QPlainTextEdit::NoWrap);
    _output->setMaximumBlockCount(kMaxLines);
    _output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(_output);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    _clear = new QPushButton(tr("Clear"), _window.get());
    _clear->setObjectName(QStringLiteral("_btnClear"));
    buttons->addWidget(_clear);
    layout->addLayout(buttons);
    connect(_clear, &QPushButton::clicked, this, &TraceController::clear);
}

TraceController::~TraceController() = default;

void TraceController::appendTrace(const QString& line)
{
    QString shown = line;
    shown.replace(QLatin1String("\r\n"), QString(kLineBreakMark));
    shown.replace(QLatin1Char('\n'), kLineBreakMark);
    shown.replace(QLatin1Char('\r'), kLineBreakMark);
    // Follows the newest line unless the user scrolled back to read.
    QScrollBar* bar = _output->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    _output->appendPlainText(shown);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TraceController::clear()
{
    _output->clear();
}

QStringList TraceController::lines() const
{
    QStringList all;
    if (_output->document()->isEmpty())
        return all;
    for (QTextBlock block = _output->document()->begin(); block.isValid(); block = block.next())
        all.append(block.text());
    return all;
}
