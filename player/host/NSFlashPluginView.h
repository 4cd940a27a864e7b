// The movie view: hosts one plug-in instance in a window. It makes the plug-in object on first need, starts and
// stops the instance, tells the plug-in where it lives in the window's QuickDraw port and keeps that in step
// with the view's place, sets the port up around every call into the plug-in, keeps the plug-in running with a
// null-event timer, turns Qt input into event records, pans and zooms the movie, and takes snapshots of it.
#pragma once

#include "EventRecord.h"
#include "NSFlashPlugin.h"
#include "QuickDraw.h"
#include "npapi.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTimer;
class ZoomViewClient;

class NSFlashPluginView : public QWidget
{
    Q_OBJECT
public:
    // The port state saved around a call into the plug-in and put back after it.
    struct PortState {
        CGrafPtr oldPort = nullptr;
        Point oldOrigin {};
        std::unique_ptr<MacRegion> oldClipRegion;
        std::unique_ptr<MacRegion> oldVisibleRegion;
        std::unique_ptr<MacRegion> clipRegion; // the plug-in's clip region, in its local coordinates
        bool forUpdate = false;
    };

    static constexpr int kNullEventIntervalMs = 20;
    static constexpr int kDefaultSnapShotFrequency = 3;
    // Beyond each edge of the movie's frame, how far panning and zooming out may go: 720 pixels, in twips.
    static constexpr long kMaxRectMargin = 14400;

    explicit NSFlashPluginView(QWidget* parent = nullptr);
    ~NSFlashPluginView() override;

    // The plug-in bundle to load; empty (the default) looks for "Flash Player.plugin" among the application's
    // resources: REELFINCH_RESOURCES, else share/reelfinch/plugins beside the executable's bin/.
    static void setPluginPath(const QString& path);
    static QString pluginPath();

    // Plug-in object and instance.
    void loadPlugin();
    void unloadPlugin();
    bool start();
    void stop();
    bool loadMovie(const QByteArray& movie, const QString& path);
    NSFlashPlugin* plugin() const { return _plugin.get(); }
    // Where the movies' trace lines go: handed to every plug-in the view loads from now on.
    void setTraceHandler(std::function<void(const QString&)> handler);
    // The movie's commands to the player (fscommand name and arguments).
    void setCommandHandler(std::function<void(const QString&, const QString&)> handler);
    bool isStarted() const { return _isStarted; }

    // Settings handed to the plug-in object.
    bool getURL();
    void setGetURL(bool allow);
    bool postURL();
    void setPostURL(bool allow);
    // Stored for the plug-in object made next; an existing one keeps its switch.
    void setEnabledSecurity(bool enable) { _enableSecurity = enable; }
    bool enabledSecurity() const { return _enableSecurity; }
    void setCanDrag(bool canDrag) { _canDrag = canDrag; }
    bool canDrag() const { return _canDrag; }
    bool inDrag() const { return _inDrag; }
    void setSendRightClick(bool send) { _sendRightClick = send; }
    bool sendRightClick() const { return _sendRightClick; }

    // Window record and port.
    void updateAndSetWindow();
    void setWindowIfNecessary();
    bool isNewWindowEqualToOldWindow() const;
    PortState saveAndSetPortStateForUpdate(bool forUpdate);
    PortState saveAndSetPortState() { return saveAndSetPortStateForUpdate(false); }
    void restorePortState(PortState& state);
    const NPWindow& windowRecord() const { return npWindow; }
    const NP_Port& portRecord() const { return nPort; }
    // The window this view lives in, or null when it is in none (a view without a parent is in no window).
    QWidget* hostWindow() const;
    // The window record of the host window, its port in step with the window.
    WindowRef windowRef() const;

    // Null-event timer, tracking, window observers.
    void restartNullEvents();
    void stopNullEvents();
    bool hasNullEventTimer() const { return nullEventTimer != nullptr; }
    void resetTrackingRect();
    void removeTrackingRect();
    bool isTracking() const { return trackingTag != 0; }
    void addWindowObservers();
    void removeWindowObservers();

    // Playback and quality through the plug-in's scripting object.
    bool isPlaying();
    bool play();
    bool stopPlay();
    long totalFrames();
    long currentFrame();
    bool gotoFrame(long frame);
    bool rewind();
    bool back();
    bool forward();
    bool pan(long x, long y, long mode);
    bool zoom(long percent);
    bool setZoomRect(long left, long top, long right, long bottom);
    int flashQuality();
    bool setFlashQuality(int quality);

    // Events.
    static void getCarbonEvent(EventRecord* event);
    void getCarbonEventWithEvent(EventRecord* event, const QEvent* qtEvent);
    bool sendEvent(EventRecord* event);
    void sendNullEvent();
    bool sendUpdateEvent();
    bool sendActivateEvent(bool activate);
    void setHasFocus(bool focus);
    bool pluginHasFocus() const { return _hasFocus; }
    uint32_t keyMessageForEvent(const QKeyEvent* event) const;
    void sendModifierEventWithKeyCode(int keyCode, char character);
    void mouseDown(QMouseEvent* event);
    void mouseUp(QMouseEvent* event);
    void mouseDragged(QMouseEvent* event);
    void mouseEntered(QEvent* event);
    void mouseExited(QEvent* event);
    void rightMouseDown(QMouseEvent* event);
    void rightMouseUp(QMouseEvent* event);
    // The middle button: always passed on (it never drags the movie), marked as a button other than the main one.
    void otherMouseDown(QMouseEvent* event);
    void otherMouseUp(QMouseEvent* event);
    void keyDown(QKeyEvent* event);
    void keyUp(QKeyEvent* event);
    // The input method's composing text is now `text`, its caret `caret` UTF-16 units into it (negative: none
    // shown); an empty text ends the composing. The plug-in reads the text while it handles the event.
    bool sendComposition(const QString& text, int caret);
    // Text typed without keys of its own (what an input method gives): one event per character.
    void sendText(const QString& text);

    // Zoom rectangles, in twips.
    void setOriginalRect(long left, long top, long right, long bottom);
    _NPSignedRect originalRect() const { return _originalRect; }
    _NPSignedRect currentRect() const { return _currentRect; }
    _NPSignedRect maxRect() const { return _maxRect; }
    void displayRect(const _NPSignedRect& rect);
    // A rectangle in fractions of the movie's frame (y from its top), from the zoom drawer.
    void displayZoomRect(const QRectF& fraction);
    void zoomIn();
    void zoomOut();
    void setOriginalSize();
    void setFitSize();
    void setZoomPercent(int percent);
    int zoomPercent() const;
    void updateZoomRect() { }

    // Snapshots and the zoom drawer.
    QImage snapshot();
    QImage snapshotFromRect(const QRect& rect);
    void setSnapShotFrequency(int frequency);
    int snapShotFrequency() const { return _snapShotFreq; }
    // The drawer is not owned. A drawer that is also a QObject is dropped when it is destroyed; any other must be
    // taken away with setZoomView(nullptr) before it goes.
    void setZoomView(ZoomViewClient* zoomView);
    ZoomViewClient* zoomView() const;
    void updateZoomView(bool update);
    void updateZoomSnapshot();

signals:
    // The plug-in reported that the movie stopped for good (its engine ended); sent after the call that said so.
    void movieStopped();

public slots:
    // Editing commands: a Command-key press of the usual shortcut.
    void cut(QObject* sender = nullptr);
    void copy(QObject* sender = nullptr);
    void paste(QObject* sender = nullptr);
    void selectAll(QObject* sender = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewHasMoved();
    void windowWillClose();
    void windowBecameKey();
    void windowResignedKey();
    void windowDidMiniaturize();
    void windowDidDeminiaturize();
    bool isHidden() const;
    void computeWindowRecords();
    void zoomViewNeedsDisplay();
    void panTo(const QPointF& windowPoint);
    void snapshotStep();
    void clampEachEdgeToMax();
    uint32_t windowMessage() const;

    int _nullCount = 0;
    ZoomViewClient* _zoomView = nullptr;
    QPointer<QObject> _zoomViewObject; // the drawer as a QObject, to notice its destruction
    bool _zoomViewIsObject = false;
    int _snapShotFreq = kDefaultSnapShotFrequency;
    _NPSignedRect _currentRect {};
    _NPSignedRect _originalRect {};
    _NPSignedRect _maxRect {};
    std::unique_ptr<NSFlashPlugin> _plugin;
    std::function<void(const QString&)> _traceHandler;
    std::function<void(const QString&, const QString&)> _commandHandler;
    bool _enableSecurity = true;
    std::unique_ptr<QTimer> nullEventTimer;
    int trackingTag = 0;
    NP_Port nPort {};
    NP_Port lastSetPort {};
    NPWindow npWindow {};
    NPWindow lastSetWindow {};
    bool _isStarted = false;
    bool inSetWindow = false;
    bool _hasFocus = false;
    bool suspendKeyUpEvents = false;
    bool _sendRightClick = false;
    QPointF _dragPoint;
    bool _canDrag = false;
    bool _inDrag = false;
    bool _wasMinimized = false;
    QList<QPointer<QWidget>> observed; // the window and the view's ancestors whose events the view watches
};
