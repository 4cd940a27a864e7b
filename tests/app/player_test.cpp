// The player controller with its real windows and the real movie view: settings, playlist navigation,
// availability, auto-play, loading, the end rules and menu validation.
#include "AdvancedController.h"
#include "AppTestSupport.h"
#include "ControlsController.h"
#include "MainMenu.h"
#include "MovieController.h"
#include "SWFInfo.h"
#include "ui_AdvancedWindow.h"
#include "ui_ControlsWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QSet>

#include <map>

namespace {

// A repeat button in the state of the given style.
void setRepeat(PlayerController& app, int style)
{
    QCheckBox button;
    button.setTristate(true);
    button.setCheckState(style == kRepeatItem ? Qt::Checked
            : style == kRepeatOnce            ? Qt::Unchecked
                                              : Qt::PartiallyChecked);
    app.repeatAction(&button);
}

// Makes `path` the current entry the way a double click in the playlist does.
void play(PlayerController& app, const QString& path)
{
    app.advancedController()->ui()._tblPlayList->clearSelection();
    app.advancedController()->setSelectedFile(path);
    app.playListDoubleClick(nullptr);
}

bool canNext(PlayerController& app)
{
    return app.controlsController()->canGotoNext();
}

bool canPrev(PlayerController& app)
{
    return app.controlsController()->canGotoPrev();
}

void makeKey(QWidget* window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(AppTest, AnEmptyStoreGivesTheDefaultsAndQuittingWritesEveryKey)
{
    PlayerController& player = launch();
    const PlayerController::Settings s = player.settings();
    EXPECT_EQ(s.zoomImageInterpolation, 0);
    EXPECT_EQ(s.zoomImageUpdateSpeed, 3);
    EXPECT_EQ(s.defaultQuality, kQualityHigh);
    EXPECT_EQ(player.quality(), kQualityHigh);
    EXPECT_FALSE(s.enableSecurity);
    EXPECT_TRUE(s.allowURL);
    EXPECT_TRUE(s.ifLastFrame && s.ifFrameDecrease && s.ifOneFrame);
    EXPECT_EQ(s.ifOneFrameTime, 10.0f);
    EXPECT_TRUE(s.autoPlay);
    EXPECT_TRUE(s.isMovieVisible && s.isControlsVisible && s.isControlsExpanded && s.isAdvancedVisible);
    EXPECT_EQ(s.visibleAdvancedTab, kTabPlayList);
    EXPECT_TRUE(player.playList().isEmpty());
    EXPECT_TRUE(player.currentFile().isNull());
    EXPECT_EQ(player.repeatStyle(), kRepeatOnce);
    EXPECT_FALSE(player.isShuffle());
    EXPECT_FALSE(player.toPlay() || player.played());
    EXPECT_FALSE(player.isLoaded());
    EXPECT_TRUE(player.controlsController()->window()->isVisible());
    EXPECT_TRUE(player.advancedController()->window()->isVisible());
    EXPECT_FALSE(player.controlsController()->canPlay());

    player.terminate();
    EXPECT_EQ(quits, 1);
    const QSettings stored(settingsFile, QSettings::IniFormat);
    for (const char* key :
        { ZoomImageInterpolationKey, ZoomImageUpdateSpeedKey, DefaultFlashQualityKey, EnableFlashSecurityKey,
            AllowURLKey, LastFrameKey, FrameDecreaseKey, FrameSecKey, FrameTimeKey, PlayListKey, AutoPlayKey,
            RepeatStyleKey, IsShuffleKey, IsMovieWindowVisisbleKey, IsControlsWindowVisisbleKey,
            IsControlsWindowExpandedKey, IsAdvancedWindowVisisbleKey, VisibleAdvancedTabKey })
        EXPECT_TRUE(stored.contains(QLatin1String(key))) << key;
    EXPECT_FALSE(stored.contains(QLatin1String(CurrentlyPlayedFileKey)));
    EXPECT_EQ(stored.value(QLatin1String(FrameTimeKey)).toInt(), 10);
    EXPECT_EQ(stored.value(QLatin1String(RepeatStyleKey)).toInt(), kRepeatOnce);
    EXPECT_TRUE(stored.contains(QLatin1String(kMovieWindowName)));
}

TEST_F(AppTest, AFilledStoreIsReadAndComesBackUnchanged)
{
    const QString a = movie(QStringLiteral("a.swf"));
    const QString b = movie(QStringLiteral("b.swf"));
    store([&](QSettings& s) {
        s.setValue(ZoomImageInterpolationKey, 2);
        s.setValue(ZoomImageUpdateSpeedKey, 7);
        s.setValue(DefaultFlashQualityKey, kQualityLow);
        s.setValue(EnableFlashSecurityKey, true);
        s.setValue(AllowURLKey, false);
        s.setValue(LastFrameKey, false);
        s.setValue(FrameDecreaseKey, false);
        s.setValue(FrameSecKey, false);
        s.setValue(FrameTimeKey, 4);
        s.setValue(PlayListKey, QStringList { a, b, a }); // the repeated entry is taken once
        s.setValue(CurrentlyPlayedFileKey, b);
        s.setValue(AutoPlayKey, false);
        s.setValue(RepeatStyleKey, kRepeatAll);
        s.setValue(IsShuffleKey, true);
        s.setValue(IsMovieWindowVisisbleKey, false);
        s.setValue(IsControlsWindowVisisbleKey, false);
        s.setValue(IsControlsWindowExpandedKey, false);
        s.setValue(IsAdvancedWindowVisisbleKey, false);
        s.setValue(VisibleAdvancedTabKey, kTabInfo);
    });
    PlayerController& player = launch();
    const PlayerController::Settings s = player.settings();
    EXPECT_EQ(s.zoomImageInterpolation, 2);
    EXPECT_EQ(s.zoomImageUpdateSpeed, 7);
    EXPECT_EQ(player.quality(), kQualityLow);
    EXPECT_TRUE(s.enableSecurity);
    EXPECT_FALSE(s.allowURL || s.ifLastFrame || s.ifFrameDecrease || s.ifOneFrame || s.autoPlay);
    EXPECT_EQ(s.ifOneFrameTime, 4.0f);
    EXPECT_EQ(player.playList(), QStringList({ a, b }));
    EXPECT_EQ(player.currentFile(), b);
    EXPECT_EQ(player.repeatStyle(), kRepeatAll);
    // Shuffle rebuilds its order from the whole playlist at launch.
    ASSERT_TRUE(player.toPlay() && player.played());
    EXPECT_EQ(QSet<QString>(player.toPlay()->begin(), player.toPlay()->end()), QSet<QString>({ a, b }));
    EXPECT_TRUE(player.played()->isEmpty());
    EXPECT_FALSE(player.controlsController()->window()->isVisible());
    EXPECT_FALSE(player.advancedController()->window()->isVisible());
    // The movie window shows whatever its flag said; the information tab waits for a movie.
    EXPECT_TRUE(player.movieController()->window()->isVisible());
    EXPECT_EQ(player.advancedController()->visibleTab(), kTabPlayList);
    EXPECT_FALSE(player.isLoaded()); // no movie is loaded at launch

    player.terminate();
    const QSettings stored(settingsFile, QSettings::IniFormat);
    EXPECT_EQ(stored.value(PlayListKey).toStringList(), QStringList({ a, b }));
    EXPECT_EQ(stored.value(CurrentlyPlayedFileKey).toString(), b);
    EXPECT_EQ(stored.value(FrameTimeKey).toInt(), 4);
    EXPECT_EQ(stored.value(DefaultFlashQualityKey).toInt(), kQualityLow);
    EXPECT_FALSE(stored.value(IsMovieWindowVisisbleKey).toBool());
    EXPECT_TRUE(stored.value(IsShuffleKey).toBool());
    // The saved tab outlives a launch that could not show it.
    EXPECT_EQ(stored.value(VisibleAdvancedTabKey).toInt(), kTabInfo);
}

TEST_F(AppTest, AStoredCurrentEntryOutsideThePlaylistIsDroppedAndRemovedAtQuit)
{
    const QString a = movie(QStringLiteral("a.swf"));
    store([&](QSettings& s) {
        s.setValue(PlayListKey, QStringList { a });
        s.setValue(CurrentlyPlayedFileKey, missing(QStringLiteral("gone.swf")));
    });
    PlayerController& player = launch();
    EXPECT_TRUE(player.currentFile().isNull());
    EXPECT_TRUE(player.controlsController()->canPlay());
    player.terminate();
    EXPECT_FALSE(QSettings(settingsFile, QSettings::IniFormat).contains(CurrentlyPlayedFileKey));
}

TEST(Shuffle, EveryOrderIsAboutEquallyLikelyAndNothingIsLostOrRepeated)
{
    ::srandom(12345);
    const QStringList list { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
    std::map<QString, int> orders;
    constexpr int kRuns = 6000;
    for (int i = 0; i < kRuns; ++i)
        ++orders[PlayerController::shuffledCopy(list).join(QLatin1Char(','))];
    ASSERT_EQ(orders.size(), 6u);
    for (const auto& [order, count] : orders) {
        EXPECT_GT(count, kRuns / 6 * 8 / 10) << qPrintable(order);
        EXPECT_LT(count, kRuns / 6 * 12 / 10) << qPrintable(order);
    }
    EXPECT_TRUE(PlayerController::shuffledCopy({}).isEmpty());
}

TEST_F(AppTest, NextAndPreviousInPlaylistOrderFollowTheRepeatStyle)
{
    struct Case {
        int style;
        int from;
        bool next;
        int to; // -1: no entry is current
    };
    const Case cases[] = {
        { kRepeatOnce, 1, true, 2 },
        { kRepeatOnce, 2, true, 2 },
        { kRepeatItem, 2, true, 2 },
        { kRepeatAll, 2, true, 0 },
        { kRepeatOnce, 0, false, 0 },
        { kRepeatItem, 0, false, 0 },
        { kRepeatAll, 0, false, 2 },
        { kRepeatOnce, 2, false, 1 },
    };
    QStringList entries;
    for (const char* name : { "E1.swf", "E2.swf", "E3.swf" })
        entries.append(movie(QString::fromLatin1(name)));
    PlayerController& player = launch();
    player.addFilesToList(entries);
    for (const Case& c : cases) {
        setRepeat(player, c.style);
        play(player, entries.at(c.from));
        ASSERT_EQ(player.currentFile(), entries.at(c.from));
        if (c.next)
            player.nextAction(nullptr);
        else
            player.previousAction(nullptr);
        EXPECT_EQ(player.currentFile(), entries.at(c.to))
            << "style " << c.style << " from " << c.from << (c.next ? " next" : " previous");
        EXPECT_TRUE(player.isLoaded());
    }

    // A single entry in style 0 offers both ways, and Next reloads it.
    player.clearPlayListAction(nullptr);
    player.addFilesToList({ entries.at(0) });
    setRepeat(player, kRepeatAll);
    EXPECT_TRUE(canNext(player) && canPrev(player));
    player.nextAction(nullptr);
    EXPECT_EQ(player.currentFile(), entries.at(0));
}

TEST_F(AppTest, NextKeepsAnUnloadableEntryCurrentWhilePreviousOnlyMovesTheMark)
{
    const QString gone = missing(QStringLiteral("gone.swf"));
    const QString e2 = movie(QStringLiteral("E2.swf"));
    PlayerController& player = launch();
    store([](QSettings&) {});
    player.addFileToList(gone, true);
    player.addFileToList(e2, true);
    play(player, e2);
    ASSERT_EQ(player.currentFile(), e2);

    player.previousAction(nullptr);
    EXPECT_EQ(player.currentFile(), e2);
    const QColor marked = player.advancedController()->ui()._tblPlayList->item(0, 1)->foreground().color();
    EXPECT_EQ(marked, QColor::fromRgbF(0.26f, 0.35f, 0.48f, 1.0f)) << "the panel marks the candidate";

    setRepeat(player, kRepeatAll);
    player.nextAction(nullptr);
    EXPECT_EQ(player.currentFile(), gone);
}

TEST_F(AppTest, AvailabilityFollowsTheCurrentEntryOrTheSelection)
{
    QStringList entries;
    for (const char* name : { "E1.swf", "E2.swf", "E3.swf" })
        entries.append(movie(QString::fromLatin1(name)));
    PlayerController& player = launch();
    EXPECT_FALSE(canNext(player) || canPrev(player));
    for (const QString& entry : entries)
        player.addFileToList(entry, true);

    AdvancedController& panel = *player.advancedController();
    panel.ui()._tblPlayList->clearSelection();
    EXPECT_FALSE(canNext(player) || canPrev(player)) << "no current entry, no selection";
    panel.setSelectedFile(entries.at(1));
    player.updateNextPrevState();
    EXPECT_TRUE(canNext(player) && canPrev(player)) << "selection on the middle entry";

    play(player, entries.at(0));
    EXPECT_TRUE(canNext(player));
    EXPECT_FALSE(canPrev(player));
    play(player, entries.at(2));
    EXPECT_FALSE(canNext(player));
    EXPECT_TRUE(canPrev(player));

    // Removing the current entry leaves it current and playing; Next then finds nothing after it.
    panel.ui()._tblPlayList->clearSelection();
    panel.setSelectedFile(entries.at(2));
    player.removeFilesAction(nullptr);
    EXPECT_EQ(player.currentFile(), entries.at(2));
    EXPECT_TRUE(player.isLoaded());
    player.nextAction(nullptr);
    EXPECT_EQ(player.currentFile(), entries.at(2));

    // Clearing while a movie plays leaves Play enabled.
    player.clearPlayListAction(nullptr);
    EXPECT_TRUE(player.controlsController()->canPlay());
    EXPECT_FALSE(canNext(player) || canPrev(player));
}

TEST_F(AppTest, ShuffleOrderIsUsedUpPlayedBackAndRefilledInRepeatAll)
{
    QStringList entries;
    for (const char* name : { "E1.swf", "E2.swf", "E3.swf" })
        entries.append(movie(QString::fromLatin1(name)));
    PlayerController& player = launch();
    for (const QString& entry : entries)
        player.addFileToList(entry, true);
    player.shuffleAction(nullptr);
    ASSERT_TRUE(player.isShuffle() && player.toPlay());
    EXPECT_EQ(player.toPlay()->size(), 3);

    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(canNext(player));
        player.nextAction(nullptr);
        seen.append(player.currentFile());
    }
    EXPECT_EQ(QSet<QString>(seen.begin(), seen.end()).size(), 3);
    EXPECT_TRUE(player.toPlay()->isEmpty());
    EXPECT_FALSE(canNext(player));
    EXPECT_TRUE(canPrev(player));

    // Previous goes back to the second, and the third waits to be next again.
    player.previousAction(nullptr);
    EXPECT_EQ(player.currentFile(), seen.at(1));
    EXPECT_EQ(player.toPlay()->last(), seen.at(2));
    player.nextAction(nullptr);
    EXPECT_EQ(player.currentFile(), seen.at(2));

    // In repeat-all an exhausted order is rebuilt from the whole playlist.
    setRepeat(player, kRepeatAll);
    EXPECT_TRUE(canNext(player));
    player.nextAction(nullptr);
    EXPECT_TRUE(entries.contains(player.currentFile()));
    EXPECT_EQ(player.toPlay()->size(), 2);

    player.shuffleAction(nullptr);
    EXPECT_FALSE(player.toPlay() || player.played());
}

TEST_F(AppTest, FilesOpenedAtLaunchAllJoinThePlaylistAndTheFirstPlaysAfterOneSecond)
{
    const QString e1 = movie(QStringLiteral("E1.swf"));
    const QString e2 = movie(QStringLiteral("E2.swf"));
    const QString e3 = movie(QStringLiteral("E3.swf"));
    PlayerController& player = launch({ e1, e2, e3, e1 });
    EXPECT_EQ(player.playList(), QStringList({ e1, e2, e3 }));
    spin(500);
    EXPECT_FALSE(player.isLoaded());
    spin(900);
    EXPECT_TRUE(player.isLoaded());
    EXPECT_EQ(player.currentFile(), e1);
    EXPECT_FALSE(player.isAutoPlayWaiting());

    // Files added together start their first one at once, even one already in the playlist.
    const QString e4 = movie(QStringLiteral("E4.swf"));
    player.addFilesToList({ e2, e4 });
    EXPECT_EQ(player.currentFile(), e2);
    EXPECT_EQ(player.playList().size(), 4);
}

TEST_F(AppTest, AWaitingFileThatCannotBeLoadedBlocksLaterAutoPlay)
{
    PlayerController& player = launch({ missing(QStringLiteral("gone.swf")) });
    spin(1300);
    EXPECT_FALSE(player.isLoaded());
    EXPECT_TRUE(player.isAutoPlayWaiting());
    player.applicationOpenFile(movie(QStringLiteral("E2.swf")));
    spin(1300);
    EXPECT_FALSE(player.isLoaded());
    EXPECT_EQ(player.playList().size(), 2);
}

TEST_F(AppTest, LoadingAnswersWhatTheViewSaidAndAFailedReadChangesNothing)
{
    const QString e1 = movie(QStringLiteral("E1.swf"));
    PlayerController& player = launch();
    QMainWindow* window = player.movieController()->window();
    ASSERT_TRUE(player.loadMovie(e1));
    EXPECT_TRUE(player.isLoaded() && player.isUpdating());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("E1.swf"));
    EXPECT_EQ(player.totalFrames(), totalFrames);
    ASSERT_TRUE(player.movieInfo() && player.movieInfo()->IsValid());

    // Unreadable: the playing movie goes on being tracked.
    EXPECT_FALSE(player.loadMovie(missing(QStringLiteral("gone.swf"))));
    EXPECT_TRUE(player.isLoaded() && player.isUpdating());

    // Not a movie: the summary says so, the view alone decides.
    EXPECT_TRUE(player.loadMovie(movie(QStringLiteral("notes.swf"), "just some text")));
    EXPECT_FALSE(player.movieInfo()->IsValid());
    auto* info = player.advancedController()->ui()._tblInfo;
    ASSERT_EQ(info->rowCount(), 18);
    EXPECT_EQ(info->item(0, 1)->text(), QStringLiteral("notes.swf"));
    EXPECT_EQ(info->item(2, 1)->text(), QStringLiteral("N/A"));

    // The view refuses: nothing is loaded, the panel and title keep the previous movie.
    ASSERT_TRUE(player.loadMovie(e1));
    plugin->newResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(player.loadMovie(movie(QStringLiteral("E2.swf"))));
    EXPECT_FALSE(player.isLoaded() || player.isUpdating());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("E1.swf"));
    EXPECT_EQ(player.controlsController()->ui()._txtName->text(), QStringLiteral("E1.swf"));
    EXPECT_EQ(info->item(0, 1)->text(), QStringLiteral("E2.swf"));
}

TEST_F(AppTest, WithoutAPlugInTheMovieIsNotLoadedAndThePlayerGoesOn)
{
    NSFlashPluginView::setPluginPath(missing(QStringLiteral("nowhere/Flash Player.plugin")));
    const QString e1 = movie(QStringLiteral("E1.swf"));
    PlayerController& player = launch();
    player.addFilesToList({ e1 });
    EXPECT_FALSE(player.isLoaded() || player.isUpdating());
    EXPECT_TRUE(player.isAutoPlayWaiting());
    EXPECT_EQ(player.advancedController()->ui()._tblInfo->item(0, 1)->text(), QStringLiteral("E1.swf"));
    player.playAction(nullptr);
    EXPECT_FALSE(player.isLoaded());
    EXPECT_TRUE(player.movieController()->window()->isVisible());
}

TEST_F(AppTest, EndRulesDecideTickByTickWhenTheNextMovieIsDue)
{
    struct Case {
        const char* name;
        int total;
        std::function<void(PlayerController&)> before;
        std::vector<int> frames; // the view's answers, counted from 0, one per tick
        int advancesAt; // index of the tick that moves to the next movie, -1 for none
    };
    auto holdFrame = [](int ticks) { return std::vector<int>(ticks, 3); };
    auto tick = [this](PlayerController& p, int frame) {
        viewFrame = frame;
        p.updateSlider(nullptr);
    };
    const std::vector<Case> cases = {
        { "last frame", 5, nullptr, { 0, 1, 2, 3, 4 }, 4 },
        { "no frame count: the last-frame rule never fires", 0, nullptr, { 0, 1, 2, 3, 4, 5 }, -1 },
        { "frame decrease", 100, nullptr, { 0, 1, 2, 1 }, 3 },
        { "one frame, the 200th tick after it was first seen", 100, nullptr, holdFrame(201), 200 },
        { "paused", 5, [](PlayerController& p) { p.playAction(nullptr); }, { 0, 4, 4, 2 }, -1 },
        { "repeat the current movie", 5, [](PlayerController& p) { setRepeat(p, kRepeatItem); }, { 0, 4, 2 }, -1 },
        { "rewind is no frame decrease", 100,
            [tick](PlayerController& p) {
                for (int frame : { 0, 1, 2 })
                    tick(p, frame);
                p.rewindAction(nullptr);
            },
            { 0 }, -1 },
    };
    const QString e1 = movie(QStringLiteral("E1.swf"));
    const QString e2 = movie(QStringLiteral("E2.swf"));
    for (const Case& c : cases) {
        totalFrames = c.total;
        viewFrame = 0;
        PlayerController& player = launch();
        player.addFileToList(e1, true);
        player.addFileToList(e2, true);
        play(player, e1);
        ASSERT_EQ(player.currentFile(), e1) << c.name;
        if (c.before)
            c.before(player);
        int advanced = -1;
        for (size_t i = 0; i < c.frames.size() && advanced < 0; ++i) {
            tick(player, c.frames[i]);
            if (player.currentFile() == e2)
                advanced = static_cast<int>(i);
        }
        EXPECT_EQ(advanced, c.advancesAt) << c.name;
        if (advanced < 0) {
            // The frame display follows the movie whether or not a rule applies.
            EXPECT_EQ(player.controlsController()->ui()._sldProgress->value(),
                std::min(c.frames.back() + 1, std::max(c.total, 1)))
                << c.name;
        }
    }

    // A movie that ends with no next entry stays, watched on every tick.
    totalFrames = 5;
    PlayerController& player = launch();
    player.addFileToList(e1, true);
    play(player, e1);
    viewFrame = 4;
    player.updateSlider(nullptr);
    player.updateSlider(nullptr);
    EXPECT_EQ(player.currentFile(), e1);
    EXPECT_TRUE(player.isUpdating());
}

TEST_F(AppTest, MenuItemsAreEnabledMarkedAndTitledByTheirTags)
{
    const QString e1 = movie(QStringLiteral("E1.swf"));
    PlayerController& player = launch();
    MainMenu& menu = *player.mainMenu();
    auto validate = [&](int tag) {
        QAction* item = menu.itemWithTag(tag);
        EXPECT_NE(item, nullptr) << tag;
        return item && player.validateMenuItem(item);
    };
    auto checked = [&](int tag) { return menu.itemWithTag(tag)->isChecked(); };
    auto title = [&](int tag) { return menu.itemWithTag(tag)->text(); };
    QWidget* movieWindow = player.movieController()->window();
    QWidget* advancedWindow = player.advancedController()->window();
    QWidget* controlsWindow = player.controlsController()->window();

    // Nothing loaded, empty playlist.
    for (int tag : { kTagClearPlayList, kTagRewind, kTagFrameForward, kTagFrameBack, kTagPlayPause, kTagNext,
             kTagPrevious, kTagMovieInfo, kTagQualityLow, kTagQualityMedium, kTagQualityHigh })
        EXPECT_FALSE(validate(tag)) << tag;
    EXPECT_FALSE(checked(kTagPlayPause) || checked(kTagMovieInfo));
    EXPECT_TRUE(checked(kTagQualityHigh)) << "the marks follow the quality even while disabled";
    for (int tag : { kTagSize, kTagShowControls, kTagZoomDrawer, kTagViewer, kTagPlayList, 10, 13, 15 })
        EXPECT_TRUE(validate(tag)) << tag;
    EXPECT_EQ(title(kTagShowControls), QStringLiteral("Hide Movie Controls"));
    EXPECT_EQ(title(kTagZoomDrawer), QStringLiteral("Close Zoom Drawer"));

    player.addFileToList(e1, true);
    EXPECT_TRUE(validate(kTagClearPlayList));
    EXPECT_TRUE(validate(kTagPlayPause)) << "Play may start the playlist";

    // Window items follow the key window.
    makeKey(movieWindow);
    if (QApplication::activeWindow() != movieWindow)
        GTEST_SKIP() << "this platform does not activate windows";
    for (int tag : { kTagClose, kTagMinimize, kTagZoomWindow })
        EXPECT_TRUE(validate(tag)) << tag;
    EXPECT_EQ(title(kTagClose), QStringLiteral("Close Viewer"));
    validate(kTagViewer);
    EXPECT_TRUE(checked(kTagViewer));
    makeKey(advancedWindow);
    EXPECT_TRUE(validate(kTagClose));
    EXPECT_EQ(title(kTagClose), QStringLiteral("Close Advanced Options"));
    validate(kTagPlayList);
    EXPECT_TRUE(checked(kTagPlayList));
    makeKey(controlsWindow);
    EXPECT_FALSE(validate(kTagClose) || validate(kTagMinimize) || validate(kTagZoomWindow));
    EXPECT_EQ(title(kTagClose), QStringLiteral("Close"));

    // A loaded movie.
    play(player, e1);
    for (int tag : { kTagRewind, kTagFrameForward, kTagFrameBack, kTagPlayPause, kTagMovieInfo, kTagQualityMedium })
        EXPECT_TRUE(validate(tag)) << tag;
    EXPECT_TRUE(checked(kTagPlayPause));
    player.playAction(nullptr);
    validate(kTagPlayPause);
    EXPECT_FALSE(checked(kTagPlayPause)) << "paused";
    player.qualityAction(menu.itemWithTag(kTagQualityMedium));
    for (int tag : { kTagQualityLow, kTagQualityMedium, kTagQualityHigh })
        validate(tag);
    EXPECT_TRUE(checked(kTagQualityMedium) && !checked(kTagQualityHigh));
    player.loadMovie(e1);
    EXPECT_EQ(player.quality(), kQualityHigh) << "a new load restores the default quality";
    player.showSWFInfoAction(nullptr);
    makeKey(advancedWindow);
    validate(kTagMovieInfo);
    EXPECT_TRUE(checked(kTagMovieInfo));

    // Hidden controls disable the drawer item, titled by the last drawer state.
    player.showControlsAction(nullptr);
    EXPECT_FALSE(validate(kTagZoomDrawer));
    validate(kTagShowControls);
    EXPECT_EQ(title(kTagShowControls), QStringLiteral("Show Movie Controls"));
    EXPECT_EQ(title(kTagZoomDrawer), QStringLiteral("Close Zoom Drawer"));
}

TEST_F(AppTest, PlaylistAndInformationCommandsToggleSwitchOrRaiseThePanel)
{
    PlayerController& player = launch();
    player.loadMovie(movie(QStringLiteral("E1.swf")));
    QWidget* panel = player.advancedController()->window();
    makeKey(panel);
    if (QApplication::activeWindow() != panel)
        GTEST_SKIP() << "this platform does not activate windows";

    player.showSWFInfoAction(nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(player.advancedController()->visibleTab(), kTabInfo);
    EXPECT_EQ(player.settings().visibleAdvancedTab, kTabInfo);
    makeKey(panel);
    player.showSWFInfoAction(nullptr);
    EXPECT_FALSE(panel->isVisible()) << "the key panel on the same tab closes";
    EXPECT_FALSE(player.settings().isAdvancedVisible);
    player.showPlayListAction(nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(player.advancedController()->visibleTab(), kTabPlayList);

    // Closing the movie window ends the application, which writes the settings.
    player.movieController()->window()->close();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(QSettings(settingsFile, QSettings::IniFormat).contains(PlayListKey));
}
