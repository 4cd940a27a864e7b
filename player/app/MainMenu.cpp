#include "MainMenu.h"

#include "MovieController.h"
#include "PlayerController.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>

namespace {

// Tags of the items that validation passes over (any tag outside its table is always enabled).
constexpr int kTagOpen = 10;
constexpr int kTagAddFiles = 11;
constexpr int kTagPreferences = 13;
constexpr int kTagQuit = 14;
constexpr int kTagAbout = 15;
constexpr int kTagOptimizerPage = 16;
constexpr int kTagConverterPage = 17;
constexpr int kTagFullScreen = 38;

} // namespace

MainMenu::MainMenu(PlayerController* app, QMenuBar* bar)
    : _app(app)
    , _bar(bar)
{
    QMenu* file = addMenu(tr("&File"), 1);
    addItem(file, tr("&Open..."), kTagOpen, &PlayerController::openFileAction, QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(file, tr("&Add Files to Playlist..."), kTagAddFiles, &PlayerController::addFilesAction);
    addItem(file, tr("Clear Play&list"), kTagClearPlayList, &PlayerController::clearPlayListAction);
    file->addSeparator();
    addItem(file, tr("&Save Frame as Picture..."), kTagSaveFrame, &PlayerController::saveFrameAction,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    file->addSeparator();
    addItem(file, tr("Close"), kTagClose, &PlayerController::closeWindowAction, QKeySequence(Qt::CTRL | Qt::Key_W));
    file->addSeparator();
    QAction* prefs = addItem(file, tr("&Preferences..."), kTagPreferences, &PlayerController::showPrefsAction,
        QKeySequence(Qt::CTRL | Qt::Key_Comma));
    prefs->setMenuRole(QAction::PreferencesRole);
    QAction* quit = addItem(
        file, tr("&Quit"), kTagQuit, [](PlayerController* c, QObject*) { c->terminate(); },
        QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* playback = addMenu(tr("&Playback"), kTagPlaybackMenu);
    addItem(
        playback, tr("Play/Pause"), kTagPlayPause, &PlayerController::playAction, QKeySequence(Qt::CTRL | Qt::Key_P));
    addItem(playback, tr("&Rewind"), kTagRewind, &PlayerController::rewindAction, QKeySequence(Qt::CTRL | Qt::Key_R));
    addItem(playback, tr("Frame &Forward"), kTagFrameForward, &PlayerController::forwardAction,
        QKeySequence(Qt::CTRL | Qt::Key_Right));
    addItem(playback, tr("Frame &Back"), kTagFrameBack, &PlayerController::backAction,
        QKeySequence(Qt::CTRL | Qt::Key_Left));
    playback->addSeparator();
    addItem(playback, tr("&Next Movie"), kTagNext, &PlayerController::nextAction,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right));
    addItem(playback, tr("Pre&vious Movie"), kTagPrevious, &PlayerController::previousAction,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left));
    playback->addSeparator();
    QMenu* quality = playback->addMenu(tr("&Quality"));
    connect(quality, &QMenu::aboutToShow, this, [this, quality] { validateMenu(quality); });
    addItem(quality, tr("&Low"), kTagQualityLow, &PlayerController::qualityAction);
    addItem(quality, tr("&Medium"), kTagQualityMedium, &PlayerController::qualityAction);
    addItem(quality, tr("&High"), kTagQualityHigh, &PlayerController::qualityAction);
    addItem(playback, tr("&Actual Size"), kTagSize, &PlayerController::setOriginalSizeAction,
        QKeySequence(Qt::CTRL | Qt::Key_1));
    addItem(
        playback, tr("Fi&t to Window"), kTagSize, &PlayerController::setFitSize, QKeySequence(Qt::CTRL | Qt::Key_0));
    addItem(playback, tr("Movie &Dragging"), kTagMovieDragging, &PlayerController::startDragAction);

    QMenu* window = addMenu(tr("&Window"), 3);
    addItem(window, tr("&Minimize"), kTagMinimize, &PlayerController::minimizeWindowAction,
        QKeySequence(Qt::CTRL | Qt::Key_M));
    addItem(window, tr("&Zoom"), kTagZoomWindow, &PlayerController::zoomWindowAction);
    QAction* fullScreen = addItem(
        window, tr("&Full Screen"), kTagFullScreen,
        [](PlayerController* c, QObject*) {
            if (c->movieController())
                c->movieController()->toggleFullScreen();
        },
        QKeySequence(Qt::Key_F11));
    fullScreen->setShortcutContext(Qt::WindowShortcut);
    window->addSeparator();
    addItem(window, tr("&Viewer"), kTagViewer, &PlayerController::showViewerAction);
    addItem(window, tr("Hide Movie Controls"), kTagShowControls, &PlayerController::showControlsAction);
    addItem(window, tr("Close Zoom Drawer"), kTagZoomDrawer, &PlayerController::expandControlsAction);
    addItem(window, tr("&Playlist"), kTagPlayList, &PlayerController::showPlayListAction,
        QKeySequence(Qt::CTRL | Qt::Key_L));
    addItem(window, tr("Movie &Information"), kTagMovieInfo, &PlayerController::showSWFInfoAction,
        QKeySequence(Qt::CTRL | Qt::Key_I));
    addItem(window, tr("&Trace Output"), kTagTrace, &PlayerController::showTraceAction);

    QMenu* help = addMenu(tr("&Help"), 4);
    QAction* about = addItem(help, tr("&About Reelfinch"), kTagAbout, &PlayerController::showAboutAction);
    about->setMenuRole(QAction::AboutRole);
    addItem(help, tr("Reelfinch Optimizer on the Web"), kTagOptimizerPage, &PlayerController::aboutOptimizer);
    addItem(help, tr("Reelfinch Converter on the Web"), kTagConverterPage, &PlayerController::aboutConverter);

    // Shortcuts are matched after the focus object had its say; validating then gives each shortcut the
    // enabled state its item would show.
    qApp->installEventFilter(this);
}

MainMenu::~MainMenu()
{
    qApp->removeEventFilter(this);
}

QMenu* MainMenu::addMenu(const QString& title, int tag)
{
    QMenu* menu = _bar->addMenu(title);
    menu->menuAction()->setData(tag);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
    return menu;
}

template <class Command>
QAction* MainMenu::addItem(QMenu* menu, const QString& title, int tag, Command command, const QKeySequence& shortcut)
{
    QAction* item = menu->addAction(title);
    item->setData(tag);
    item->setShortcut(shortcut);
    // Items stay reachable by their shortcuts from every window of the application.
    item->setShortcutContext(Qt::ApplicationShortcut);
    switch (tag) {
    case kTagPlayPause:
    case kTagViewer:
    case kTagPlayList:
    case kTagMovieInfo:
    case kTagQualityLow:
    case kTagQualityMedium:
    case kTagQualityHigh:
    case kTagMovieDragging:
    case kTagTrace:
        item->setCheckable(true);
        break;
    default:
        break;
    }
    connect(item, &QAction::triggered, this, [this, item, command] {
        if (!_app)
            return;
        // A checkable item toggles its own mark when chosen; the mark is the controller's to set.
        if (item->isCheckable())
            _app->validateMenuItem(item);
        std::invoke(command, _app.data(), item);
        if (_app)
            validateAll();
    });
    return item;
}

void MainMenu::addMenuBar(QMenuBar* bar)
{
    if (!bar || bar == _bar)
        return;
    // The same menus, so each item has one state and one shortcut whichever window shows it.
    for (QAction* top : _bar->actions()) {
        if (top->menu())
            bar->addMenu(top->menu());
    }
}

QAction* MainMenu::itemWithTag(int tag) const
{
    for (QAction* item : items()) {
        if (item->data().toInt() == tag)
            return item;
    }
    return nullptr;
}

QMenu* MainMenu::submenuWithTag(int tag) const
{
    for (QAction* item : _bar->actions()) {
        if (item->data().toInt() == tag && item->menu())
            return item->menu();
    }
    return nullptr;
}

QList<QAction*> MainMenu::items() const
{
    QList<QAction*> all;
    QList<QMenu*> menus;
    for (QAction* top : _bar->actions()) {
        if (top->menu())
            menus.append(top->menu());
    }
    while (!menus.isEmpty()) {
        QMenu* menu = menus.takeFirst();
        for (QAction* item : menu->actions()) {
            if (item->menu())
                menus.append(item->menu());
            else if (!item->isSeparator())
                all.append(item);
        }
    }
    return all;
}

void MainMenu::validateMenu(QMenu* menu)
{
    if (!_app)
        return;
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator() && !item->menu())
            item->setEnabled(_app->validateMenuItem(item));
    }
}

void MainMenu::validateAll()
{
    if (!_app)
        return;
    for (QAction* item : items())
        item->setEnabled(_app->validateMenuItem(item));
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride)
        validateAll();
    return QObject::eventFilter(watched, event);
}
