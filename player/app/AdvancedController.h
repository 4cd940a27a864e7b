// AdvancedController: the playlist and info panel. Its first tab shows the player controller's playlist (the
// same list, not a copy) with the current movie marked; its second tab the 18 facts of the movie summary.
// Every command goes to the player controller.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class CSWFInfo;
class PlayerController;
class QMimeData;
class QWidget;

namespace Ui {
class AdvancedWindow;
}

class AdvancedController : public QObject
{
    Q_OBJECT
public:
    // The font and colour a table text is drawn with.
    struct TextAttributes {
        QFont font;
        QColor colour;
    };

    // The colour of the current movie's row in the playlist.
    static const QColor kCurrentFileColour;

    AdvancedController();
    ~AdvancedController() override;

    QWidget* window() const { return _window.get(); }
    Ui::AdvancedWindow& ui() const { return *_ui; }

    void setMainController(PlayerController* app);
    void setPlayList(const QStringList* list);
    void reloadPlayList();
    void setCurrentFile(const QString& path);
    void setSelectedFile(const QString& path);
    QString selectedFile() const;
    QStringList selectedFiles() const;
    void setSWFInfo(const CSWFInfo* info);
    void setMovieName(const QString& name);
    void setVisibleTab(int tab);
    int visibleTab() const;
    void setRepeatState(int mode);
    void setShuffleState(bool on);

    const TextAttributes& normalAttributes() const { return _normalAttr; }
    const TextAttributes& zeroAttributes() const { return _zeroAttr; }
    const TextAttributes& currentFileAttributes() const { return _curFileAttr; }
    const TextAttributes& otherFileAttributes() const { return _otherFileAttr; }

    // Actions.
    void addFilesAction(QObject* sender);
    void removeFilesAction(QObject* sender);
    void repeatAction(QObject* sender);
    void shuffleAction(QObject* sender);
    void playListDoubleClick(QObject* sender);

    bool draggingEntered(const QMimeData* data) const;
    bool performDragOperation(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void awakeFromNib();
    void applySkin();
    void reloadInfo();
    void tabChanged(int index);

    std::unique_ptr<QWidget> _window;
    std::unique_ptr<Ui::AdvancedWindow> _ui;
    const QStringList* _plist = nullptr; // the player controller's playlist
    QPointer<PlayerController> _app;
    const CSWFInfo* info = nullptr; // the player controller's summary
    QString _name;
    TextAttributes _normalAttr;
    TextAttributes _zeroAttr;
    TextAttributes _curFileAttr;
    TextAttributes _otherFileAttr;
    QString _curFile;
    bool _selectingTab = false;
};
