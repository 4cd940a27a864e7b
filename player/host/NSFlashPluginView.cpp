#include "NSFlashPluginView.h"

#include "CarbonEvents.h"
#include "CursorAdditions.h"
#include "npextensions.h"
#include "EventRecordUtils.h"
#include "MacKeyCodes.h"
#include "QtWindowRef.h"
#include "ZoomViewClient.h"

#include <QCoreApplication>
#include <QWheelEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

QString& pluginPathOverride()
{
    static QString path;
    return path;
}

constexpr const char* kPluginBundleName = "Flash Player.plugin";
constexpr const char* kResourcesVariable = "REELFINCH_RESOURCES";

// Beyond this the view is taken to have been moved out of sight on purpose.
constexpr int32_t kHiddenX = -100000;
// The size a hidden view reports, so that the plug-in never sees an empty window.
constexpr uint32_t kHiddenSide = 100;
// The update event first paints everything the plug-in may show in this colour; the plug-in paints over it.
constexpr Rect kUpdateBackdrop = { -10000, -10000, 10000, 10000 };

// Zoom arithmetic: a step in keeps 70% of the shown size, a step out shows 140%; no step in below this area.
constexpr long long kZoomInFactor = 700;
constexpr long long kZoomOutFactor = 1400;
constexpr long long kZoomFactorScale = 1000;
constexpr long long kMinZoomInArea = 10000;
constexpr long kTwipsPerPixel = 20;

// Editing commands: virtual key codes and the characters of their usual Command shortcuts.
constexpr int kCutKeyCode = 7;
constexpr char kCutCharacter = 0x78;
constexpr int kCopyKeyCode = 8;
constexpr char kCopyCharacter = 0x63;
constexpr int kPasteKeyCode = 9;
constexpr char kPasteCharacter = 0x76;
constexpr int kSelectAllKeyCode = 0;
constexpr char kSelectAllCharacter = 0x61;

int32_t ClampToInt32(long long value)
{
    return static_cast<int32_t>(
        std::clamp<long long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t TruncateToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int32_t>(
        std::clamp(value, double(std::numeric_limits<int32_t>::min()), double(std::numeric_limits<int32_t>::max())));
}

uint16_t ClampToUShort(long long value)
{
    return static_cast<uint16_t>(std::clamp<long long>(value, 0, UINT16_MAX));
}

// Halves truncate toward zero, in wide arithmetic so that no sum of two 32-bit edges overflows.
long long Half(long long value)
{
    return value / 2;
}

long long Width(const _NPSignedRect& r)
{
    return static_cast<long long>(r.right) - r.left;
}

long long Height(const _NPSignedRect& r)
{
    return static_cast<long long>(r.bottom) - r.top;
}

_NPSignedRect MakeSignedRect(long long left, long long top, long long right, long long bottom)
{
    return _NPSignedRect { ClampToInt32(top), ClampToInt32(left), ClampToInt32(bottom), ClampToInt32(right) };
}

bool SameRect(const _NPSignedRect& a, const _NPSignedRect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

} // namespace

NSFlashPluginView::NSFlashPluginView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
}

NSFlashPluginView::~NSFlashPluginView()
{
    removeWindowObservers();
    stop();
    unloadPlugin();
    if (ZoomViewClient* drawer = zoomView()) {
        drawer->setFlashImage(QImage());
        drawer->setFlashView(nullptr);
    }
}

void NSFlashPluginView::setPluginPath(const QString& path)
{
    pluginPathOverride() = path;
}

QString NSFlashPluginView::pluginPath()
{
    if (!pluginPathOverride().isEmpty())
        return pluginPathOverride();
    QString resources = qEnvironmentVariable(kResourcesVariable);
    if (resources.isEmpty() && QCoreApplication::instance())
        resources = QDir(QCoreApplication::applicationDirPath()).filePath("../share/reelfinch");
    return resources.isEmpty() ? QString() : QDir(resources).filePath(QString("plugins/") + kPluginBundleName);
}

QWidget* NSFlashPluginView::hostWindow() const
{
    return parentWidget() ? window() : nullptr;
}

WindowRef NSFlashPluginView::windowRef() const
{
    return WindowRefForWidget(hostWindow());
}

// Plug-in object and instance.

void NSFlashPluginView::loadPlugin()
{
    if (_isStarted || _plugin)
        return;
    const QString path = pluginPath();
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return;
    _plugin = std::make_unique<NSFlashPlugin>(path);
    _plugin->setEnabledSecurity(_enableSecurity);
    _plugin->setContentView(this);
    _plugin->setTraceHandler(_traceHandler);
    _plugin->setCommandHandler(_commandHandler);
    _plugin->load();
}

void NSFlashPluginView::setCommandHandler(std::function<void(const QString&, const QString&)> handler)
{
    _commandHandler = std::move(handler);
    if (_plugin)
        _plugin->setCommandHandler(_commandHandler);
}

void NSFlashPluginView::setTraceHandler(std::function<void(const QString&)> handler)
{
    _traceHandler = std::move(handler);
    if (_plugin)
        _plugin->setTraceHandler(_traceHandler);
}

void NSFlashPluginView::unloadPlugin()
{
    if (!_plugin)
        return;
    if (_isStarted)
        stop();
    _plugin.reset(); // shuts the plug-in down and unloads its bundle
}

bool NSFlashPluginView::start()
{
    if (!hostWindow())
        return false;
    if (_isStarted)
        return true;
    if (!_plugin)
        loadPlugin();
    if (!_plugin || !_plugin->isLoaded())
        return false;
    if (!_plugin->callNew())
        return false;
    _isStarted = true;
    updateAndSetWindow();
    addWindowObservers();
    if (hostWindow()->isActiveWindow())
        sendActivateEvent(true);
    restartNullEvents();
    resetTrackingRect();
    return true;
}

void NSFlashPluginView::stop()
{
    removeTrackingRect();
    if (!_plugin)
        return;
    _isStarted = false;
    stopNullEvents();
    removeWindowObservers();
    lastSetWindow.type = NPWindowType(0); // the next start hands the window over again
    _plugin->callDestroy();
}

bool NSFlashPluginView::loadMovie(const QByteArray& movie, const QString& path)
{
    if (_isStarted)
        stop();
    if (!start())
        return false;
    if (!_plugin->loadMovieAtPath(movie, path)) {
        stopNullEvents();
        return false;
    }
    updateZoomView(true);
    restartNullEvents();
    return true;
}

bool NSFlashPluginView::getURL()
{
    if (!_plugin)
        loadPlugin();
    return _plugin && _plugin->getURL();
}

void NSFlashPluginView::setGetURL(bool allow)
{
    if (!_plugin)
        loadPlugin();
    if (_plugin)
        _plugin->setGetURL(allow);
}

bool NSFlashPluginView::postURL()
{
    if (!_plugin)
        loadPlugin();
    return _plugin && _plugin->postURL();
}

void NSFlashPluginView::setPostURL(bool allow)
{
    if (!_plugin)
        loadPlugin();
    if (_plugin)
        _plugin->setPostURL(allow);
}

// Window record and port.

bool NSFlashPluginView::isHidden() const
{
    QWidget* window = hostWindow();
    return npWindow.width == 0 || npWindow.height == 0 || npWindow.x < kHiddenX || !window || window->isMinimized()
        || QGuiApplication::applicationState() == Qt::ApplicationHidden;
}

void NSFlashPluginView::computeWindowRecords()
{
    QWidget* window = hostWindow();
    WindowRef ref = WindowRefForWidget(window);
    CGrafPtr port = GetWindowPort(ref);
    Rect portBounds {};
    GetPortBounds(port, &portBounds);
    const PixMapHandle pixMap = GetPortPixMap(port);

    // The view's bounds and visible part in window coordinates; Qt's are top-down already.
    const QPoint topLeft = mapTo(window, QPoint(0, 0));
    QRect bounds(topLeft, size());
    QRect visible = visibleRegion().boundingRect().translated(topLeft);
    const QPoint pixMapOffset(pixMap->bounds.left - portBounds.left, pixMap->bounds.top - portBounds.top);
    bounds.translate(pixMapOffset);
    visible.translate(pixMapOffset);

    nPort.port = port;
    nPort.portx = -bounds.x();
    nPort.porty = -bounds.y();

    npWindow.window = &nPort;
    npWindow.x = bounds.x();
    npWindow.y = bounds.y();
    npWindow.width = static_cast<uint32_t>(bounds.width());
    npWindow.height = static_cast<uint32_t>(bounds.height());
    if (isHidden()) {
        if (npWindow.width == 0)
            npWindow.width = kHiddenSide;
        if (npWindow.height == 0)
            npWindow.height = kHiddenSide;
        npWindow.clipRect.bottom = npWindow.clipRect.top;
        npWindow.clipRect.left = npWindow.clipRect.right;
    } else {
        npWindow.clipRect.top = ClampToUShort(visible.y());
        npWindow.clipRect.left = ClampToUShort(visible.x());
        npWindow.clipRect.bottom = ClampToUShort(static_cast<long long>(visible.y()) + visible.height());
        npWindow.clipRect.right = ClampToUShort(static_cast<long long>(visible.x()) + visible.width());
    }
    npWindow.type = NPWindowTypeWindow;
}

NSFlashPluginView::PortState NSFlashPluginView::saveAndSetPortStateForUpdate(bool forUpdate)
{
    PortState state;
    state.forUpdate = forUpdate;
    state.oldClipRegion = std::make_unique<MacRegion>();
    state.oldVisibleRegion = std::make_unique<MacRegion>();
    state.clipRegion = std::make_unique<MacRegion>();
    // Callers check for a window first; without one there is no port to prepare.
    if (!hostWindow())
        return state;
    computeWindowRecords();

    WindowRef ref = windowRef();
    CGrafPtr port = GetWindowPort(ref);
    GetPort(&state.oldPort);
    Rect bounds {};
    GetPortBounds(port, &bounds);
    state.oldOrigin = Point { bounds.top, bounds.left };
    GetPortClipRegion(port, state.oldClipRegion.get());
    GetPortVisibleRegion(port, state.oldVisibleRegion.get());
    const NPRect& clip = npWindow.clipRect;
    const Rect localClip
        = MakeRect(static_cast<long long>(clip.left) + nPort.portx, static_cast<long long>(clip.top) + nPort.porty,
            static_cast<long long>(clip.right) + nPort.portx, static_cast<long long>(clip.bottom) + nPort.porty);
    RectRgn(state.clipRegion.get(), &localClip);

    SetPort(port);
    PenNormal();
    ForeColor(blackColor);
    BackColor(whiteColor);
    SetOrigin(ClampToShort(nPort.portx), ClampToShort(nPort.porty));
    SetClip(state.clipRegion.get());
    if (forUpdate) {
        SetPortVisibleRegion(port, state.clipRegion.get());
        InvalWindowRgn(ref, state.clipRegion.get());
    }
    return state;
}

void NSFlashPluginView::restorePortState(PortState& state)
{
    if (hostWindow() && state.clipRegion) {
        WindowRef ref = windowRef();
        CGrafPtr port = GetWindowPort(ref);
        GrafPtr current = nullptr;
        GetPort(&current);
        SetPort(port);
        if (state.forUpdate)
            ValidWindowRgn(ref, state.clipRegion.get());
        SetOrigin(state.oldOrigin.h, state.oldOrigin.v);
        SetClip(state.oldClipRegion.get());
        if (state.forUpdate)
            SetPortVisibleRegion(port, state.oldVisibleRegion.get());
        SetPort(state.oldPort);
    }
    state.oldClipRegion.reset();
    state.oldVisibleRegion.reset();
    state.clipRegion.reset();
}

bool NSFlashPluginView::isNewWindowEqualToOldWindow() const
{
    const NPWindow& a = npWindow;
    const NPWindow& b = lastSetWindow;
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && a.clipRect.top == b.clipRect.top
        && a.clipRect.left == b.clipRect.left && a.clipRect.bottom == b.clipRect.bottom
        && a.clipRect.right == b.clipRect.right && a.type == b.type && nPort.portx == lastSetPort.portx
        && nPort.porty == lastSetPort.porty && nPort.port == lastSetPort.port;
}

void NSFlashPluginView::setWindowIfNecessary()
{
    if (!_isStarted || isNewWindowEqualToOldWindow() || inSetWindow)
        return;
    inSetWindow = true;
    _plugin->callSetWindow(&npWindow);
    lastSetWindow = npWindow;
    lastSetPort = nPort;
    inSetWindow = false;
}

void NSFlashPluginView::updateAndSetWindow()
{
    if (!hostWindow())
        return;
    PortState state = saveAndSetPortState();
    setWindowIfNecessary();
    restorePortState(state);
    zoomViewNeedsDisplay();
}

// Null-event timer, tracking, window observers.

void NSFlashPluginView::restartNullEvents()
{
    QWidget* window = hostWindow();
    if (!window)
        return;
    stopNullEvents();
    if (window->isMinimized())
        return;
    _nullCount = 0;
    nullEventTimer = std::make_unique<QTimer>();
    nullEventTimer->setInterval(kNullEventIntervalMs);
    connect(nullEventTimer.get(), &QTimer::timeout, this, &NSFlashPluginView::sendNullEvent);
    nullEventTimer->start();
}

void NSFlashPluginView::stopNullEvents()
{
    nullEventTimer.reset();
}

void NSFlashPluginView::resetTrackingRect()
{
    removeTrackingRect();
    if (_isStarted)
        trackingTag = 1; // Qt reports entering and leaving the whole view; the tag only switches them on
}

void NSFlashPluginView::removeTrackingRect()
{
    trackingTag = 0;
}

void NSFlashPluginView::addWindowObservers()
{
    QWidget* window = hostWindow();
    if (!window)
        return;
    removeWindowObservers();
    for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        w->installEventFilter(this);
        observed.append(w);
    }
    _wasMinimized = window->isMinimized();
}

void NSFlashPluginView::removeWindowObservers()
{
    for (const QPointer<QWidget>& w : std::as_const(observed))
        if (w)
            w->removeEventFilter(this);
    observed.clear();
}

bool NSFlashPluginView::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* window = hostWindow();
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        viewHasMoved();
        break;
    case QEvent::Close:
        if (watched == window)
            windowWillClose();
        break;
    case QEvent::WindowActivate:
        if (watched == window)
            windowBecameKey();
        break;
    case QEvent::WindowDeactivate:
        if (watched == window)
            windowResignedKey();
        break;
    case QEvent::WindowStateChange:
        if (watched == window && window->isMinimized() != _wasMinimized) {
            _wasMinimized = window->isMinimized();
            if (_wasMinimized)
                windowDidMiniaturize();
            else
                windowDidDeminiaturize();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void NSFlashPluginView::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!observed.isEmpty())
        viewHasMoved();
}

void NSFlashPluginView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!observed.isEmpty())
        viewHasMoved();
}

void NSFlashPluginView::viewHasMoved()
{
    updateAndSetWindow();
    resetTrackingRect();
    zoomViewNeedsDisplay();
}

void NSFlashPluginView::windowWillClose()
{
    stop();
}

void NSFlashPluginView::windowBecameKey()
{
    sendActivateEvent(true);
    update();
    SetUserFocusWindow(windowRef());
}

void NSFlashPluginView::windowResignedKey()
{
    sendActivateEvent(false);
    update();
}

void NSFlashPluginView::windowDidMiniaturize()
{
    stopNullEvents();
}

void NSFlashPluginView::windowDidDeminiaturize()
{
    if (_isStarted)
        restartNullEvents();
}

// Painting.

void NSFlashPluginView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!_plugin || !_isStarted)
        return;
    sendUpdateEvent();
    // Show this view's part of the port's pixel map, where the plug-in has just painted.
    CGrafPtr port = GetWindowPort(windowRef());
    if (!port || port->pixels.empty())
        return;
    const QImage pixels(reinterpret_cast<const uchar*>(port->pixels.data()), port->pixelWidth, port->pixelHeight,
        port->portPixMap.rowBytes, QImage::Format_ARGB32);
    const QPoint offset = mapTo(hostWindow(), QPoint(0, 0));
    painter.drawImage(event->rect(), pixels, event->rect().translated(offset));
}

// Events.

void NSFlashPluginView::getCarbonEvent(EventRecord* event)
{
    if (!event)
        return;
    *event = EventRecord {};
    event->what = nullEvent;
    event->message = 0;
    event->when = TickCount();
    GetGlobalMouse(&event->where);
    event->modifiers = static_cast<EventModifiers>(GetCurrentKeyModifiers());
    if (!Button())
        event->modifiers |= btnState;
}

void NSFlashPluginView::getCarbonEventWithEvent(EventRecord* event, const QEvent* qtEvent)
{
    EventRecordUtils::convertEvent(qtEvent, event);
}

bool NSFlashPluginView::sendEvent(EventRecord* event)
{
    if (!hostWindow() || !event)
        return false;
    suspendKeyUpEvents = false;
    if (!_plugin || !_isStarted || inSetWindow)
        return false;
    PortState state = saveAndSetPortStateForUpdate(event->what == updateEvt);
    setWindowIfNecessary();
    if (event->what == updateEvt) {
        ForeColor(greenColor);
        PaintRect(&kUpdateBackdrop);
        ForeColor(blackColor);
    }
    // The plug-in may call back into the host, and through it into code that deletes this view.
    QPointer<NSFlashPluginView> self(this);
    NSFlashPlugin* plugin = _plugin.get();
    const bool handled = plugin->callHandleEvent(event);
    if (!self)
        return handled;
    if (hostWindow())
        restorePortState(state);
    return handled;
}

void NSFlashPluginView::sendNullEvent()
{
    EventRecord event;
    getCarbonEvent(&event);
    QWidget* window = hostWindow();
    MenuTrackingData tracking {};
    const bool menuOpen = GetMenuTrackingData(nullptr, &tracking) == noErr && tracking.menu;
    if (!window || !window->isActiveWindow() || menuOpen) {
        event.where = Point { -1, -1 }; // the plug-in does not see the mouse
    } else if (inResize) {
        setCursor(resizeCursor());
    } else if (_canDrag) {
        setCursor(_inDrag ? dragCursor() : canDragCursor());
    } else {
        setCursor(_plugin && _plugin->handCursor() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    QPointer<NSFlashPluginView> self(this);
    sendEvent(&event);
    if (self)
        snapshotStep();
}

uint32_t NSFlashPluginView::windowMessage() const
{
    WindowRef ref = windowRef();
    return ref ? ref->windowNumber : 0;
}

bool NSFlashPluginView::sendUpdateEvent()
{
    EventRecord event;
    getCarbonEvent(&event);
    event.what = updateEvt;
    event.message = windowMessage();
    return sendEvent(&event);
}

bool NSFlashPluginView::sendActivateEvent(bool activate)
{
    EventRecord event;
    getCarbonEvent(&event);
    event.what = activateEvt;
    event.message = windowMessage();
    if (activate)
        event.modifiers |= activeFlag;
    return sendEvent(&event);
}

void NSFlashPluginView::setHasFocus(bool focus)
{
    if (focus == _hasFocus)
        return;
    _hasFocus = focus;
    EventRecord event;
    getCarbonEvent(&event);
    event.what = focus ? getFocusEvent : loseFocusEvent;
    sendEvent(&event);
}

void NSFlashPluginView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    setHasFocus(true);
}

void NSFlashPluginView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    setHasFocus(false);
}

bool NSFlashPluginView::focusNextPrevChild(bool next)
{
    // Tab belongs to the movie while it runs.
    return _isStarted ? false : QWidget::focusNextPrevChild(next);
}

uint32_t NSFlashPluginView::keyMessageForEvent(const QKeyEvent* event) const
{
    const uint8_t character = EventRecordUtils::keyCharacter(event, false);
    if (character == 0)
        return 0;
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    return MakeKeyMessage(MacKeyCodeForQtKey(event->key(), keypad), character);
}

void NSFlashPluginView::sendModifierEventWithKeyCode(int keyCode, char character)
{
    EventRecord event;
    getCarbonEvent(&event);
    event.what = ::keyDown;
    event.message = MakeKeyMessage(static_cast<uint8_t>(keyCode), static_cast<uint8_t>(character));
    event.modifiers |= cmdKey;
    sendEvent(&event);
}

void NSFlashPluginView::cut(QObject*)
{
    sendModifierEventWithKeyCode(kCutKeyCode, kCutCharacter);
}

void NSFlashPluginView::copy(QObject*)
{
    sendModifierEventWithKeyCode(kCopyKeyCode, kCopyCharacter);
}

void NSFlashPluginView::paste(QObject*)
{
    sendModifierEventWithKeyCode(kPasteKeyCode, kPasteCharacter);
}

void NSFlashPluginView::selectAll(QObject*)
{
    sendModifierEventWithKeyCode(kSelectAllKeyCode, kSelectAllCharacter);
}

void NSFlashPluginView::keyDown(QKeyEvent* event)
{
    suspendKeyUpEvents = true;
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::keyDown; // repeats too: the plug-in takes them as presses
    if (record.message == 0)
        record.message = keyMessageForEvent(event);
    sendEvent(&record);
}

void NSFlashPluginView::keyUp(QKeyEvent* event)
{
    if (suspendKeyUpEvents)
        return;
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::keyUp;
    if (record.message == 0)
        record.message = keyMessageForEvent(event);
    sendEvent(&record);
}

void NSFlashPluginView::keyPressEvent(QKeyEvent* event)
{
    if (!_isStarted) {
        QWidget::keyPressEvent(event);
        return;
    }
    keyDown(event);
}

void NSFlashPluginView::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats as presses alone, as on the Mac: the releases Qt puts between repeats are dropped.
    if (!_isStarted || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    keyUp(event);
}

bool NSFlashPluginView::sendComposition(const QString& text, int caret)
{
    if (!_plugin)
        return false;
    EventRecord event;
    getCarbonEvent(&event);
    event.what = ReelfinchCompositionEvent;
    event.message = caret < 0 ? ReelfinchNoCaret : uint32_t(std::min<qsizetype>(caret, text.size()));
    _plugin->setCompositionText(text);
    QPointer<NSFlashPluginView> self(this);
    const bool handled = sendEvent(&event);
    if (self && _plugin)
        _plugin->setCompositionText(std::nullopt);
    return handled;
}

void NSFlashPluginView::sendText(const QString& text)
{
    QPointer<NSFlashPluginView> self(this);
    for (const char32_t c : text.toUcs4()) {
        if (!self)
            return;
        EventRecord event;
        getCarbonEvent(&event);
        event.what = ReelfinchTextInputEvent;
        event.message = uint32_t(c);
        sendEvent(&event);
    }
}

void NSFlashPluginView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!_isStarted) {
        QWidget::inputMethodEvent(event);
        return;
    }
    event->accept();
    int caret = -1;
    for (const QInputMethodEvent::Attribute& attribute : event->attributes())
        if (attribute.type == QInputMethodEvent::Cursor)
            caret = attribute.length > 0 ? attribute.start : -1;
    // What the input method gives ends its composing and is typed; what it composes next shows after it.
    const QString commit = event->commitString();
    const QString preedit = event->preeditString();
    QPointer<NSFlashPluginView> self(this);
    if (!commit.isEmpty()) {
        sendComposition(QString(), -1);
        if (self)
            sendText(commit);
    }
    if (self && (!preedit.isEmpty() || commit.isEmpty()))
        sendComposition(preedit, caret);
}

QVariant NSFlashPluginView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // Input methods compose for the movie while it runs; where its caret is, only the movie knows.
    if (query == Qt::ImEnabled)
        return _isStarted;
    return QWidget::inputMethodQuery(query);
}

void NSFlashPluginView::mouseDown(QMouseEvent* event)
{
    if (!_isStarted)
        return;
    if (_canDrag) {
        _dragPoint = event->scenePosition();
        _inDrag = true;
        return;
    }
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::mouseDown;
    sendEvent(&record);
}

void NSFlashPluginView::mouseUp(QMouseEvent* event)
{
    if (!_isStarted)
        return;
    if (_canDrag) {
        _inDrag = false;
        return;
    }
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::mouseUp;
    sendEvent(&record);
}

void NSFlashPluginView::mouseDragged(QMouseEvent* event)
{
    if (!_isStarted)
        return;
    if (_canDrag)
        panTo(event->scenePosition());
    else
        mouseUp(event);
}

void NSFlashPluginView::mouseEntered(QEvent* event)
{
    if (!_isStarted)
        return;
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = adjustCursorEvent;
    sendEvent(&record);
}

void NSFlashPluginView::mouseExited(QEvent* event)
{
    if (_isStarted) {
        EventRecord record;
        getCarbonEventWithEvent(&record, event);
        record.what = adjustCursorEvent;
        sendEvent(&record);
    }
    setCursor(Qt::ArrowCursor);
}

void NSFlashPluginView::rightMouseDown(QMouseEvent* event)
{
    if (_sendRightClick)
        mouseDown(event);
    else
        QWidget::mousePressEvent(event);
}

void NSFlashPluginView::rightMouseUp(QMouseEvent* event)
{
    mouseUp(event);
}

void NSFlashPluginView::otherMouseDown(QMouseEvent* event)
{
    if (!_isStarted)
        return;
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::mouseDown;
    sendEvent(&record);
}

void NSFlashPluginView::otherMouseUp(QMouseEvent* event)
{
    if (!_isStarted)
        return;
    EventRecord record;
    getCarbonEventWithEvent(&record, event);
    record.what = ::mouseUp;
    sendEvent(&record);
}

void NSFlashPluginView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        mouseDown(event);
    else if (event->button() == Qt::RightButton)
        rightMouseDown(event);
    else if (event->button() == Qt::MiddleButton)
        otherMouseDown(event);
    else
        QWidget::mousePressEvent(event);
}

void NSFlashPluginView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt turns the second press of a double click into this event; the plug-in counts clicks itself.
    mousePressEvent(event);
}

void NSFlashPluginView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        mouseUp(event);
    else if (event->button() == Qt::RightButton)
        rightMouseUp(event);
    else if (event->button() == Qt::MiddleButton)
        otherMouseUp(event);
    else
        QWidget::mouseReleaseEvent(event);
}

void NSFlashPluginView::mouseMoveEvent(QMouseEvent* event)
{
    // Without mouse tracking Qt reports moves only while a button is held: the left one makes a drag.
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(event);
    else
        QWidget::mouseMoveEvent(event);
}

void NSFlashPluginView::wheelEvent(QWheelEvent* event)
{
    // A notch of the wheel (120 eighths of a degree) turns three lines, as desktops scroll by default.
    constexpr int kEighthsPerLine = 40;
    const int lines = event->angleDelta().y() / kEighthsPerLine;
    if (!_isStarted || lines == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    EventRecord record;
    getCarbonEvent(&record);
    record.what = ReelfinchMouseWheelEvent;
    record.message = static_cast<uint32_t>(static_cast<int32_t>(lines));
    sendEvent(&record);
    event->accept();
}

void NSFlashPluginView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (isTracking())
        mouseEntered(event);
}

void NSFlashPluginView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (isTracking())
        mouseExited(event);
    else
        setCursor(Qt::ArrowCursor);
}

// Movie dragging: the shown rectangle moves against the mouse, so that the picture follows it.
void NSFlashPluginView::panTo(const QPointF& p)
{
    if (npWindow.width == 0 || npWindow.height == 0)
        return;
    const float dx = float(p.x() - _dragPoint.x()) * float(Width(_currentRect)) / float(npWindow.width);
    const float dy = float(p.y() - _dragPoint.y()) * float(Height(_currentRect)) / float(npWindow.height);
    const long long ix = TruncateToInt32(dx);
    const long long iy = TruncateToInt32(dy);
    // Qt's y grows downward like the movie's, so both axes move against the mouse.
    long long left = _currentRect.left - ix;
    long long right = _currentRect.right - ix;
    long long top = _currentRect.top - iy;
    long long bottom = _currentRect.bottom - iy;
    if (left < _maxRect.left) {
        right += _maxRect.left - left;
        left = _maxRect.left;
    }
    if (top < _maxRect.top) {
        bottom += _maxRect.top - top;
        top = _maxRect.top;
    }
    if (right > _maxRect.right) {
        left -= right - _maxRect.right;
        right = _maxRect.right;
    }
    if (bottom > _maxRect.bottom) {
        top -= bottom - _maxRect.bottom;
        bottom = _maxRect.bottom;
    }
    _currentRect = MakeSignedRect(left, top, right, bottom);
    displayRect(_currentRect);
    _dragPoint = p;
}

// Scripting.

bool NSFlashPluginView::isPlaying()
{
    return _plugin && _isStarted && _plugin->isPlaying();
}

bool NSFlashPluginView::play()
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->play();
    return true;
}

bool NSFlashPluginView::stopPlay()
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->stopPlay();
    return true;
}

long NSFlashPluginView::totalFrames()
{
    return _plugin && _isStarted ? _plugin->totalFrames() : 0;
}

long NSFlashPluginView::currentFrame()
{
    return _plugin && _isStarted ? _plugin->currentFrame() : 0;
}

bool NSFlashPluginView::gotoFrame(long frame)
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->gotoFrame(frame);
    updateZoomSnapshot();
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::rewind()
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->rewind();
    updateZoomSnapshot();
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::back()
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->back();
    updateZoomSnapshot();
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::forward()
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->forward();
    updateZoomSnapshot();
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::pan(long x, long y, long mode)
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->pan(x, y, mode);
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::zoom(long percent)
{
    if (!_plugin || !_isStarted)
        return false;
    _plugin->zoom(percent);
    zoomViewNeedsDisplay();
    return true;
}

bool NSFlashPluginView::setZoomRect(long left, long top, long right, long bottom)
{
    if (!_plugin || !_isStarted || !_plugin->setZoomRect(left, top, right, bottom))
        return false;
    _currentRect = MakeSignedRect(left, top, right, bottom);
    zoomViewNeedsDisplay();
    return true;
}

int NSFlashPluginView::flashQuality()
{
    return _plugin && _isStarted ? _plugin->flashQuality() : 0;
}

bool NSFlashPluginView::setFlashQuality(int quality)
{
    return _plugin && _isStarted && _plugin->setFlashQuality(quality);
}

// Zoom rectangles.

void NSFlashPluginView::setOriginalRect(long left, long top, long right, long bottom)
{
    // The given maximum edges count as inside the frame.
    _originalRect = MakeSignedRect(left, top, static_cast<long long>(right) + 1, static_cast<long long>(bottom) + 1);
    _maxRect
        = MakeSignedRect(static_cast<long long>(left) - kMaxRectMargin, static_cast<long long>(top) - kMaxRectMargin,
            static_cast<long long>(right) + 1 + kMaxRectMargin, static_cast<long long>(bottom) + 1 + kMaxRectMargin);
    _currentRect = _originalRect;
}

void NSFlashPluginView::displayRect(const _NPSignedRect& rect)
{
    if (!_plugin || !_isStarted)
        return;
    _plugin->setZoomRect(rect.left, rect.top, rect.right, rect.bottom);
    resetTrackingRect();
    zoomViewNeedsDisplay();
}

void NSFlashPluginView::displayZoomRect(const QRectF& f)
{
    stopNullEvents();
    const float width = float(Width(_originalRect));
    const float height = float(Height(_originalRect));
    const long long left = static_cast<long long>(_originalRect.left) + TruncateToInt32(float(f.x()) * width);
    const long long top = static_cast<long long>(_originalRect.top) + TruncateToInt32(float(f.y()) * height);
    const long long right = left + TruncateToInt32(float(f.width()) * width);
    const long long bottom = top + TruncateToInt32(float(f.height()) * height);
    _currentRect = MakeSignedRect(left, top, right, bottom);
    displayRect(_currentRect);
    restartNullEvents();
}

void NSFlashPluginView::setFitSize()
{
    _currentRect = _originalRect;
    displayRect(_currentRect);
}

void NSFlashPluginView::setOriginalSize()
{
    const long long cx = Half(static_cast<long long>(_originalRect.left) + _originalRect.right);
    const long long cy = Half(static_cast<long long>(_originalRect.top) + _originalRect.bottom);
    const long long hw = static_cast<long long>(npWindow.width) * (kTwipsPerPixel / 2);
    const long long hh = static_cast<long long>(npWindow.height) * (kTwipsPerPixel / 2);
    _currentRect = MakeSignedRect(cx - hw, cy - hh, cx + hw, cy + hh);
    displayRect(_currentRect);
}

void NSFlashPluginView::zoomIn()
{
    const long long hw = Half(Width(_currentRect));
    const long long hh = Half(Height(_currentRect));
    const long long cx = Half(static_cast<long long>(_currentRect.left) + _currentRect.right);
    const long long cy = Half(static_cast<long long>(_currentRect.top) + _currentRect.bottom);
    if (hw * hh > kMinZoomInArea) {
        const long long dx = hw * kZoomInFactor / kZoomFactorScale;
        const long long dy = hh * kZoomInFactor / kZoomFactorScale;
        _currentRect = MakeSignedRect(cx - dx, cy - dy, cx + dx, cy + dy);
    }
    displayRect(_currentRect);
}

void NSFlashPluginView::clampEachEdgeToMax()
{
    _currentRect.left = std::max(_currentRect.left, _maxRect.left);
    _currentRect.top = std::max(_currentRect.top, _maxRect.top);
    _currentRect.right = std::min(_currentRect.right, _maxRect.right);
    _currentRect.bottom = std::min(_currentRect.bottom, _maxRect.bottom);
}

void NSFlashPluginView::zoomOut()
{
    const long long hw = Half(Width(_currentRect));
    const long long hh = Half(Height(_currentRect));
    const long long cx = Half(static_cast<long long>(_currentRect.left) + _currentRect.right);
    const long long cy = Half(static_cast<long long>(_currentRect.top) + _currentRect.bottom);
    const long long dx = hw * kZoomOutFactor / kZoomFactorScale;
    const long long dy = hh * kZoomOutFactor / kZoomFactorScale;
    _currentRect = MakeSignedRect(cx - dx, cy - dy, cx + dx, cy + dy);
    clampEachEdgeToMax();
    displayRect(_currentRect);
}

void NSFlashPluginView::setZoomPercent(int percent)
{
    if (percent < 1) // no percentage below 1 has a size
        return;
    const long long hx = TruncateToInt32(double(Width(_originalRect)) * 50.0 / percent);
    const long long hy = TruncateToInt32(double(Height(_originalRect)) * 50.0 / percent);
    const long long cx = Half(static_cast<long long>(_currentRect.left) + _currentRect.right);
    const long long cy = Half(static_cast<long long>(_currentRect.top) + _currentRect.bottom);
    _currentRect = MakeSignedRect(cx - hx, cy - hy, cx + hx, cy + hy);
    clampEachEdgeToMax();
    displayRect(_currentRect);
}

int NSFlashPluginView::zoomPercent() const
{
    const long long shown = Width(_currentRect);
    if (shown == 0) // nothing shown yet has no percentage
        return 0;
    return ClampToInt32(Width(_originalRect) * 100 / shown);
}

// Snapshots and the zoom drawer.

QImage NSFlashPluginView::snapshot()
{
    return snapshotFromRect(rect());
}

QImage NSFlashPluginView::snapshotFromRect(const QRect& r)
{
    if (r.isEmpty())
        return QImage();
    QImage image(r.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    if (!_plugin || !_isStarted || !hostWindow())
        return image;
    // Let the plug-in paint the picture as it stands now, then read this view's part of the port.
    QPointer<NSFlashPluginView> self(this);
    sendUpdateEvent();
    if (!self || !hostWindow())
        return image;
    CGrafPtr port = GetWindowPort(windowRef());
    if (!port || port->pixels.empty())
        return image;
    const QImage pixels(reinterpret_cast<const uchar*>(port->pixels.data()), port->pixelWidth, port->pixelHeight,
        port->portPixMap.rowBytes, QImage::Format_ARGB32);
    const QRect source = r.intersected(rect()).translated(mapTo(hostWindow(), QPoint(0, 0)));
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(source.topLeft() - mapTo(hostWindow(), r.topLeft()), pixels, source);
    return image;
}

void NSFlashPluginView::setSnapShotFrequency(int frequency)
{
    if (_isStarted)
        stopNullEvents();
    _snapShotFreq = frequency;
    if (_isStarted)
        restartNullEvents();
}

ZoomViewClient* NSFlashPluginView::zoomView() const
{
    if (_zoomViewIsObject && !_zoomViewObject)
        return nullptr; // destroyed since it was attached
    return _zoomView;
}

void NSFlashPluginView::setZoomView(ZoomViewClient* zoomView)
{
    if (ZoomViewClient* old = this->zoomView()) {
        old->setFlashImage(QImage());
        old->setNeedsDisplay();
    }
    _zoomView = zoomView;
    _zoomViewObject = dynamic_cast<QObject*>(zoomView);
    _zoomViewIsObject = _zoomViewObject != nullptr;
    if (_zoomView)
        _zoomView->setFlashView(this);
}

void NSFlashPluginView::zoomViewNeedsDisplay()
{
    if (ZoomViewClient* drawer = zoomView())
        drawer->setNeedsDisplay();
}

void NSFlashPluginView::updateZoomView(bool)
{
    updateZoomSnapshot();
    if (_isStarted)
        zoomViewNeedsDisplay();
}

void NSFlashPluginView::updateZoomSnapshot()
{
    if (!zoomView() || !_isStarted || !_plugin)
        return;
    const bool zoomed = !SameRect(_currentRect, _originalRect);
    if (zoomed)
        _plugin->setZoomRect(_originalRect.left, _originalRect.top, _originalRect.right, _originalRect.bottom);
    QPointer<NSFlashPluginView> self(this);
    const QImage image = snapshot();
    if (!self || !_plugin)
        return;
    if (ZoomViewClient* drawer = zoomView())
        drawer->setFlashImage(image);
    if (zoomed)
        _plugin->setZoomRect(_currentRect.left, _currentRect.top, _currentRect.right, _currentRect.bottom);
}

void NSFlashPluginView::snapshotStep()
{
    if (!zoomView())
        return;
    if (_nullCount < _snapShotFreq) {
        ++_nullCount;
    } else {
        updateZoomSnapshot();
        _nullCount = 0;
    }
    zoomViewNeedsDisplay();
}
