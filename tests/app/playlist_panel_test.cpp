// The playlist panel's skin: the picture each button and mode icon shows for every repeat mode and shuffle state,
// the buttons' tooltips and clicks through the player, the table texts' attributes, and a layout that clips
// nothing.
#include "AdvancedController.h"
#include "AppTestSupport.h"
#include "NSImageButton.h"
#include "NSInfoCell.h"
#include "SWFInfo.h"
#include "SkinImages.h"
#include "ui_AdvancedWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

using B = NSImageButton;

bool shows(const QImage& shown, const char* name)
{
    const QImage expected = skinImage(QString::fromLatin1(name));
    return !expected.isNull() && shown == expected;
}

bool shows(const QLabel* view, const char* name)
{
    return shows(view->pixmap().toImage(), name);
}

// The picture of the button, released and pressed.
std::pair<QImage, QImage> looks(NSImageButton* button)
{
    button->setDown(false);
    const QImage released = button->currentImage();
    button->setDown(true);
    const QImage pressed = button->currentImage();
    button->setDown(false);
    return { released, pressed };
}

} // namespace

TEST(PlaylistPanel, RepeatModesAndShuffleStatesShowTheirPictures)
{
    AdvancedController panel;
    Ui::AdvancedWindow& ui = panel.ui();
    struct Case {
        int mode;
        int state;
        const char* button;
        const char* icon;
    };
    // Any mode other than once or the movie repeats the whole list.
    const Case repeats[] = { { kRepeatItem, B::NSOnState, "repeat_alt", "ico_repeat_item" },
        { kRepeatOnce, B::NSOffState, "repeat", "ico_repeat_off" },
        { kRepeatAll, B::NSMixedState, "ico2_repeat_all", "ico_repeat_all" },
        { 7, B::NSMixedState, "ico2_repeat_all", "ico_repeat_all" } };
    for (const Case& c : repeats) {
        panel.setRepeatState(c.mode);
        EXPECT_EQ(ui._btnRepeatStyle->state(), c.state) << c.mode;
        const auto [released, pressed] = looks(ui._btnRepeatStyle);
        EXPECT_TRUE(shows(released, c.button)) << c.mode;
        EXPECT_TRUE(shows(pressed, "repeat_on")) << c.mode;
        EXPECT_TRUE(shows(ui._imgRepeat, c.icon)) << c.mode;
    }
    for (bool on : { true, false }) {
        panel.setShuffleState(on);
        EXPECT_EQ(ui._btnShuffle->state(), on ? B::NSOnState : B::NSOffState);
        const auto [released, pressed] = looks(ui._btnShuffle);
        EXPECT_TRUE(shows(released, on ? "shuffle_alt" : "shuffle")) << on;
        EXPECT_TRUE(shows(pressed, "shuffle_on")) << on;
        EXPECT_TRUE(shows(ui._imgShuffle, on ? "ico_shuffle_on" : "ico_shuffle_off")) << on;
    }
    for (auto [button, normal, highlighted] :
        { std::tuple { ui._btnAddFile, "add", "add_on" }, std::tuple { ui._btnRemoveFile, "del", "del_on" } }) {
        const auto [released, pressed] = looks(button);
        EXPECT_TRUE(shows(released, normal));
        EXPECT_TRUE(shows(pressed, highlighted));
    }

    EXPECT_TRUE(ui._btnRepeatStyle->allowsMixedState());
    EXPECT_EQ(ui._btnAddFile->toolTip(), QStringLiteral("Add files to Playlist"));
    EXPECT_EQ(ui._btnRemoveFile->toolTip(), QStringLiteral("Remove the selected files from Playlist"));
    EXPECT_EQ(ui._btnShuffle->toolTip(), QStringLiteral("Turn shuffle on or off"));
    EXPECT_EQ(ui._btnRepeatStyle->toolTip(), QStringLiteral("Play playlist once, repeat playlist, or repeat song"));
}

TEST_F(AppTest, ClicksOnThePanelsTogglesCycleTheRepeatModeAndShuffle)
{
    PlayerController& player = launch();
    Ui::AdvancedWindow& ui = player.advancedController()->ui();
    // From once, the three-state button goes to mixed (repeat all), then on (the movie), then off again.
    const std::pair<int, const char*> cycle[]
        = { { kRepeatAll, "ico_repeat_all" }, { kRepeatItem, "ico_repeat_item" }, { kRepeatOnce, "ico_repeat_off" } };
    for (const auto& [style, icon] : cycle) {
        ui._btnRepeatStyle->click();
        EXPECT_EQ(player.repeatStyle(), style);
        EXPECT_TRUE(shows(ui._imgRepeat, icon)) << style;
    }
    ui._btnShuffle->click();
    EXPECT_TRUE(player.isShuffle());
    EXPECT_TRUE(shows(ui._imgShuffle, "ico_shuffle_on"));
    ui._btnShuffle->click();
    EXPECT_FALSE(player.isShuffle());
    EXPECT_EQ(ui._btnShuffle->state(), B::NSOffState);
}

TEST_F(AppTest, TableTextsTakeThePanelsAttributesAndTheValueColumnDrawsSwatches)
{
    const QString a = movie(QStringLiteral("A.swf"));
    const QString b = movie(QStringLiteral("B.swf"));
    AdvancedController panel;
    const QStringList list { a, b };
    panel.setPlayList(&list);
    panel.setCurrentFile(b);
    const QTableWidget* playList = panel.ui()._tblPlayList;
    const QColor current = QColor::fromRgbF(0.26f, 0.35f, 0.48f, 1.0f);
    for (int column = 0; column < playList->columnCount(); ++column) {
        EXPECT_EQ(playList->item(1, column)->foreground().color(), current) << column;
        EXPECT_EQ(playList->item(0, column)->foreground().color(), QColor(Qt::black)) << column;
        EXPECT_EQ(playList->item(1, column)->font(), QApplication::font()) << column;
    }
    EXPECT_EQ(playList->horizontalHeaderItem(0)->data(Qt::UserRole).toString(), QStringLiteral("PlayList_Number"));
    EXPECT_EQ(playList->item(1, 0)->text(), QStringLiteral("2"));

    // A summary whose header could not be read: the missing facts in gray, the movie's name in black.
    CSWFInfo unread;
    panel.setSWFInfo(&unread);
    panel.setMovieName(QStringLiteral("A.swf"));
    const QTableWidget* info = panel.ui()._tblInfo;
    EXPECT_EQ(info->item(0, 1)->foreground().color(), QColor(Qt::black));
    EXPECT_EQ(info->item(5, 1)->foreground().color(), QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(panel.zeroAttributes().colour, QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    int valueColumn = -1;
    for (int column = 0; column < info->columnCount(); ++column) {
        if (info->horizontalHeaderItem(column)->data(Qt::UserRole).toString() == QLatin1String("Info_Value"))
            valueColumn = column;
    }
    ASSERT_GE(valueColumn, 0);
    EXPECT_NE(qobject_cast<NSInfoCell*>(info->itemDelegateForColumn(valueColumn)), nullptr);
}

TEST(PlaylistPanel, TheLayoutClipsNothingAtTheSmallestSize)
{
    AdvancedController panel;
    QWidget* window = panel.window();
    window->resize(window->minimumSize());
    window->show();
    Ui::AdvancedWindow& ui = panel.ui();
    QWidget* tab = ui._tabView->widget(kTabPlayList);
    const QRect table = ui._tblPlayList->geometry();
    QList<QRect> taken { table };
    const QList<QWidget*> row { ui._btnAddFile, ui._btnRemoveFile, ui._btnRepeatStyle, ui._btnShuffle, ui._imgRepeat,
        ui._imgShuffle };
    for (QWidget* control : row) {
        const QRect place(control->mapTo(tab, QPoint(0, 0)), control->size());
        EXPECT_TRUE(tab->rect().contains(place)) << control->objectName().toStdString();
        EXPECT_GE(place.top(), table.bottom()) << "under the playlist: " << control->objectName().toStdString();
        for (const QRect& other : taken)
            EXPECT_FALSE(place.intersects(other)) << control->objectName().toStdString();
        taken.append(place);
    }
    // Each button is exactly as large as its picture, so no picture is cut.
    for (NSImageButton* button : { ui._btnAddFile, ui._btnRemoveFile, ui._btnRepeatStyle, ui._btnShuffle })
        EXPECT_EQ(QSizeF(button->size()), skinImageSize(button->image()));
    EXPECT_EQ(ui._imgRepeat->size(), QSize(16, 16));
    // The playlist spans the tab but for its margins.
    EXPECT_GE(table.width(), tab->width() - 10);
    window->hide();
}
