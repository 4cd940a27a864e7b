// MovieController: the movie window. It holds the movie view, passes the zoom drawer's view on to it, takes
// SWF files dropped on the window into the playlist, zooms with the mouse wheel, goes full screen, and ends the
// application when the window closes.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class NSFlashPluginView;
class NSWindowZoomView;
class PlayerController;
class QAction;
class QMainWindow;
class QMimeData;
class QWidget;
class ZoomViewClient;

namespace Ui {
class MovieWindow;
}

class MovieController : public QObject
{
    Q_OBJECT
public:
    MovieController();
    ~MovieController() override;

    void setMainController(PlayerController* app);
    NSFlashPluginView* flashView() const { return _movieView; }
    // The zoom drawer's view, or none to take it away.
    void setZoomView(ZoomViewClient* zoomView);
    QMainWindow* window() const { return _window.get(); }

    void windowWillClose();
    bool draggingEntered(const QMimeData* data) const;
    bool performDragOperation(const QMimeData* data);
    void toggleFullScreen();
    // The grip in the bottom-right corner of the movie.
    NSWindowZoomView* resizeGrip() const { return _grip; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QMainWindow> _window;
    std::unique_ptr<Ui::MovieWindow> _ui;
    NSFlashPluginView* _movieView = nullptr; // a child of the window
    QPointer<PlayerController> _app;
    QAction* _leaveFullScreen = nullptr;
    NSWindowZoomView* _grip = nullptr; // a child of the window
};
