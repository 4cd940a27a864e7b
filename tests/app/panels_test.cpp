// The panels with the player controller: drops on the windows, the preferences sheet, the controls panel's
// setters, the playlist/info tables; and the desktop services the application uses (recent files, one instance).
#include "AdvancedController.h"
#include "AppTestSupport.h"
#include "ControlValues.h"
#include "ControlsController.h"
#include "FileDrop.h"
#include "MovieController.h"
#include "NSImageButton.h"
#include "NSImageWindow.h"
#include "NSZoomView.h"
#include "PreferencesController.h"
#include "RecentDocuments.h"
#include "SWFInfo.h"
#include "SingleInstance.h"
#include "SkinImages.h"
#include "ZoomAreaAnimation.h"
#include "ui_AdvancedWindow.h"
#include "ui_ControlsWindow.h"
#include "ui_PreferencesWindow.h"

#include <QDir>
#include <QDropEvent>
#include <QMainWindow>
#include <QMimeData>
#include <QUrl>

namespace {

std::unique_ptr<QMimeData> fileDrag(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Delivers a drag entering and a drop to `window` as the desktop would; answers whether each was accepted.
std::pair<bool, bool> dropOn(QWidget* window, const QMimeData* data)
{
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return { enter.isAccepted(), drop.isAccepted() };
}

} // namespace

TEST_F(AppTest, DropsOnEitherWindowAddOnlyTheirSwfFilesInOrder)
{
    const QString upper = movie(QStringLiteral("A.SWF"));
    const QString lower = movie(QStringLiteral("b.swf"));
    const QString notes = movie(QStringLiteral("notes.txt"), "notes");
    const QString zipped = movie(QStringLiteral("c.swf.zip"), "zip");
    const QString bare = movie(QStringLiteral("swf"), "no extension");
    QDir(QFileInfo(notes).absolutePath()).mkdir(QStringLiteral("folder.swf"));
    const QString folder = QFileInfo(notes).absolutePath() + QStringLiteral("/folder.swf");

    for (int window = 0; window < 2; ++window) {
        PlayerController& player = launch();
        QWidget* target = window == 0 ? static_cast<QWidget*>(player.movieController()->window())
                                      : player.advancedController()->window();
        const auto refused = fileDrag({ notes, zipped, bare, folder });
        EXPECT_EQ(dropOn(target, refused.get()), std::make_pair(false, false)) << window;
        EXPECT_TRUE(player.playList().isEmpty());

        const auto mixed = fileDrag({ upper, lower, notes });
        EXPECT_EQ(dropOn(target, mixed.get()), std::make_pair(true, true)) << window;
        EXPECT_EQ(player.playList(), QStringList({ upper, lower })) << window;
        // With auto-play on, the first dropped file starts at once.
        EXPECT_EQ(player.currentFile(), upper);
        // Dropping them again adds nothing, yet plays the first again.
        player.loadMovie(lower);
        EXPECT_EQ(dropOn(target, mixed.get()), std::make_pair(true, true));
        EXPECT_EQ(player.playList().size(), 2);
        EXPECT_EQ(player.movieController()->window()->windowTitle(), QStringLiteral("A.SWF"));
    }

    // The controls panel takes any drop and does nothing with it.
    PlayerController& player = launch();
    const auto mixed = fileDrag({ upper, notes });
    EXPECT_EQ(dropOn(player.controlsController()->window(), mixed.get()), std::make_pair(true, true));
    EXPECT_TRUE(player.playList().isEmpty());
}

TEST_F(AppTest, PreferencesShowTheSettingsAndOkAppliesThemAtOnceWhileCancelKeepsThem)
{
    PlayerController& player = launch();
    ASSERT_TRUE(player.loadMovie(movie(QStringLiteral("E1.swf"))));
    for (bool ok : { false, true }) {
        player.showPrefsAction(nullptr);
        PreferencesController* prefs = player.preferencesController();
        ASSERT_NE(prefs, nullptr);
        Ui::PreferencesWindow& ui = prefs->ui();
        EXPECT_EQ(prefs->quality(), kQualityHigh);
        EXPECT_EQ(prefs->imageUpdateSpeed(), 3);
        EXPECT_EQ(ui._txtTime->text(), QStringLiteral("10 sec"));
        EXPECT_TRUE(ui._enableSecurity->isEnabled() && ui._frameTime->isEnabled());

        // Unticking a switch disables what depends on it, at once.
        ui._allowURL->click();
        EXPECT_FALSE(ui._enableSecurity->isEnabled());
        ui._frameSec->click();
        EXPECT_FALSE(ui._frameTime->isEnabled());
        ui._enableSecurity->setChecked(true);
        ui._flashQuality->setCurrentIndex(kQualityMedium);
        ui._interpolation->setCurrentIndex(3);
        ui._updateSpeed->setValue(9);
        ui._frameTime->setValue(25);
        EXPECT_EQ(ui._txtTime->text(), QStringLiteral("25 sec"));
        ui._lastFrame->setChecked(false);
        ui._btnAutoPlay->setChecked(false);
        (ok ? ui._btnOK : ui._btnCancel)->click();
        EXPECT_FALSE(prefs->window()->isVisible());
        spin(20); // the sheet's controller goes once the event loop has the control back
        EXPECT_EQ(player.preferencesController(), nullptr);

        const PlayerController::Settings s = player.settings();
        if (!ok) {
            EXPECT_EQ(s.defaultQuality, kQualityHigh) << "Cancel keeps the settings";
            EXPECT_EQ(player.controlsController()->ui()._zoomView->imageInterpolation(), 0);
            EXPECT_TRUE(s.allowURL && s.ifOneFrame && s.autoPlay);
            continue;
        }
        EXPECT_EQ(s.defaultQuality, kQualityMedium);
        EXPECT_EQ(player.quality(), kQualityMedium) << "the loaded movie takes the new quality";
        EXPECT_EQ(s.zoomImageInterpolation, 3);
        EXPECT_EQ(player.controlsController()->ui()._zoomView->imageInterpolation(), 3)
            << "the zoom drawer draws with the new interpolation";
        EXPECT_EQ(s.zoomImageUpdateSpeed, 9);
        EXPECT_EQ(player.movieController()->flashView()->snapShotFrequency(), 9);
        EXPECT_FALSE(s.allowURL || s.ifOneFrame || s.ifLastFrame || s.autoPlay);
        EXPECT_TRUE(s.enableSecurity) << "a disabled switch is still read";
        EXPECT_EQ(s.ifOneFrameTime, 25.0f);
    }
    // The changes reach the store at quit only.
    EXPECT_FALSE(QSettings(settingsFile, QSettings::IniFormat).contains(DefaultFlashQualityKey));
    player.terminate();
    EXPECT_EQ(QSettings(settingsFile, QSettings::IniFormat).value(FrameTimeKey).toInt(), 25);
}

TEST(ControlsPanel, SettersShowThePlayersState)
{
    ControlsController controls;
    Ui::ControlsWindow& ui = controls.ui();
    EXPECT_EQ(ui._txtZoomValue->text(), QStringLiteral("Zoom 100 %"));
    EXPECT_TRUE(ui._txtFrames->text().isEmpty() && ui._txtName->text().isEmpty());
    for (QWidget* off : { static_cast<QWidget*>(ui._btnPlay), static_cast<QWidget*>(ui._btnForward),
             static_cast<QWidget*>(ui._btnBack), static_cast<QWidget*>(ui._btnInfo),
             static_cast<QWidget*>(ui._sldProgress), static_cast<QWidget*>(ui._sldZoom) })
        EXPECT_FALSE(off->isEnabled()) << qPrintable(off->objectName());

    controls.setPlayed(false);
    EXPECT_TRUE(
        ui._btn1_1->isEnabled() && ui._btnFit->isEnabled() && ui._btnMove->isEnabled() && ui._btnInfo->isEnabled());
    EXPECT_FALSE(ui._btnPlay->isChecked());

    // A one-frame movie: frame 1 disables back and leaves forward as the frame count left it.
    controls.setTotalFrames(1);
    controls.setCurrentFrame(1);
    EXPECT_FALSE(ui._btnBack->isEnabled());
    EXPECT_TRUE(ui._btnForward->isEnabled());
    EXPECT_EQ(ui._txtFrames->text(), QStringLiteral("1/1"));
    controls.setTotalFrames(10);
    controls.setCurrentFrame(10);
    EXPECT_FALSE(ui._btnForward->isEnabled());
    controls.setCurrentFrame(4);
    EXPECT_TRUE(ui._btnForward->isEnabled() && ui._btnBack->isEnabled());
    EXPECT_EQ(ui._txtFrames->text(), QStringLiteral("4/10"));

    // The three-state skin button shows the repeat style with its own pictures.
    NSImageButton* repeat = ui._btnRepeat;
    const std::pair<int, int> repeats[]
        = { { kRepeatItem, NSImageButton::NSOnState }, { kRepeatOnce, NSImageButton::NSOffState },
              { kRepeatAll, NSImageButton::NSMixedState }, { 7, NSImageButton::NSMixedState } };
    for (const auto& [mode, state] : repeats) {
        controls.setRepeatState(mode);
        EXPECT_EQ(repeat->state(), state) << mode;
    }
    EXPECT_EQ(repeat->currentImage(), skinImage(QStringLiteral("ico2_repeat_all")));
    controls.setRepeatState(kRepeatItem);
    EXPECT_EQ(repeat->currentImage(), skinImage(QStringLiteral("repeat_alt")));

    controls.setZoomPrecent(250);
    EXPECT_TRUE(ui._sldZoom->isEnabled());
    EXPECT_EQ(ui._sldZoom->value(), 250);
    EXPECT_EQ(ui._txtZoomValue->text(), QStringLiteral("Zoom 250 %"));

    // A name too long for the LCD ends in an ellipsis and is whole in the tooltip; a short one is shown as it is.
    const QString longName = QStringLiteral("a_rather_long_movie_name_that_will_not_fit_on_the_display.swf");
    controls.setFileName(longName);
    EXPECT_TRUE(ui._txtName->text().endsWith(QChar(0x2026)));
    EXPECT_LE(ui._txtName->fontMetrics().horizontalAdvance(ui._txtName->text()), ui._txtName->width());
    EXPECT_EQ(ui._txtName->toolTip(), longName);
    controls.setFileName(QStringLiteral("E1.swf"));
    EXPECT_EQ(ui._txtName->text(), QStringLiteral("E1.swf"));
    EXPECT_TRUE(ui._txtName->toolTip().isEmpty());
}

TEST(ControlsPanel, IsASkinStripWhoseControlsLieInsideItsBodyOrDrawer)
{
    ControlsController controls;
    NSImageWindow* window = controls.imageWindow();
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(window->size(), QSize(ZoomAreaAnimation::kExpandedWidth, 128));
    // The body's art is the closed panel; the drawer's art fills what opening adds.
    EXPECT_EQ(skinImageSize(skinImage(QStringLiteral("controls_bg"))),
        QSizeF(ZoomAreaAnimation::kConstrictedWidth, window->height()));
    EXPECT_EQ(skinImageSize(skinImage(QStringLiteral("zoom_bg"))),
        QSizeF(ZoomAreaAnimation::kExpandedWidth - ZoomAreaAnimation::kConstrictedWidth, window->height()));

    // Every control lies whole inside the 337-wide body, clear of the others it does not belong to; the LCD's
    // texts lie on the LCD.
    const QRect body(0, 0, ZoomAreaAnimation::kConstrictedWidth, window->height());
    const QRect lcd = controls.ui()._lcdView->geometry();
    QList<QWidget*> controlsOnBody;
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString name = child->objectName();
        if (name == QLatin1String("_boxZoom") || name == QLatin1String("_bgView") || name == QLatin1String("_lcdView"))
            continue;
        EXPECT_TRUE(body.contains(child->geometry())) << qPrintable(name);
        if (name.startsWith(QLatin1String("_txt")))
            EXPECT_TRUE(lcd.contains(child->geometry())) << qPrintable(name);
        else
            controlsOnBody.append(child);
    }
    EXPECT_EQ(controlsOnBody.size(), 17);
    for (QWidget* one : controlsOnBody) {
        for (QWidget* other : controlsOnBody) {
            if (one != other) {
                EXPECT_FALSE(one->geometry().intersects(other->geometry()))
                    << qPrintable(one->objectName()) << " " << qPrintable(other->objectName());
            }
        }
    }
    // A button is the size of its picture.
    for (NSImageButton* button : window->findChildren<NSImageButton*>())
        EXPECT_EQ(QSizeF(button->size()), skinImageSize(button->image())) << qPrintable(button->objectName());
    // The drawer's view fits in the open drawer, right of the body.
    const QRect view(controls.ui()._zoomView->mapTo(window, QPoint(0, 0)), controls.ui()._zoomView->size());
    EXPECT_GE(view.left(), body.right());
    EXPECT_TRUE(window->rect().contains(view));
}

TEST(ControlsPanel, TheVolumeIsPolledOnlyWhileThePanelIsVisible)
{
    ControlsController controls;
    EXPECT_FALSE(controls.isVolumePolled());
    controls.setWindowVisible(true);
    EXPECT_TRUE(controls.isVolumePolled());
    controls.setWindowVisible(false);
    EXPECT_FALSE(controls.isVolumePolled());
}

TEST_F(AppTest, ThePlayerStartsAndStopsTheVolumePollWithThePanel)
{
    PlayerController& player = launch();
    ControlsController* controls = player.controlsController();
    ASSERT_TRUE(controls->window()->isVisible());
    EXPECT_TRUE(controls->isVolumePolled());
    player.showControlsAction(nullptr);
    EXPECT_FALSE(controls->window()->isVisible());
    EXPECT_FALSE(controls->isVolumePolled());
    player.showControlsAction(nullptr);
    EXPECT_TRUE(controls->isVolumePolled());
    // Closed by the desktop rather than by the menu.
    controls->window()->close();
    EXPECT_FALSE(controls->isVolumePolled());
    EXPECT_FALSE(player.settings().isControlsVisible);
}

TEST_F(AppTest, ThePanelsWindowStepsOpenAndClosedAndTellsThePlayer)
{
    PlayerController& player = launch();
    ControlsController* controls = player.controlsController();
    QWidget* window = controls->window();
    ZoomAreaAnimation* area = controls->zoomArea();
    ASSERT_EQ(window->width(), 467);
    const QPoint origin = window->pos();

    // Runs the animation's steps by hand and records the window's widths.
    auto steps = [&] {
        std::vector<int> widths;
        for (int i = 0; i < 20 && area->isAnimating(); ++i) {
            area->isExpanded() ? area->expandAction() : area->constrictAction();
            widths.push_back(window->width());
        }
        return widths;
    };
    controls->expandControlsAction(nullptr);
    EXPECT_FALSE(controls->isExpanded());
    EXPECT_TRUE(player.settings().isControlsExpanded) << "told only when the closing ends";
    EXPECT_EQ(steps(), (std::vector<int> { 437, 407, 377, 347, 337 }));
    EXPECT_FALSE(player.settings().isControlsExpanded);
    EXPECT_EQ(controls->ui()._boxZoom->width(), 0);
    EXPECT_EQ(window->pos(), origin);

    controls->expandControlsAction(nullptr);
    EXPECT_TRUE(player.settings().isControlsExpanded) << "told as the opening starts";
    controls->zoomArea()->expandAction();
    controls->zoomArea()->expandAction();
    EXPECT_EQ(window->width(), 397);
    // Reversed in the middle: closes from the current width, with the one notification at its end.
    controls->expandControlsAction(nullptr);
    EXPECT_EQ(steps(), (std::vector<int> { 367, 337, 337 }));
    EXPECT_FALSE(player.settings().isControlsExpanded);

    // The real timers, opening and closing through the player's menu command.
    QElapsedTimer clock;
    for (const int expected : { 467, 337 }) {
        player.expandControlsAction(nullptr);
        clock.start();
        while (area->isAnimating() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_EQ(window->width(), expected);
        EXPECT_EQ(player.settings().isControlsExpanded, expected == 467);
        EXPECT_EQ(controls->ui()._btnExpand->isChecked(), expected == 467);
    }
}

TEST_F(AppTest, AHiddenPanelWithItsDrawerClosedAppearsClosed)
{
    store([](QSettings& s) {
        s.setValue(IsControlsWindowVisisbleKey, false);
        s.setValue(IsControlsWindowExpandedKey, false);
    });
    PlayerController& player = launch();
    ControlsController* controls = player.controlsController();
    EXPECT_EQ(controls->window()->width(), ZoomAreaAnimation::kConstrictedWidth);
    player.showControlsAction(nullptr);
    EXPECT_TRUE(controls->window()->isVisible());
    EXPECT_EQ(controls->window()->width(), ZoomAreaAnimation::kConstrictedWidth);
    EXPECT_FALSE(controls->isExpanded());
    EXPECT_EQ(player.movieController()->flashView()->zoomView(), nullptr) << "no drawer to show the movie in";
}

TEST_F(AppTest, TheRepeatButtonsOfBothPanelsSetTheStyleAndBothPanelsShowIt)
{
    PlayerController& player = launch();
    NSImageButton* controlsRepeat = player.controlsController()->ui()._btnRepeat;
    NSImageButton* panelRepeat = player.advancedController()->ui()._btnRepeatStyle;
    // A click moves the three-state button on: off (play once), mixed (repeat all), on (repeat the movie).
    const int cycle[] = { kRepeatAll, kRepeatItem, kRepeatOnce };
    for (int style : cycle) {
        controlsRepeat->click();
        EXPECT_EQ(player.repeatStyle(), style);
        EXPECT_EQ(buttonState(panelRepeat), buttonState(controlsRepeat));
    }
    panelRepeat->click();
    EXPECT_EQ(player.repeatStyle(), kRepeatAll);
    EXPECT_EQ(controlsRepeat->state(), NSImageButton::NSMixedState);
    player.controlsController()->ui()._btnShuffle->click();
    EXPECT_TRUE(player.isShuffle());
    EXPECT_TRUE(player.advancedController()->ui()._btnShuffle->isChecked());
}

TEST_F(AppTest, ThePlaylistMarksTheFirstCopyOfTheCurrentFileAndTheInfoTabWaitsForAMovie)
{
    const QString e1 = movie(QStringLiteral("E1.swf"));
    AdvancedController panel;
    const QStringList list { e1, movie(QStringLiteral("E2.swf")), e1 };
    panel.setPlayList(&list);
    panel.setCurrentFile(e1);
    auto* table = panel.ui()._tblPlayList;
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(2, 0)->text(), QStringLiteral("3"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("E2.swf"));
    const QColor current = QColor::fromRgbF(0.26f, 0.35f, 0.48f, 1.0f);
    EXPECT_EQ(table->item(0, 1)->foreground().color(), current);
    EXPECT_NE(table->item(2, 1)->foreground().color(), current);

    panel.setVisibleTab(kTabInfo);
    EXPECT_EQ(panel.visibleTab(), kTabPlayList);
    EXPECT_EQ(panel.ui()._tblInfo->rowCount(), 0);
    CSWFInfo info;
    panel.setSWFInfo(&info);
    panel.setVisibleTab(kTabInfo);
    EXPECT_EQ(panel.visibleTab(), kTabInfo);
    EXPECT_EQ(panel.ui()._tblInfo->rowCount(), 18);

    // Several selected rows: the one clicked last is "the" selection; all of them go in table order.
    table->selectRow(2);
    table->setCurrentCell(0, 0, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(panel.selectedFile(), list.at(0));
    EXPECT_EQ(panel.selectedFiles(), QStringList({ list.at(0), list.at(2) }));
}

TEST(RecentFiles, AddsEachFileOnceAndKeepsOtherApplicationsEntries)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("share/recently-used.xbel"));
    const RecentDocuments recent(file);
    ASSERT_TRUE(recent.noteNewRecentDocument(QStringLiteral("/movies/a & b.swf")));
    ASSERT_TRUE(recent.noteNewRecentDocument(QStringLiteral("/movies/a & b.swf")));
    QFile list(file);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    QByteArray text = list.readAll();
    list.close();
    EXPECT_EQ(text.count("<bookmark "), 1);
    EXPECT_TRUE(text.contains("href=\"file:///movies/a%20&amp;%20b.swf\""));
    EXPECT_TRUE(text.contains("application/x-shockwave-flash"));

    const QByteArray foreign = "  <bookmark href=\"file:///doc.txt\"><info><private/></info></bookmark>\n";
    text.insert(text.indexOf("</xbel>"), foreign);
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(text);
    list.close();
    ASSERT_TRUE(recent.noteNewRecentDocument(QStringLiteral("/movies/c.swf")));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QByteArray after = list.readAll();
    list.close();
    EXPECT_TRUE(after.contains(foreign));
    EXPECT_EQ(after.count("<bookmark "), 3);

    // A file that is no bookmark list is left alone.
    const QString other = dir.filePath(QStringLiteral("other.xbel"));
    QFile odd(other);
    ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
    odd.write("something else");
    odd.close();
    EXPECT_FALSE(RecentDocuments(other).noteNewRecentDocument(QStringLiteral("/movies/c.swf")));
    ASSERT_TRUE(odd.open(QIODevice::ReadOnly));
    EXPECT_EQ(odd.readAll(), QByteArray("something else"));
}

TEST(OneInstance, ASecondLaunchHandsItsFilesToTheRunningOne)
{
    const QString name = SingleInstance::serverNameFor(
        QStringLiteral("/tmp/reelfinch-test-%1").arg(QCoreApplication::applicationPid()));
    SingleInstance running(name);
    EXPECT_FALSE(running.handOver({ QStringLiteral("/x.swf") }, 200)) << "nobody is running yet";
    ASSERT_TRUE(running.listen());
    QList<QStringList> received;
    QObject::connect(
        &running, &SingleInstance::filesReceived, [&](const QStringList& paths) { received.append(paths); });

    // The second launch blocks on its socket while the first serves it from its event loop: a thread plays it.
    const QStringList files { QStringLiteral("/movies/one.swf"), QStringLiteral("/movies/twö.swf") };
    bool handed = false;
    std::unique_ptr<QThread> second(QThread::create([&] { handed = SingleInstance(name).handOver(files); }));
    second->start();
    QElapsedTimer clock;
    clock.start();
    while ((!second->isFinished() || received.isEmpty()) && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    second->wait();
    EXPECT_TRUE(handed);
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.first(), files);
}
