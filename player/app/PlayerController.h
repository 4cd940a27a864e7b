// PlayerController: the application's one central controller. It owns the settings, the playlist with its
// shuffle bookkeeping, the playback state of the current movie and the three long-lived window controllers;
// every panel and the menu bar send their commands here, and the panels are told the new state through their
// setters. Settings are read once at launch and written once at quit.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class AdvancedController;
class AboutController;
class ControlsController;
class CSWFInfo;
class MainMenu;
class MovieController;
class NSFlashPluginView;
class PreferencesController;
class QAction;
class QSettings;
class QWidget;
class RecentDocuments;
class TraceController;

// The keys of the user settings, spelled as stored (including "Visisble").
inline constexpr char ZoomImageInterpolationKey[] = "ZoomImageInterpolation";
inline constexpr char ZoomImageUpdateSpeedKey[] = "ZoomImageUpdateSpeed";
inline constexpr char DefaultFlashQualityKey[] = "DefaultFlashQuality";
inline constexpr char EnableFlashSecurityKey[] = "EnableFlashSecurity";
inline constexpr char AllowURLKey[] = "AllowURL";
inline constexpr char LastFrameKey[] = "LastFrame";
inline constexpr char FrameDecreaseKey[] = "FrameDecrease";
inline constexpr char FrameSecKey[] = "FrameSec";
inline constexpr char FrameTimeKey[] = "FrameTime";
inline constexpr char PlayListKey[] = "PlayList";
inline constexpr char CurrentlyPlayedFileKey[] = "CurrentlyPlayedFile";
inline constexpr char AutoPlayKey[] = "AutoPlay";
inline constexpr char RepeatStyleKey[] = "RepeatStyle";
inline constexpr char IsShuffleKey[] = "IsShuffle";
inline constexpr char IsMovieWindowVisisbleKey[] = "IsMovieWindowVisisble";
inline constexpr char IsControlsWindowVisisbleKey[] = "IsControlsWindowVisisble";
inline constexpr char IsControlsWindowExpandedKey[] = "IsControlsWindowExpanded";
inline constexpr char IsAdvancedWindowVisisbleKey[] = "IsAdvancedWindowVisisble";
inline constexpr char VisibleAdvancedTabKey[] = "VisibleAdvancedTab";

// Window descriptions, which are also the names the window frames are saved under.
inline constexpr char kMovieWindowName[] = "MovieWindow";
inline constexpr char kControlsWindowName[] = "ControlsWindow";
inline constexpr char kAdvancedWindowName[] = "AdvancedWindow";

// Repeat styles.
inline constexpr int kRepeatAll = 0;
inline constexpr int kRepeatOnce = 1;
inline constexpr int kRepeatItem = 2;

// Qualities, and the tags of the quality menu items.
inline constexpr int kQualityLow = 0;
inline constexpr int kQualityMedium = 1;
inline constexpr int kQualityHigh = 2;
inline constexpr int kTagQualityLow = 220;
inline constexpr int kTagQualityMedium = 221;
inline constexpr int kTagQualityHigh = 222;

// Tabs of the playlist/info panel.
inline constexpr int kTabPlayList = 0;
inline constexpr int kTabInfo = 1;

// Menu item tags that validation tells apart.
inline constexpr int kTagPlaybackMenu = 2; // its submenu doubles as the movie's context menu
inline constexpr int kTagClearPlayList = 12;
inline constexpr int kTagRewind = 20;
inline constexpr int kTagFrameForward = 21;
inline constexpr int kTagSize = 22;
inline constexpr int kTagPlayPause = 23;
inline constexpr int kTagFrameBack = 24;
inline constexpr int kTagNext = 25;
inline constexpr int kTagPrevious = 26;
inline constexpr int kTagClose = 30;
inline constexpr int kTagMinimize = 31;
inline constexpr int kTagZoomWindow = 32;
inline constexpr int kTagShowControls = 33;
inline constexpr int kTagZoomDrawer = 34;
inline constexpr int kTagViewer = 35;
inline constexpr int kTagPlayList = 36;
inline constexpr int kTagMovieInfo = 37;
inline constexpr int kTagMovieDragging = 28;
inline constexpr int kTagSaveFrame = 18;
inline constexpr int kTagTrace = 39;

// The open panels' return codes.
inline constexpr int kReturnOK = 1;
inline constexpr int kReturnCancel = 0;

class PlayerController : public QObject
{
    Q_OBJECT
public:
    // Settings come from the user's store, or from `settingsFile` (an INI file) when one is given.
    explicit PlayerController(const QString& settingsFile = {}, QObject* parent = nullptr);
    ~PlayerController() override;

    // Application delegate.
    void applicationWillFinishLaunching();
    bool applicationOpenFile(const QString& path);
    void applicationDidFinishLaunching();
    void applicationWillBecomeActive();
    void applicationWillResignActive();
    void applicationWillTerminate();
    // Ends the application: the settings are written, then the event loop is left.
    void terminate();
    // A movie's fscommand: "quit" ends the player, "fullscreen" true/false fills the screen or leaves it,
    // "allowscale" false shows the movie at its own size; others are ignored.
    void movieCommand(const QString& command, const QString& args);

    void autoPlayAction(QObject* sender);

    // Playlist and navigation.
    void addFileToList(const QString& path, bool reloadData);
    void addFilesToList(const QStringList& paths);
    void addFilesAction(QObject* sender);
    void addFilesDidEndSelector(const QStringList& paths, int returnCode);
    void removeFilesAction(QObject* sender);
    void clearPlayListAction(QObject* sender);
    void playListDoubleClick(QObject* sender);
    void shuffleAction(QObject* sender);
    void repeatAction(QObject* sender);
    void nextAction(QObject* sender);
    void previousAction(QObject* sender);
    void updateNextPrevState();

    // Loading and playback.
    bool loadMovie(const QString& path);
    void updateSlider(QObject* timer);
    void movieStopped();
    void playAction(QObject* sender);
    void rewindAction(QObject* sender);
    void forwardAction(QObject* sender);
    void backAction(QObject* sender);
    void gotoFrameSliderAction(QObject* slider);
    void qualityAction(QObject* sender);
    void zoomSliderAction(QObject* slider);
    void setOriginalSizeAction(QObject* sender);
    void setFitSize(QObject* sender);
    void startDragAction(QObject* sender);
    bool isMovieDragging() const;
    // Save Frame as Picture: asks where, then writes the shown frame as a PNG.
    void saveFrameAction(QObject* sender);
    // Writes the frame the movie view shows as a PNG: as shown (at the current zoom) or at the movie's own size.
    bool saveFramePicture(const QString& path, bool ownSize);
    // The trace output window: shown or hidden; and the lines the movie traces, which it collects.
    void showTraceAction(QObject* sender);
    void traceLine(const QString& line);
    TraceController* traceController() const { return _trace.get(); }

    // Menu commands and validation.
    bool validateMenuItem(QAction* item);
    void closeWindowAction(QObject* sender);
    void minimizeWindowAction(QObject* sender);
    void zoomWindowAction(QObject* sender);
    void openFileAction(QObject* sender);
    void openFileDidEndSelector(const QStringList& paths, int returnCode);
    void showViewerAction(QObject* sender);
    void showControlsAction(QObject* sender);
    void expandControlsAction(QObject* sender);
    void expandControls(QObject* sender);
    void constrictControls(QObject* sender);
    void showPlayListAction(QObject* sender);
    void showSWFInfoAction(QObject* sender);
    void showAboutAction(QObject* sender);
    void showPrefsAction(QObject* sender);
    void preferncesDidEndSelector(PreferencesController* prefs, int returnCode);
    void controlsWillClose();
    void advancedWillClose();
    void advancedChangeTab();
    void aboutOptimizer(QObject* sender);
    void aboutConverter(QObject* sender);

    // The window controllers, once launching has finished.
    MovieController* movieController() const { return _movie.get(); }
    ControlsController* controlsController() const { return _controls.get(); }
    AdvancedController* advancedController() const { return _advanced.get(); }
    MainMenu* mainMenu() const { return _menu.get(); }
    PreferencesController* preferencesController() const { return _prefs.get(); }

    // What the rest of the application and the tests look at.
    const QStringList& playList() const { return _plist; }
    const QString& currentFile() const { return _curPlayed; }
    const std::optional<QStringList>& toPlay() const { return _toPlay; }
    const std::optional<QStringList>& played() const { return _played; }
    int repeatStyle() const { return _repeatStyle; }
    bool isShuffle() const { return _isShuffle; }
    bool isLoaded() const { return _isLoaded; }
    bool isPaused() const { return _isPaused; }
    int quality() const { return _quality; }
    int currentFrame() const { return _currentFrame; }
    int totalFrames() const { return _totalFrames; }
    float frameTime() const { return _frameTime; }
    bool isUpdating() const { return _timerUpdateSlider.isActive(); }
    bool isAutoPlayWaiting() const { return !_firstAdded.isNull(); }
    bool isControlsFloating() const { return _controlsFloating; }
    const CSWFInfo* movieInfo() const { return _movieInfo.get(); }

    struct Settings {
        int zoomImageInterpolation = 0;
        int zoomImageUpdateSpeed = 3;
        int defaultQuality = kQualityHigh;
        bool enableSecurity = false;
        bool allowURL = true;
        bool ifLastFrame = true;
        bool ifFrameDecrease = true;
        bool ifOneFrame = true;
        float ifOneFrameTime = 10.0f;
        bool autoPlay = true;
        bool isMovieVisible = true;
        bool isControlsVisible = true;
        bool isControlsExpanded = true;
        bool isAdvancedVisible = true;
        int visibleAdvancedTab = kTabPlayList;
    };
    // The settings fields as they stand (the playlist, the current entry, repeat and shuffle apart).
    Settings settings() const;

    // Opens web pages; replaceable so that tests open nothing.
    std::function<bool(const QUrl&)> openUrl;
    // Leaves the event loop at the end of terminate(); replaceable so that tests keep running.
    std::function<void()> quitApplication;

    static QStringList shuffledCopy(const QStringList& list);
    static QString lastPathComponent(const QString& path);

private:
    NSFlashPluginView* flashView() const;
    QWidget* keyWindow() const;
    // The movie window, the playlist panel or the trace window: the windows that Close, Minimize and Zoom act on.
    bool isOrdinaryWindow(const QWidget* window) const;
    QWidget* movieWindow() const;
    QWidget* controlsWindow() const;
    QWidget* advancedWindow() const;
    std::unique_ptr<QSettings> openSettings() const;
    void readSettings(QSettings& settings);
    void writeSettings(QSettings& settings);
    void makeCurrent(const QString& path);
    void stopUpdateTimer();
    void setControlsFloating(bool floating);
    void toggleAdvanced(int tab);
    void attachZoomView(bool attach);
    void noteRecentDocument(const QString& path);
    void pauseForFrameStep();

    QString _settingsFile;
    bool _terminated = false;
    bool _controlsFloating = false;

    std::unique_ptr<MovieController> _movie;
    std::unique_ptr<ControlsController> _controls;
    std::unique_ptr<AdvancedController> _advanced;
    std::unique_ptr<MainMenu> _menu;
    std::unique_ptr<TraceController> _trace;
    std::unique_ptr<CSWFInfo> _movieInfo;
    int _zoomImageInterpolation = 0;
    int _zoomImageUpdateSpeed = 3;
    int _defaultQuality = kQualityHigh;
    bool _enableSecuriry = false;
    bool _allowURL = true;
    bool _ifLastFrame = true;
    bool _ifFrameDecrease = true;
    bool _ifOneFrame = true;
    float _ifOneFrameTime = 10.0f;
    QStringList _plist;
    QString _curPlayed; // null when there is no current entry
    QString _loadedPath; // the movie the view holds; null when none
    bool _autoPlay = true;
    int _repeatStyle = kRepeatOnce;
    bool _isShuffle = false;
    bool _isMovieVisible = true;
    bool _isControlsVisible = true;
    bool _isControlsExpanded = true;
    bool _isAdvancedVisible = true;
    int _visibleAdvancedTab = kTabPlayList;
    std::optional<QStringList> _toPlay; // present exactly while shuffle is on
    std::optional<QStringList> _played;
    int _quality = kQualityHigh;
    bool _isLoaded = false;
    bool _isPaused = false;
    int _currentFrame = 0;
    int _totalFrames = 0;
    float _frameTime = 0.0f;
    QTimer _timerUpdateSlider;
    QPointer<QTimer> _addTimer;
    QString _firstAdded; // null when no file waits for auto-play

    std::unique_ptr<PreferencesController> _prefs;
    std::unique_ptr<RecentDocuments> _recent;
};
