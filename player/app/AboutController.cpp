#include "AboutController.h"

#include "NSHiperLink.h"
#include "ui_AboutWindow.h"

#include <QDialog>
#include <QEvent>
#include <QFont>

#ifndef REELFINCH_VERSION
#define REELFINCH_VERSION "0"
#endif
#ifndef REELFINCH_BUILD
#define REELFINCH_BUILD "0"
#endif

namespace {

constexpr int kVersionFontSize = 12;
constexpr int kNoteFontSize = 11;

QFont boldSystemFont(int pointSize)
{
    QFont font;
    font.setPointSize(pointSize);
    font.setBold(true);
    return font;
}

} // namespace

AboutController::AboutController()
    : _window(std::make_unique<QDialog>())
    , _ui(std::make_unique<Ui::AboutWindow>())
{
    _ui->setupUi(_window.get());
    _window->installEventFilter(this);
    for (QWidget* child : _window->findChildren<QWidget*>()) {
        if (child != _ui->_lnkMail)
            child->installEventFilter(this);
    }
    windowDidLoad();
}

AboutController::~AboutController() = default;

void AboutController::windowDidLoad()
{
    _ui->_txtVersion->setText(tr("Version %1 ").arg(QLatin1String(REELFINCH_VERSION)));
    _ui->_txtVersion->setFont(boldSystemFont(kVersionFontSize));
    _ui->_txtBuild->setText(tr("Build %1 ").arg(QLatin1String(REELFINCH_BUILD)));
    _ui->_txtBuild->setFont(boldSystemFont(kVersionFontSize));
    _ui->_txtFreeware->setFont(boldSystemFont(kNoteFontSize));
    // The link opens a new mail to the address it shows.
    _ui->_lnkMail->setLinkURL(QStringLiteral("mailto:") + _ui->_lnkMail->text());
}

void AboutController::mouseDownAction(QObject*)
{
    _window->done(QDialog::Accepted);
}

bool AboutController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        mouseDownAction(watched);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
