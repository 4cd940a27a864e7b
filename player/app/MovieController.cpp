#include "MovieController.h"

#include "ControlsController.h"
#include "FileDrop.h"
#include "NSFlashPluginView.h"
#include "NSWindowZoomView.h"
#include "PlayerController.h"
#include "ui_MovieWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QWheelEvent>

MovieController::MovieController()
    : _window(std::make_unique<QMainWindow>())
    , _ui(std::make_unique<Ui::MovieWindow>())
{
    _ui->setupUi(_window.get());
    // The movie view takes the place the window description keeps for it.
    _movieView = new NSFlashPluginView(_ui->_movieArea->parentWidget());
    _movieView->setObjectName(QStringLiteral("_movieView"));
    _movieView->setSizePolicy(_ui->_movieArea->sizePolicy());
    delete _ui->movieLayout->replaceWidget(_ui->_movieArea, _movieView);
    delete _ui->_movieArea;
    _ui->_movieArea = nullptr;
    _movieView->setContextMenuPolicy(Qt::NoContextMenu);
    // The window's resize grip lies over the movie's bottom-right corner; while the mouse is on it the movie
    // shows the resize cursor.
    _grip = new NSWindowZoomView(_movieView->parentWidget());
    _grip->setObjectName(QStringLiteral("_resizeGrip"));
    _grip->placeInCorner();
    _movieView->parentWidget()->installEventFilter(this);

    _window->installEventFilter(this);
    _movieView->installEventFilter(this);

    // Escape belongs to the movie except in full screen, where it leaves full screen.
    _leaveFullScreen = new QAction(_window.get());
    _leaveFullScreen->setShortcut(QKeySequence(Qt::Key_Escape));
    _leaveFullScreen->setEnabled(false);
    connect(_leaveFullScreen, &QAction::triggered, this, [this] {
        if (_window->isFullScreen())
            toggleFullScreen();
    });
    _window->addAction(_leaveFullScreen);
}

MovieController::~MovieController()
{
    if (_window)
        _window->removeEventFilter(this);
    if (_movieView) {
        _movieView->removeEventFilter(this);
        if (_movieView->parentWidget())
            _movieView->parentWidget()->removeEventFilter(this);
    }
}

void MovieController::setMainController(PlayerController* app)
{
    _app = app;
}

void MovieController::setZoomView(ZoomViewClient* zoomView)
{
    if (_movieView)
        _movieView->setZoomView(zoomView);
}

void MovieController::windowWillClose()
{
    if (_app)
        _app->terminate();
}

bool MovieController::draggingEntered(const QMimeData* data) const
{
    return !getFileNamesForDrag(data).isEmpty();
}

bool MovieController::performDragOperation(const QMimeData* data)
{
    const QStringList paths = getFileNamesForDrag(data);
    if (paths.isEmpty())
        return false;
    if (_app)
        _app->addFilesToList(paths);
    return true;
}

void MovieController::toggleFullScreen()
{
    if (_window->isFullScreen())
        _window->showNormal();
    else
        _window->showFullScreen();
    _leaveFullScreen->setEnabled(_window->isFullScreen());
}

bool MovieController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == _window.get()) {
        switch (event->type()) {
        case QEvent::Close:
            windowWillClose();
            break;
        case QEvent::DragEnter:
            answerDrag(event, [this](const QMimeData* data) { return draggingEntered(data); });
            return true;
        case QEvent::Drop:
            answerDrag(event, [this](const QMimeData* data) { return performDragOperation(data); });
            return true;
        case QEvent::WindowStateChange:
            _leaveFullScreen->setEnabled(_window->isFullScreen());
            // A full-screen or maximised window has no size to drag.
            _grip->setVisible(!_window->isFullScreen() && !_window->isMaximized());
            break;
        default:
            break;
        }
    } else if (_grip && watched == _grip->parentWidget() && event->type() == QEvent::Resize) {
        _grip->placeInCorner();
    } else if (watched == _movieView && event->type() == QEvent::Wheel) {
        // The wheel zooms the movie: away from the user zooms in. Without a movie there is nothing to zoom, and
        // the panel's zoom stays as it is.
        if (!_app || !_app->isLoaded())
            return true;
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int delta = wheel->angleDelta().y();
        if (delta > 0)
            _movieView->zoomIn();
        else if (delta < 0)
            _movieView->zoomOut();
        if (_app && _app->controlsController())
            _app->controlsController()->setZoomPrecent(_movieView->zoomPercent());
        return true;
    }
    return QObject::eventFilter(watched, event);
}
