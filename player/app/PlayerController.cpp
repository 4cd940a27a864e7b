#include "PlayerController.h"

#include "AboutController.h"
#include "AdvancedController.h"
#include "ControlValues.h"
#include "ControlsController.h"
#include "FramePicture.h"
#include "MainMenu.h"
#include "MovieController.h"
#include "NSFlashPluginView.h"
#include "NSImageWindow.h"
#include "PreferencesController.h"
#include "RecentDocuments.h"
#include "SWFInfo.h"
#include "SWFStream.h"
#include "TraceController.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

// The update timer polls the movie twenty times a second; the auto-play timer waits a second so that files
// opened together all reach the playlist before the first of them plays.
constexpr int kUpdateIntervalMs = 50;
constexpr float kUpdateIntervalSeconds = 0.05f;
constexpr int kAutoPlayDelayMs = 1000;

// A movie is read whole into memory, twice (the summary's copy and the view's); larger files are refused
// rather than exhausting memory.
constexpr qint64 kMaxMovieBytes = qint64(1) << 30;

// Pages about the companion programs, opened in the user's browser.
constexpr char kOptimizerPageUrl[] = "https://reelfinch.example.org/optimizer/";
constexpr char kConverterPageUrl[] = "https://reelfinch.example.org/converter/";

// The open panels accept SWF movies, the extension in any letter case.
constexpr char kMovieFileFilter[] = "*.[sS][wW][fF]";

int readInt(const QSettings& settings, const char* key, int fallback)
{
    const QVariant value = settings.value(QLatin1String(key));
    return value.isValid() ? value.toInt() : fallback;
}

bool readBool(const QSettings& settings, const char* key, bool fallback)
{
    const QVariant value = settings.value(QLatin1String(key));
    return value.isValid() ? value.toBool() : fallback;
}

bool restoreFrame(const QSettings& settings, QWidget* window, const char* name)
{
    const QByteArray frame = settings.value(QLatin1String(name)).toByteArray();
    return !frame.isEmpty() && window->restoreGeometry(frame);
}

// First launch, nothing saved: the movie window at the top left of the screen's free area, the controls panel
// under it, the playlist panel to its right, apart from one another and each kept inside the free area. The
// title bar and borders the window manager adds are not known before a window shows: an allowance stands for them.
constexpr int kWindowGap = 16;
constexpr int kTitleAllowance = 32;
constexpr int kBorderAllowance = 8;

void keepInside(QWidget* window, const QRect& area, QPoint at, QSize decorated)
{
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - decorated.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - decorated.height())));
    window->move(at);
}

void placeWindowsApart(QWidget* movie, QWidget* controls, QWidget* advanced)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize decoration(2 * kBorderAllowance, kTitleAllowance + kBorderAllowance);
    // On a small screen the movie window gives up room (down to its smallest size) so that the panels fit beside
    // and under it.
    const QSize room(area.width() - advanced->width() - 2 * decoration.width() - 3 * kWindowGap,
        area.height() - controls->height() - decoration.height() - 3 * kWindowGap);
    movie->resize(movie->size().boundedTo(room).expandedTo(movie->minimumSize()));
    const QSize movieFrame = movie->size() + decoration;
    const QPoint movieAt = area.topLeft() + QPoint(kWindowGap, kWindowGap);
    keepInside(movie, area, movieAt, movieFrame);
    keepInside(controls, area, QPoint(movie->x(), movie->y() + movieFrame.height() + kWindowGap), controls->size());
    keepInside(advanced, area, QPoint(movie->x() + movieFrame.width() + kWindowGap, movie->y()),
        advanced->size() + decoration);
}

void saveFrame(QSettings& settings, const QWidget* window, const char* name)
{
    if (window)
        settings.setValue(QLatin1String(name), window->saveGeometry());
}

void showAndRaise(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

PlayerController::PlayerController(const QString& settingsFile, QObject* parent)
    : QObject(parent)
    , _settingsFile(settingsFile)
    , _recent(std::make_unique<RecentDocuments>())
{
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    quitApplication = [] { QCoreApplication::exit(0); };
    _timerUpdateSlider.setInterval(kUpdateIntervalMs);
    _timerUpdateSlider.setTimerType(Qt::PreciseTimer);
    connect(&_timerUpdateSlider, &QTimer::timeout, this, [this] { updateSlider(&_timerUpdateSlider); });
}

PlayerController::~PlayerController()
{
    _timerUpdateSlider.stop();
    // The panels refer to the playlist and the summary: they go first.
    _prefs.reset();
    _trace.reset();
    _menu.reset();
    _advanced.reset();
    _controls.reset();
    _movie.reset();
}

std::unique_ptr<QSettings> PlayerController::openSettings() const
{
    if (_settingsFile.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(_settingsFile, QSettings::IniFormat);
}

// ---------------------------------------------------------------------------------------------------------------
// Application delegate

void PlayerController::applicationWillFinishLaunching()
{
    const std::unique_ptr<QSettings> settings = openSettings();
    readSettings(*settings);
}

void PlayerController::readSettings(QSettings& settings)
{
    _zoomImageInterpolation = readInt(settings, ZoomImageInterpolationKey, 0);
    _zoomImageUpdateSpeed = readInt(settings, ZoomImageUpdateSpeedKey, 3);
    _defaultQuality = readInt(settings, DefaultFlashQualityKey, kQualityHigh);
    _quality = _defaultQuality;
    _enableSecuriry = readBool(settings, EnableFlashSecurityKey, false);
    _allowURL = readBool(settings, AllowURLKey, true);
    _ifLastFrame = readBool(settings, LastFrameKey, true);
    _ifFrameDecrease = readBool(settings, FrameDecreaseKey, true);
    _ifOneFrame = readBool(settings, FrameSecKey, true);
    _ifOneFrameTime = static_cast<float>(readInt(settings, FrameTimeKey, 10));
    _plist = settings.value(QLatin1String(PlayListKey)).toStringList();
    // Each path is in the playlist at most once, even if the stored list was edited by hand.
    _plist.removeDuplicates();
    const QString current = settings.value(QLatin1String(CurrentlyPlayedFileKey)).toString();
    _curPlayed = !current.isEmpty() && _plist.contains(current) ? current : QString();
    _autoPlay = readBool(settings, AutoPlayKey, true);
    _repeatStyle = readInt(settings, RepeatStyleKey, kRepeatOnce);
    _isShuffle = readBool(settings, IsShuffleKey, false);
    _isMovieVisible = readBool(settings, IsMovieWindowVisisbleKey, true);
    _isControlsVisible = readBool(settings, IsControlsWindowVisisbleKey, true);
    _isControlsExpanded = readBool(settings, IsControlsWindowExpandedKey, true);
    _isAdvancedVisible = readBool(settings, IsAdvancedWindowVisisbleKey, true);
    _visibleAdvancedTab = readInt(settings, VisibleAdvancedTabKey, kTabPlayList);

    if (_isShuffle) {
        ::srandom(static_cast<unsigned>(::time(nullptr)));
        _toPlay = shuffledCopy(_plist);
        _played = QStringList();
    } else {
        _toPlay.reset();
        _played.reset();
    }
    _currentFrame = 0;
    _totalFrames = 0;
}

void PlayerController::writeSettings(QSettings& settings)
{
    settings.setValue(QLatin1String(ZoomImageInterpolationKey), _zoomImageInterpolation);
    settings.setValue(QLatin1String(ZoomImageUpdateSpeedKey), _zoomImageUpdateSpeed);
    settings.setValue(QLatin1String(DefaultFlashQualityKey), _defaultQuality);
    settings.setValue(QLatin1String(EnableFlashSecurityKey), _enableSecuriry);
    settings.setValue(QLatin1String(AllowURLKey), _allowURL);
    settings.setValue(QLatin1String(LastFrameKey), _ifLastFrame);
    settings.setValue(QLatin1String(FrameDecreaseKey), _ifFrameDecrease);
    settings.setValue(QLatin1String(FrameSecKey), _ifOneFrame);
    settings.setValue(QLatin1String(FrameTimeKey), static_cast<int>(_ifOneFrameTime));
    settings.setValue(QLatin1String(PlayListKey), _plist);
    if (_curPlayed.isNull())
        settings.remove(QLatin1String(CurrentlyPlayedFileKey));
    else
        settings.setValue(QLatin1String(CurrentlyPlayedFileKey), _curPlayed);
    settings.setValue(QLatin1String(AutoPlayKey), _autoPlay);
    settings.setValue(QLatin1String(RepeatStyleKey), _repeatStyle);
    settings.setValue(QLatin1String(IsShuffleKey), _isShuffle);
    settings.setValue(QLatin1String(IsMovieWindowVisisbleKey), _isMovieVisible);
    settings.setValue(QLatin1String(IsControlsWindowVisisbleKey), _isControlsVisible);
    settings.setValue(QLatin1String(IsControlsWindowExpandedKey), _isControlsExpanded);
    settings.setValue(QLatin1String(IsAdvancedWindowVisisbleKey), _isAdvancedVisible);
    settings.setValue(QLatin1String(VisibleAdvancedTabKey), _visibleAdvancedTab);
    saveFrame(settings, movieWindow(), kMovieWindowName);
    saveFrame(settings, controlsWindow(), kControlsWindowName);
    saveFrame(settings, advancedWindow(), kAdvancedWindowName);
}

PlayerController::Settings PlayerController::settings() const
{
    Settings s;
    s.zoomImageInterpolation = _zoomImageInterpolation;
    s.zoomImageUpdateSpeed = _zoomImageUpdateSpeed;
    s.defaultQuality = _defaultQuality;
    s.enableSecurity = _enableSecuriry;
    s.allowURL = _allowURL;
    s.ifLastFrame = _ifLastFrame;
    s.ifFrameDecrease = _ifFrameDecrease;
    s.ifOneFrame = _ifOneFrame;
    s.ifOneFrameTime = _ifOneFrameTime;
    s.autoPlay = _autoPlay;
    s.isMovieVisible = _isMovieVisible;
    s.isControlsVisible = _isControlsVisible;
    s.isControlsExpanded = _isControlsExpanded;
    s.isAdvancedVisible = _isAdvancedVisible;
    s.visibleAdvancedTab = _visibleAdvancedTab;
    return s;
}

bool PlayerController::applicationOpenFile(const QString& path)
{
    addFileToList(path, true);
    if (_autoPlay && !_addTimer && _firstAdded.isNull()) {
        _firstAdded = path;
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, timer] { autoPlayAction(timer); });
        timer->start(kAutoPlayDelayMs);
        _addTimer = timer;
    }
    return true;
}

void PlayerController::applicationDidFinishLaunching()
{
    const std::unique_ptr<QSettings> frames = openSettings();
    _movie = std::make_unique<MovieController>();
    QMainWindow* movie = _movie->window();
    bool framesSaved = restoreFrame(*frames, movie, kMovieWindowName);
    _movie->setMainController(this);
    movie->setAcceptDrops(true);
    if (NSFlashPluginView* view = flashView()) {
        view->setSnapShotFrequency(_zoomImageUpdateSpeed);
        view->setEnabledSecurity(_enableSecuriry);
        view->setTraceHandler([this](const QString& line) { traceLine(line); });
        view->setCommandHandler([this](const QString& command, const QString& args) { movieCommand(command, args); });
    }
    if (_isMovieVisible)
        movie->show();

    _controls = std::make_unique<ControlsController>();
    QWidget* controls = _controls->window();
    framesSaved = restoreFrame(*frames, controls, kControlsWindowName) || framesSaved;
    controls->setAcceptDrops(true);
    _controls->setMainController(this);
    // The panel floats above the other windows and never takes the keyboard from the movie.
    _controls->imageWindow()->setCanBecomeKeyWindow(false);
    setControlsFloating(true);
    _controls->initVolumeValue();
    _controls->setRepeatState(_repeatStyle);
    _controls->setShuffleState(_isShuffle);
    _controls->setImageInterpolation(_zoomImageInterpolation);
    _controls->setWindowVisible(_isControlsVisible);
    _controls->setCanPlay(!_plist.isEmpty());
    // A closed zoom area is closed even while the panel is hidden, so the panel shows the saved state whenever it
    // appears.
    if (!_isControlsExpanded)
        _controls->constrictWindow(false);
    if (_isControlsVisible) {
        if (_isControlsExpanded)
            attachZoomView(true);
        controls->show();
    }

    _advanced = std::make_unique<AdvancedController>();
    QWidget* advanced = _advanced->window();
    framesSaved = restoreFrame(*frames, advanced, kAdvancedWindowName) || framesSaved;
    if (!framesSaved)
        placeWindowsApart(movie, controls, advanced);
    _advanced->setMainController(this);
    advanced->setAcceptDrops(true);
    _advanced->setPlayList(&_plist);
    _advanced->setVisibleTab(_visibleAdvancedTab);
    _advanced->setCurrentFile(_curPlayed);
    _advanced->setSelectedFile(_curPlayed);
    _advanced->setRepeatState(_repeatStyle);
    _advanced->setShuffleState(_isShuffle);
    updateNextPrevState();
    if (_isAdvancedVisible)
        advanced->show();

    showAndRaise(movie);
    _isPaused = false;
    _isLoaded = false;

    _menu = std::make_unique<MainMenu>(this, movie->menuBar());
    // The playlist panel takes the keyboard too: it shows the same menus, whose window items then act on it.
    if (QLayout* layout = advanced->layout()) {
        auto* bar = new QMenuBar(advanced);
        bar->setObjectName(QStringLiteral("menubar"));
        layout->setMenuBar(bar);
        _menu->addMenuBar(bar);
    }
    _trace = std::make_unique<TraceController>();
    if (QLayout* layout = _trace->window()->layout()) {
        auto* bar = new QMenuBar(_trace->window());
        layout->setMenuBar(bar);
        _menu->addMenuBar(bar);
    }
    if (NSFlashPluginView* view = flashView()) {
        connect(view, &NSFlashPluginView::movieStopped, this, [this] { movieStopped(); });
        if (QMenu* playback = _menu->submenuWithTag(kTagPlaybackMenu)) {
            view->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(view, &QWidget::customContextMenuRequested, playback, [view, playback](const QPoint& at) {
                // A movie that takes the right button gets it instead of the menu.
                if (!view->sendRightClick())
                    playback->popup(view->mapToGlobal(at));
            });
        }
    }
    _menu->validateAll();
}

void PlayerController::applicationWillBecomeActive()
{
    if (_isControlsVisible)
        setControlsFloating(true);
}

void PlayerController::applicationWillResignActive()
{
    // A minimised movie window stands for a hidden application: the panel keeps its level then.
    const QWidget* movie = movieWindow();
    const bool hidden = movie && movie->isMinimized();
    if (_isControlsVisible && !hidden)
        setControlsFloating(false);
}

void PlayerController::setControlsFloating(bool floating)
{
    QWidget* controls = controlsWindow();
    if (!controls)
        return;
    _controlsFloating = floating;
    QWindow* handle = controls->windowHandle();
    if (handle && controls->isVisible()) {
        // Changing the widget's flags would unmap the window; the native window takes the new level in place.
        Qt::WindowFlags flags = handle->flags();
        flags.setFlag(Qt::WindowStaysOnTopHint, floating);
        handle->setFlags(flags);
    } else {
        controls->setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    }
    if (!floating && controls->isVisible())
        controls->raise();
}

void PlayerController::applicationWillTerminate()
{
    if (_terminated)
        return;
    _terminated = true;
    _timerUpdateSlider.stop();
    const std::unique_ptr<QSettings> settings = openSettings();
    writeSettings(*settings);
    settings->sync();
}

void PlayerController::movieCommand(const QString& command, const QString& args)
{
    const bool on = args.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || args == QLatin1String("1");
    // Acted on after the plug-in's call returns: the command may end or reshape what is calling.
    if (command.compare(QLatin1String("quit"), Qt::CaseInsensitive) == 0) {
        QTimer::singleShot(0, this, [this] { terminate(); });
    } else if (command.compare(QLatin1String("fullscreen"), Qt::CaseInsensitive) == 0) {
        QTimer::singleShot(0, this, [this, on] {
            if (_movie && _movie->window() && _movie->window()->isFullScreen() != on)
                _movie->toggleFullScreen();
        });
    } else if (command.compare(QLatin1String("allowscale"), Qt::CaseInsensitive) == 0) {
        QTimer::singleShot(0, this, [this, on] {
            if (on)
                setFitSize(nullptr);
            else
                setOriginalSizeAction(nullptr);
        });
    }
}

void PlayerController::terminate()
{
    applicationWillTerminate();
    if (quitApplication)
        quitApplication();
}

void PlayerController::autoPlayAction(QObject*)
{
    if (_firstAdded.isNull())
        return;
    if (!loadMovie(_firstAdded))
        return;
    const QString path = _firstAdded;
    makeCurrent(path);
    if (_addTimer)
        _addTimer->deleteLater();
    _addTimer = nullptr;
    _firstAdded = QString();
}

void PlayerController::makeCurrent(const QString& path)
{
    if (!_curPlayed.isNull() && _isShuffle)
        _played->append(_curPlayed);
    _curPlayed = path;
    if (_advanced)
        _advanced->setCurrentFile(_curPlayed);
    if (_isShuffle)
        _toPlay->removeAll(path);
}

// ---------------------------------------------------------------------------------------------------------------
// Playlist and navigation

QStringList PlayerController::shuffledCopy(const QStringList& list)
{
    // Fisher-Yates: every order equally likely, drawing from the seeded random().
    QStringList copy = list;
    for (qsizetype i = copy.size() - 1; i > 0; --i) {
        const auto j
            = static_cast<qsizetype>(static_cast<unsigned long>(::random()) % static_cast<unsigned long>(i + 1));
        copy.swapItemsAt(i, j);
    }
    return copy;
}

QString PlayerController::lastPathComponent(const QString& path)
{
    return QFileInfo(path).fileName();
}

void PlayerController::noteRecentDocument(const QString& path)
{
    if (_recent)
        _recent->noteNewRecentDocument(path);
}

void PlayerController::addFileToList(const QString& path, bool reloadData)
{
    if (path.isEmpty() || _plist.contains(path))
        return;
    noteRecentDocument(path);
    const qsizetype before = _plist.size();
    _plist.append(path);
    if (_isShuffle) {
        ::srandom(static_cast<unsigned>(::time(nullptr)));
        const unsigned long r = static_cast<unsigned long>(::random());
        if (before == 0) {
            _toPlay->append(path);
        } else {
            const auto k = static_cast<qsizetype>(r % static_cast<unsigned long>(before));
            if (k < _toPlay->size())
                _toPlay->insert(k, path);
            else
                _toPlay->append(path);
        }
    }
    if (reloadData && _advanced)
        _advanced->reloadPlayList();
    updateNextPrevState();
    if (_controls)
        _controls->setCanPlay(true);
}

void PlayerController::addFilesToList(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    for (const QString& path : paths)
        addFileToList(path, false);
    if (_advanced)
        _advanced->reloadPlayList();
    if (_autoPlay) {
        _firstAdded = paths.first();
        autoPlayAction(nullptr);
    }
}

void PlayerController::addFilesAction(QObject*)
{
    auto* panel = new QFileDialog(movieWindow());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setNameFilter(tr("SWF movies (%1)").arg(QLatin1String(kMovieFileFilter)));
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        addFilesDidEndSelector(panel->selectedFiles(), result == QDialog::Accepted ? kReturnOK : kReturnCancel);
    });
    panel->open();
}

void PlayerController::addFilesDidEndSelector(const QStringList& paths, int returnCode)
{
    if (returnCode == kReturnOK)
        addFilesToList(paths);
}

void PlayerController::removeFilesAction(QObject*)
{
    if (!_advanced)
        return;
    const QStringList selected = _advanced->selectedFiles();
    for (const QString& path : selected) {
        _plist.removeAll(path);
        if (_isShuffle) {
            _toPlay->removeAll(path);
            _played->removeAll(path);
        }
    }
    _advanced->reloadPlayList();
    if (_controls)
        _controls->setCanPlay(_isLoaded || !_plist.isEmpty());
    updateNextPrevState();
}

void PlayerController::clearPlayListAction(QObject*)
{
    _plist.clear();
    if (_toPlay)
        _toPlay->clear();
    if (_played)
        _played->clear();
    if (_advanced)
        _advanced->reloadPlayList();
    updateNextPrevState();
    if (_controls)
        _controls->setCanPlay(_isLoaded);
}

void PlayerController::playListDoubleClick(QObject*)
{
    if (_advanced) {
        const QString path = _advanced->selectedFile();
        if (!path.isNull() && loadMovie(path))
            makeCurrent(path);
    }
    updateNextPrevState();
}

void PlayerController::shuffleAction(QObject*)
{
    _isShuffle = !_isShuffle;
    if (_isShuffle) {
        _toPlay = shuffledCopy(_plist);
        _played = QStringList();
    } else {
        _toPlay.reset();
        _played.reset();
    }
    if (_controls)
        _controls->setShuffleState(_isShuffle);
    if (_advanced)
        _advanced->setShuffleState(_isShuffle);
    updateNextPrevState();
}

void PlayerController::repeatAction(QObject* sender)
{
    const int state = buttonState(sender);
    _repeatStyle = state == kButtonStateOn ? kRepeatItem : state == kButtonStateOff ? kRepeatOnce : kRepeatAll;
    if (_controls)
        _controls->setRepeatState(_repeatStyle);
    if (_advanced)
        _advanced->setRepeatState(_repeatStyle);
    updateNextPrevState();
}

void PlayerController::nextAction(QObject*)
{
    if (_isShuffle) {
        if (_toPlay->isEmpty() && _repeatStyle == kRepeatAll) {
            ::srandom(static_cast<unsigned>(::time(nullptr)));
            _toPlay = shuffledCopy(_plist);
        }
        if (!_toPlay->isEmpty()) {
            if (!_curPlayed.isNull() && _plist.contains(_curPlayed))
                _played->append(_curPlayed);
            _curPlayed = _toPlay->takeLast();
            loadMovie(_curPlayed);
            if (_advanced)
                _advanced->setCurrentFile(_curPlayed);
        }
    } else {
        const qsizetype i = _curPlayed.isNull() ? -1 : _plist.indexOf(_curPlayed);
        qsizetype next = -1;
        if (i >= 0) {
            next = i + 1;
            if (next >= _plist.size())
                next = _repeatStyle == kRepeatAll ? 0 : -1;
        } else if (_repeatStyle == kRepeatAll && !_plist.isEmpty()) {
            // Availability offers Next here; it starts at the first entry.
            next = 0;
        }
        if (next >= 0) {
            _curPlayed = _plist.at(next);
            loadMovie(_curPlayed);
            if (_advanced)
                _advanced->setCurrentFile(_curPlayed);
        }
    }
    updateNextPrevState();
}

void PlayerController::previousAction(QObject*)
{
    if (_isShuffle) {
        if (!_played->isEmpty()) {
            if (!_curPlayed.isNull() && _plist.contains(_curPlayed))
                _toPlay->append(_curPlayed);
            _curPlayed = _played->takeLast();
            loadMovie(_curPlayed);
            if (_advanced)
                _advanced->setCurrentFile(_curPlayed);
        }
    } else {
        const qsizetype i = _curPlayed.isNull() ? -1 : _plist.indexOf(_curPlayed);
        qsizetype previous = -1;
        if (i > 0)
            previous = i - 1;
        else if (i == 0 && _repeatStyle == kRepeatAll)
            previous = _plist.size() - 1;
        if (previous >= 0) {
            const QString candidate = _plist.at(previous);
            if (loadMovie(candidate))
                _curPlayed = candidate;
            if (_advanced)
                _advanced->setCurrentFile(candidate);
        }
    }
    updateNextPrevState();
}

void PlayerController::updateNextPrevState()
{
    if (!_controls)
        return;
    bool canNext = false;
    bool canPrev = false;
    const qsizetype toPlay = _toPlay ? _toPlay->size() : 0;
    const qsizetype played = _played ? _played->size() : 0;
    if (_plist.isEmpty()) {
        // neither
    } else if (_repeatStyle == kRepeatAll) {
        canNext = true;
        canPrev = _isShuffle ? played > 0 : true;
    } else if (_isShuffle) {
        canNext = toPlay > 0;
        canPrev = played > 1;
    } else {
        qsizetype position = _curPlayed.isNull() ? -1 : _plist.indexOf(_curPlayed);
        if (position < 0 && _advanced) {
            const QString selected = _advanced->selectedFile();
            position = selected.isNull() ? -1 : _plist.indexOf(selected);
        }
        if (position >= 0) {
            canNext = position < _plist.size() - 1;
            canPrev = position > 0;
        }
    }
    _controls->setCanGotoNext(canNext);
    _controls->setCanGotoPrev(canPrev);
}

// ---------------------------------------------------------------------------------------------------------------
// Loading and playback

NSFlashPluginView* PlayerController::flashView() const
{
    return _movie ? _movie->flashView() : nullptr;
}

void PlayerController::stopUpdateTimer()
{
    _timerUpdateSlider.stop();
}

bool PlayerController::loadMovie(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMovieBytes)
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    file.close();

    stopUpdateTimer();
    _currentFrame = 0;
    _frameTime = 0.0f;
    if (!_movieInfo)
        _movieInfo = std::make_unique<CSWFInfo>();
    {
        CSWFStream stream;
        if (!stream.WriteBuf(bytes.constData(), static_cast<unsigned long>(bytes.size())))
            return false;
        _movieInfo->ReadSWF(&stream);
    }
    const QString name = lastPathComponent(path);
    if (_advanced) {
        _advanced->setMovieName(name);
        _advanced->setSWFInfo(_movieInfo.get());
    }
    NSFlashPluginView* view = flashView();
    if (!view) {
        _isLoaded = false;
        return false;
    }
    const CRectItem& frame = _movieInfo->m_FrameRect;
    view->setOriginalRect(frame.m_XMin, frame.m_YMin, frame.m_XMax, frame.m_YMax);
    view->setGetURL(_allowURL);
    view->setPostURL(_allowURL);
    _isLoaded = view->loadMovie(bytes, path);
    _loadedPath = _isLoaded ? path : QString();
    if (_isLoaded) {
        _isPaused = false;
        if (_controls)
            _controls->setPlayed(true);
        view->setFlashQuality(_defaultQuality);
        _quality = _defaultQuality;
        if (_movie)
            _movie->window()->setWindowTitle(name);
        if (_controls) {
            _controls->setFileName(name);
            _controls->setZoomPrecent(view->zoomPercent());
        }
        _totalFrames = static_cast<int>(view->totalFrames());
        if (_controls)
            _controls->setTotalFrames(_totalFrames);
        _timerUpdateSlider.start();
    }
    return _isLoaded;
}

void PlayerController::updateSlider(QObject*)
{
    NSFlashPluginView* view = flashView();
    if (!view)
        return;
    _frameTime += kUpdateIntervalSeconds;
    const int frame = static_cast<int>(view->currentFrame()) + 1;
    if (frame != _currentFrame)
        _frameTime = 0.0f;
    if (_controls)
        _controls->setCurrentFrame(frame);
    if (!_isPaused && _repeatStyle != kRepeatItem) {
        const bool ended = (_ifLastFrame && frame == _totalFrames) || (_ifFrameDecrease && frame < _currentFrame)
            || (_ifOneFrame && _frameTime >= _ifOneFrameTime);
        if (ended && _controls && _controls->canGotoNext()) {
            stopUpdateTimer();
            _currentFrame = 0;
            nextAction(nullptr);
            return;
        }
    }
    _currentFrame = frame;
}

// The movie's engine ended (it crashed, was killed or stopped answering): as after a movie that failed to load,
// and the playlist moves on where a finished movie would.
void PlayerController::movieStopped()
{
    stopUpdateTimer();
    _isLoaded = false;
    _currentFrame = 0;
    if (_controls)
        _controls->setPlayed(false);
    // Whether there is a next movie, as the playlist stands now.
    updateNextPrevState();
    if (!_isPaused && _repeatStyle != kRepeatItem && _controls && _controls->canGotoNext())
        nextAction(nullptr);
    updateNextPrevState();
}

void PlayerController::playAction(QObject*)
{
    if (_isLoaded) {
        if (NSFlashPluginView* view = flashView()) {
            if (_isPaused)
                view->play();
            else
                view->stopPlay();
        }
        _isPaused = !_isPaused;
        if (_controls)
            _controls->setPlayed(!_isPaused);
        return;
    }
    QString candidate;
    if (!_curPlayed.isNull() && _plist.contains(_curPlayed))
        candidate = _curPlayed;
    else if (_advanced)
        candidate = _advanced->selectedFile();
    if (!candidate.isNull() && loadMovie(candidate))
        makeCurrent(candidate);
    updateNextPrevState();
}

void PlayerController::rewindAction(QObject*)
{
    if (!_isLoaded)
        return;
    _currentFrame = 0;
    if (NSFlashPluginView* view = flashView()) {
        view->rewind();
        view->play();
    }
    _isPaused = false;
    if (_controls)
        _controls->setPlayed(true);
}

// A frame step or a move of the frame slider pauses the movie; the play button then shows "play" again, whichever
// control or shortcut asked for the step.
void PlayerController::pauseForFrameStep()
{
    _isPaused = true;
    if (_controls)
        _controls->setPlayed(false);
}

void PlayerController::forwardAction(QObject*)
{
    if (!_isLoaded)
        return;
    pauseForFrameStep();
    if (NSFlashPluginView* view = flashView())
        view->forward();
}

void PlayerController::backAction(QObject*)
{
    if (!_isLoaded)
        return;
    pauseForFrameStep();
    if (NSFlashPluginView* view = flashView())
        view->back();
}

void PlayerController::gotoFrameSliderAction(QObject* slider)
{
    if (!_isLoaded)
        return;
    pauseForFrameStep();
    if (NSFlashPluginView* view = flashView())
        view->gotoFrame(integerValue(slider) - 1);
}

void PlayerController::qualityAction(QObject* sender)
{
    const std::optional<int> tag = menuTag(sender);
    if (!tag)
        return;
    _quality = *tag == kTagQualityLow ? kQualityLow : *tag == kTagQualityMedium ? kQualityMedium : kQualityHigh;
    if (NSFlashPluginView* view = flashView())
        view->setFlashQuality(_quality);
}

void PlayerController::zoomSliderAction(QObject* slider)
{
    if (NSFlashPluginView* view = flashView())
        view->setZoomPercent(integerValue(slider));
}

void PlayerController::setOriginalSizeAction(QObject*)
{
    NSFlashPluginView* view = flashView();
    if (!view)
        return;
    view->setOriginalSize();
    if (_controls && _isLoaded)
        _controls->setZoomPrecent(view->zoomPercent());
}

void PlayerController::setFitSize(QObject*)
{
    NSFlashPluginView* view = flashView();
    if (!view)
        return;
    view->setFitSize();
    if (_controls && _isLoaded)
        _controls->setZoomPrecent(view->zoomPercent());
}

void PlayerController::startDragAction(QObject*)
{
    NSFlashPluginView* view = flashView();
    if (!view)
        return;
    view->setCanDrag(!view->canDrag());
    // The panel's move button and the menu's mark follow the mode, whichever of them changed it.
    if (_controls)
        _controls->setDragState(view->canDrag());
}

bool PlayerController::isMovieDragging() const
{
    const NSFlashPluginView* view = flashView();
    return view && view->canDrag();
}

// ---------------------------------------------------------------------------------------------------------------
// Menu commands and validation

QWidget* PlayerController::movieWindow() const
{
    return _movie ? _movie->window() : nullptr;
}

QWidget* PlayerController::controlsWindow() const
{
    return _controls ? _controls->window() : nullptr;
}

QWidget* PlayerController::advancedWindow() const
{
    return _advanced ? _advanced->window() : nullptr;
}

bool PlayerController::isOrdinaryWindow(const QWidget* window) const
{
    return window && (window == movieWindow() || window == advancedWindow() || (_trace && window == _trace->window()));
}

QWidget* PlayerController::keyWindow() const
{
    return QApplication::activeWindow();
}

bool PlayerController::validateMenuItem(QAction* item)
{
    if (!item)
        return false;
    const int tag = item->data().toInt();
    QWidget* key = keyWindow();
    const bool movieKey = key && key == movieWindow();
    const bool advancedKey = key && key == advancedWindow();
    // The trace window is an ordinary window of its own: Close, Minimize and Zoom act on it too.
    const bool traceKey = key && _trace && key == _trace->window();
    switch (tag) {
    case kTagClearPlayList:
        return !_plist.isEmpty();
    case kTagRewind:
    case kTagFrameForward:
    case kTagFrameBack:
        return _isLoaded;
    case kTagPlayPause:
        item->setChecked(_isLoaded && !_isPaused);
        return _isLoaded || (_controls && _controls->canPlay());
    case kTagNext:
        return _controls && _controls->canGotoNext();
    case kTagPrevious:
        return _controls && _controls->canGotoPrev();
    case kTagClose:
        item->setText(movieKey ? tr("Close Viewer") : advancedKey ? tr("Close Advanced Options") : tr("Close"));
        return movieKey || advancedKey || traceKey;
    case kTagMinimize:
    case kTagZoomWindow:
        return movieKey || advancedKey || traceKey;
    case kTagShowControls:
        item->setText(_isControlsVisible ? tr("Hide Movie Controls") : tr("Show Movie Controls"));
        return true;
    case kTagZoomDrawer:
        item->setText(_isControlsExpanded ? tr("Close Zoom Drawer") : tr("Open Zoom Drawer"));
        return _isControlsVisible;
    case kTagViewer:
        item->setChecked(movieKey);
        return true;
    case kTagPlayList:
        item->setChecked(advancedKey && _advanced->visibleTab() == kTabPlayList);
        return true;
    case kTagMovieInfo:
        item->setChecked(_isLoaded && advancedKey && _advanced->visibleTab() == kTabInfo);
        return _isLoaded;
    case kTagQualityLow:
    case kTagQualityMedium:
    case kTagQualityHigh:
        item->setChecked(tag - kTagQualityLow == _quality);
        return _isLoaded;
    case kTagMovieDragging:
        item->setChecked(isMovieDragging());
        return true;
    case kTagSaveFrame:
        return _isLoaded;
    case kTagTrace:
        item->setChecked(_trace && _trace->window()->isVisible());
        return true;
    default:
        return true;
    }
}

void PlayerController::closeWindowAction(QObject*)
{
    QWidget* key = keyWindow();
    if (isOrdinaryWindow(key))
        key->close();
}

void PlayerController::minimizeWindowAction(QObject*)
{
    QWidget* key = keyWindow();
    if (isOrdinaryWindow(key))
        key->showMinimized();
}

void PlayerController::zoomWindowAction(QObject*)
{
    QWidget* key = keyWindow();
    if (isOrdinaryWindow(key)) {
        if (key->isMaximized())
            key->showNormal();
        else
            key->showMaximized();
    }
}

void PlayerController::openFileAction(QObject*)
{
    auto* panel = new QFileDialog(movieWindow());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(tr("SWF movies (%1)").arg(QLatin1String(kMovieFileFilter)));
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        openFileDidEndSelector(panel->selectedFiles(), result == QDialog::Accepted ? kReturnOK : kReturnCancel);
    });
    panel->open();
}

void PlayerController::openFileDidEndSelector(const QStringList& paths, int returnCode)
{
    if (returnCode != kReturnOK || paths.isEmpty())
        return;
    const QString& path = paths.first();
    if (loadMovie(path)) {
        if (_controls)
            _controls->setCanPlay(true);
        if (_advanced)
            _advanced->setCurrentFile(path);
        noteRecentDocument(path);
    }
    if (_advanced)
        _advanced->reloadPlayList();
}

void PlayerController::showViewerAction(QObject*)
{
    if (QWidget* movie = movieWindow())
        showAndRaise(movie);
}

void PlayerController::attachZoomView(bool attach)
{
    if (_movie)
        _movie->setZoomView(attach && _controls ? _controls->zoomView() : nullptr);
}

void PlayerController::showControlsAction(QObject*)
{
    if (!_controls)
        return;
    QWidget* controls = _controls->window();
    if (_isControlsVisible) {
        controls->close();
        _isControlsVisible = false;
        attachZoomView(false);
    } else {
        if (_isControlsExpanded)
            attachZoomView(true);
        controls->show();
        _isControlsVisible = true;
        controls->raise();
    }
    _controls->setWindowVisible(_isControlsVisible);
}

void PlayerController::expandControlsAction(QObject*)
{
    if (_controls)
        _controls->expandControlsAction(nullptr);
}

void PlayerController::expandControls(QObject*)
{
    attachZoomView(true);
    _isControlsExpanded = true;
}

void PlayerController::constrictControls(QObject*)
{
    attachZoomView(false);
    _isControlsExpanded = false;
}

void PlayerController::toggleAdvanced(int tab)
{
    if (!_advanced)
        return;
    QWidget* advanced = _advanced->window();
    if (_isAdvancedVisible && advanced->isVisible()) {
        if (_visibleAdvancedTab == tab && keyWindow() == advanced) {
            advanced->close();
            _isAdvancedVisible = false;
            return;
        }
        if (_visibleAdvancedTab != tab) {
            _advanced->setVisibleTab(tab);
            _visibleAdvancedTab = tab;
        }
    } else {
        advanced->show();
        _isAdvancedVisible = true;
        _advanced->setVisibleTab(tab);
        _visibleAdvancedTab = tab;
    }
    showAndRaise(advanced);
}

void PlayerController::showPlayListAction(QObject*)
{
    toggleAdvanced(kTabPlayList);
}

void PlayerController::showSWFInfoAction(QObject*)
{
    toggleAdvanced(kTabInfo);
}

void PlayerController::showAboutAction(QObject*)
{
    AboutController about;
    QDialog* window = about.window();
    window->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->setWindowModality(Qt::ApplicationModal);
    window->exec();
    window->close();
}

void PlayerController::showPrefsAction(QObject*)
{
    if (_prefs)
        return; // the sheet is already up
    _prefs = std::make_unique<PreferencesController>(movieWindow());
    PreferencesController* prefs = _prefs.get();
    prefs->setImageInterpolation(_zoomImageInterpolation);
    prefs->setImageUpdateSpeed(_zoomImageUpdateSpeed);
    prefs->setQuality(_defaultQuality);
    prefs->setEnableSecurity(_enableSecuriry);
    prefs->setAllowURL(_allowURL);
    prefs->setIfLastFrame(_ifLastFrame);
    prefs->setIfDecreaseFrame(_ifFrameDecrease);
    prefs->setIfOneFrame(_ifOneFrame);
    prefs->setIfOneFrameTime(static_cast<int>(_ifOneFrameTime));
    prefs->setAutoPlay(_autoPlay);
    connect(prefs->window(), &QDialog::finished, this,
        [this, prefs](int result) { preferncesDidEndSelector(prefs, result); });
    prefs->window()->open();
}

void PlayerController::preferncesDidEndSelector(PreferencesController* prefs, int returnCode)
{
    if (!prefs)
        return;
    // Cancel leaves the settings as they were; only OK applies the sheet's values.
    if (returnCode == kReturnOK) {
        NSFlashPluginView* view = flashView();
        _zoomImageInterpolation = prefs->imageInterpolation();
        if (_controls)
            _controls->setImageInterpolation(_zoomImageInterpolation);
        _zoomImageUpdateSpeed = prefs->imageUpdateSpeed();
        if (view)
            view->setSnapShotFrequency(_zoomImageUpdateSpeed);
        _defaultQuality = prefs->quality();
        _quality = _defaultQuality;
        if (view)
            view->setFlashQuality(_defaultQuality);
        _enableSecuriry = prefs->enableSecurity();
        if (view)
            view->setEnabledSecurity(_enableSecuriry);
        _allowURL = prefs->allowURL();
        if (view) {
            view->setGetURL(_allowURL);
            view->setPostURL(_allowURL);
        }
        _ifLastFrame = prefs->ifLastFrame();
        _ifFrameDecrease = prefs->ifDecreaseFrame();
        _ifOneFrame = prefs->ifOneFrame();
        _ifOneFrameTime = static_cast<float>(prefs->ifOneFrameTime());
        _autoPlay = prefs->autoPlay();
    }
    prefs->window()->hide();
    if (_prefs.get() == prefs) {
        // This runs inside the sheet's own signal: the controller goes once control is back in the event loop.
        _prefs.release()->deleteLater();
    }
}

void PlayerController::controlsWillClose()
{
    _isControlsVisible = false;
    // However the panel was closed, the volume is no longer polled for it.
    if (_controls)
        _controls->setWindowVisible(false);
}

void PlayerController::advancedWillClose()
{
    _isAdvancedVisible = false;
}

void PlayerController::advancedChangeTab()
{
    if (_advanced)
        _visibleAdvancedTab = _advanced->visibleTab();
}

void PlayerController::saveFrameAction(QObject*)
{
    if (!_isLoaded)
        return;
    const QString atZoom = tr("PNG picture at the current zoom (*.png)");
    const QString ownSize = tr("PNG picture at the movie's own size (*.png)");
    auto* panel = new QFileDialog(movieWindow());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setNameFilters({ atZoom, ownSize });
    panel->setDefaultSuffix(QStringLiteral("png"));
    const QFileInfo movie(_loadedPath);
    const long frame = flashView() ? flashView()->currentFrame() + 1 : 1;
    panel->setDirectory(movie.absolutePath());
    panel->selectFile(tr("%1 frame %2.png").arg(movie.completeBaseName()).arg(frame));
    connect(panel, &QFileDialog::finished, this, [this, panel, ownSize](int result) {
        const QStringList paths = panel->selectedFiles();
        if (result == QDialog::Accepted && !paths.isEmpty())
            saveFramePicture(paths.first(), panel->selectedNameFilter() == ownSize);
    });
    panel->open();
}

bool PlayerController::saveFramePicture(const QString& path, bool ownSize)
{
    NSFlashPluginView* view = flashView();
    if (!_isLoaded || !view || path.isEmpty())
        return false;
    if (ownSize) {
        const long frame = view->currentFrame() + 1;
        return writeOwnSizeFrame(_loadedPath, static_cast<int>(std::max(frame, 1L)), _quality, path);
    }
    // As the movie window shows it: the view's picture, zoom and pan included.
    const QImage shown = view->snapshot().convertToFormat(QImage::Format_ARGB32);
    return !shown.isNull() && shown.save(path, "PNG");
}

void PlayerController::showTraceAction(QObject*)
{
    if (!_trace)
        return;
    QWidget* window = _trace->window();
    if (window->isVisible() && keyWindow() == window)
        window->close();
    else
        showAndRaise(window);
}

void PlayerController::traceLine(const QString& line)
{
    if (_trace)
        _trace->appendTrace(line);
}

void PlayerController::aboutOptimizer(QObject*)
{
    if (openUrl)
        openUrl(QUrl(QLatin1String(kOptimizerPageUrl)));
}

void PlayerController::aboutConverter(QObject*)
{
    if (openUrl)
        openUrl(QUrl(QLatin1String(kConverterPageUrl)));
}
