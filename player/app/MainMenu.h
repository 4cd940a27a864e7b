// MainMenu: the menu bar of the movie window, shown as well by the other windows that take the keyboard (the
// playlist panel), so that the items that act on the active window reach it. Every item carries its tag (the action's
// data) and sends its command to the player controller. Items are validated by the player controller before a menu
// opens and before a shortcut is looked up, so their enabled states, marks and titles always follow the player's state.
// All shortcuts use Ctrl, leaving plain keys to the movie.
#pragma once

#include <QObject>
#include <QPointer>

class PlayerController;
class QAction;
class QMenu;
class QMenuBar;

class MainMenu : public QObject
{
    Q_OBJECT
public:
    MainMenu(PlayerController* app, QMenuBar* bar);
    ~MainMenu() override;

    // Shows the same menus in another window's menu bar.
    void addMenuBar(QMenuBar* bar);
    // The first item with this tag, or none.
    QAction* itemWithTag(int tag) const;
    // The submenu of the item with this tag, or none.
    QMenu* submenuWithTag(int tag) const;
    QList<QAction*> items() const;
    // Validates every item of the menu bar.
    void validateAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class Command>
    QAction* addItem(QMenu* menu, const QString& title, int tag, Command command, const QKeySequence& shortcut = {});
    QMenu* addMenu(const QString& title, int tag);
    void validateMenu(QMenu* menu);

    QPointer<PlayerController> _app;
    QMenuBar* _bar;
};
