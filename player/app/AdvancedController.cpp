#include "AdvancedController.h"

#include "ControlsSkin.h"
#include "FileDrop.h"
#include "NSImageButton.h"
#include "NSInfoCell.h"
#include "PlayerController.h"
#include "SWFInfo.h"
#include "SWFInfoText.h"
#include "SkinImages.h"
#include "ui_AdvancedWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>

namespace {

enum PlayListColumn { kColumnNumber, kColumnName, kPlayListColumns };
enum InfoColumn { kColumnDescription, kColumnValue, kInfoColumns };

// The desktop's plain gray, for the texts of empty or missing facts.
const QColor kGray = QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f);

// Table rows a little taller than their text, so the swatch of the background colour has room.
constexpr int kRowPadding = 6;

// The panel's frame is the dark strip of the controls panel; the tables stay light, so the texts keep the
// colours the table attributes give them.
const char* const kPanelStyle = R"(
QWidget#AdvancedWindow { background: #23282e; }
QTabWidget::pane { border: 1px solid #4a525c; border-radius: 3px; background: #2a3038; top: -1px; }
QTabBar::tab { background: #1b1f24; color: #d8dee6; border: 1px solid #4a525c; border-bottom: none;
               border-top-left-radius: 4px; border-top-right-radius: 4px; padding: 3px 12px; margin-right: 2px; }
QTabBar::tab:selected { background: #2a3038; color: #9ff5e6; }
QTabBar::tab:!selected { margin-top: 2px; }
QTabBar::tab:disabled { color: #59606a; }
QTableWidget { background: #ffffff; alternate-background-color: #eef1f4; border: 1px solid #101316;
               selection-background-color: #3d6f8a; selection-color: #ffffff; }
QHeaderView::section { background: #3a414a; color: #d8dee6; border: none; border-right: 1px solid #23282e;
                       padding: 2px 5px; }
QFrame#_boxModes { background: #17191d; border: 1px solid #4a525c; border-radius: 3px; }
QScrollBar:vertical { background: #2a3038; width: 10px; margin: 0; border: none; }
QScrollBar::handle:vertical { background: #59606a; min-height: 24px; border-radius: 3px; margin: 1px 2px; }
QScrollBar::handle:vertical:hover { background: #6b7480; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }
)";

QTableWidgetItem* textItem(const QString& text, const AdvancedController::TextAttributes& attributes)
{
    auto item = std::make_unique<QTableWidgetItem>(text);
    item->setFont(attributes.font);
    item->setForeground(attributes.colour);
    return item.release(); // the table takes it
}

void setIcon(QLabel* view, const char* name, const QString& tooltip)
{
    view->setPixmap(QPixmap::fromImage(skinImage(QString::fromLatin1(name))));
    view->setToolTip(tooltip);
    view->setAccessibleName(tooltip);
}

} // namespace

const QColor AdvancedController::kCurrentFileColour = QColor::fromRgbF(0.26f, 0.35f, 0.48f, 1.0f);

AdvancedController::AdvancedController()
    : _window(std::make_unique<QWidget>())
    , _ui(std::make_unique<Ui::AdvancedWindow>())
{
    _ui->setupUi(_window.get());
    _window->installEventFilter(this);
    applySkin();

    QTableWidget* playList = _ui->_tblPlayList;
    playList->setColumnCount(kPlayListColumns);
    playList->setHorizontalHeaderLabels({ tr("#"), tr("Movie") });
    playList->horizontalHeaderItem(kColumnNumber)->setData(Qt::UserRole, QStringLiteral("PlayList_Number"));
    playList->horizontalHeaderItem(kColumnName)->setData(Qt::UserRole, QStringLiteral("PlayList_Name"));
    playList->horizontalHeader()->setSectionResizeMode(kColumnNumber, QHeaderView::ResizeToContents);
    playList->horizontalHeader()->setStretchLastSection(true);

    QTableWidget* infoTable = _ui->_tblInfo;
    infoTable->setColumnCount(kInfoColumns);
    infoTable->setHorizontalHeaderLabels({ tr("Description"), tr("Value") });
    infoTable->horizontalHeaderItem(kColumnDescription)->setData(Qt::UserRole, QStringLiteral("Info_Description"));
    infoTable->horizontalHeaderItem(kColumnValue)->setData(Qt::UserRole, QStringLiteral("Info_Value"));
    infoTable->horizontalHeader()->setSectionResizeMode(kColumnDescription, QHeaderView::ResizeToContents);
    infoTable->horizontalHeader()->setStretchLastSection(true);

    for (QTableWidget* table : { playList, infoTable }) {
        table->verticalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + kRowPadding);
        table->horizontalHeader()->setHighlightSections(false);
        table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    awakeFromNib();

    connect(playList, &QTableWidget::cellDoubleClicked, this, [this, playList] { playListDoubleClick(playList); });
    connect(_ui->_btnAddFile, &QAbstractButton::clicked, this, [this] { addFilesAction(_ui->_btnAddFile); });
    connect(_ui->_btnRemoveFile, &QAbstractButton::clicked, this, [this] { removeFilesAction(_ui->_btnRemoveFile); });
    connect(_ui->_btnRepeatStyle, &QAbstractButton::clicked, this, [this] { repeatAction(_ui->_btnRepeatStyle); });
    connect(_ui->_btnShuffle, &QAbstractButton::clicked, this, [this] { shuffleAction(_ui->_btnShuffle); });

    // The information tab opens only once a movie has been summarised.
    _ui->_tabView->setTabEnabled(kTabInfo, false);
    connect(_ui->_tabView, &QTabWidget::currentChanged, this, &AdvancedController::tabChanged);
    setRepeatState(kRepeatOnce);
    setShuffleState(false);
}

void AdvancedController::applySkin()
{
    // Every picture and tooltip of the skin table; each button is as large as its picture.
    const std::pair<NSImageButton*, const ButtonSkin*> buttons[] = {
        { _ui->_btnAddFile, &AdvancedSkin::addFile },
        { _ui->_btnRemoveFile, &AdvancedSkin::removeFile },
        { _ui->_btnRepeatStyle, &AdvancedSkin::repeatStyle },
        { _ui->_btnShuffle, &AdvancedSkin::shuffle },
    };
    for (const auto& [button, skin] : buttons) {
        applyButtonSkin(button, *skin, "AdvancedController");
        button->setFixedSize(button->sizeHint());
    }
    for (QLabel* view : { _ui->_imgRepeat, _ui->_imgShuffle })
        view->setFixedSize(skinImageSize(skinImage(QStringLiteral("ico_repeat_off"))).toSize());
    _window->setStyleSheet(QString::fromLatin1(kPanelStyle));
}

void AdvancedController::awakeFromNib()
{
    // Double clicks in the playlist are wired by the constructor; the skin table gave the pressed pictures and
    // tooltips. The repeat button shows its pressed picture in the mixed state too.
    _ui->_btnRepeatStyle->setMixedHighlightedImage(skinImage(QStringLiteral("repeat_on")));
    _ui->_btnRepeatStyle->setAllowsMixedState(true);

    // The background colour's row of the value column shows a swatch.
    _ui->_tblInfo->setItemDelegateForColumn(kColumnValue, new NSInfoCell(_ui->_tblInfo));
    info = nullptr;

    const QFont systemFont = QApplication::font();
    _normalAttr = { systemFont, QColor(Qt::black) };
    _zeroAttr = { systemFont, kGray };
    _curFileAttr = { systemFont, kCurrentFileColour };
    _otherFileAttr = { systemFont, QColor(Qt::black) };
}

AdvancedController::~AdvancedController()
{
    if (_window)
        _window->removeEventFilter(this);
}

void AdvancedController::setMainController(PlayerController* app)
{
    _app = app;
}

void AdvancedController::setPlayList(const QStringList* list)
{
    _plist = list;
    reloadPlayList();
}

void AdvancedController::reloadPlayList()
{
    QTableWidget* table = _ui->_tblPlayList;
    const qsizetype count = _plist ? _plist->size() : 0;
    table->setRowCount(static_cast<int>(count));
    // Only the first entry equal to the current file is marked.
    const qsizetype current = _plist && !_curFile.isNull() ? _plist->indexOf(_curFile) : -1;
    for (int row = 0; row < count; ++row) {
        const TextAttributes& attributes = row == current ? _curFileAttr : _otherFileAttr;
        QTableWidgetItem* number = textItem(QString::number(row + 1), attributes);
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, kColumnNumber, number);
        table->setItem(row, kColumnName, textItem(PlayerController::lastPathComponent(_plist->at(row)), attributes));
    }
}

void AdvancedController::setCurrentFile(const QString& path)
{
    _curFile = path;
    reloadPlayList();
}

void AdvancedController::setSelectedFile(const QString& path)
{
    if (!_plist || path.isNull())
        return;
    const qsizetype row = _plist->indexOf(path);
    if (row >= 0)
        _ui->_tblPlayList->selectRow(static_cast<int>(row));
}

QString AdvancedController::selectedFile() const
{
    const QTableWidget* table = _ui->_tblPlayList;
    const QItemSelectionModel* selection = table->selectionModel();
    if (!_plist || !selection || !selection->hasSelection())
        return {};
    // With several rows selected, the row last clicked counts.
    int row = table->currentRow();
    if (row < 0 || !selection->isRowSelected(row)) {
        const QModelIndexList rows = selection->selectedRows();
        row = rows.isEmpty() ? -1 : rows.last().row();
    }
    return row >= 0 && row < _plist->size() ? _plist->at(row) : QString();
}

QStringList AdvancedController::selectedFiles() const
{
    QStringList paths;
    const QItemSelectionModel* selection = _ui->_tblPlayList->selectionModel();
    if (!_plist || !selection)
        return paths;
    QList<int> rows;
    for (const QModelIndex& index : selection->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        if (row < _plist->size())
            paths.append(_plist->at(row));
    }
    return paths;
}

void AdvancedController::setSWFInfo(const CSWFInfo* summary)
{
    info = summary;
    _ui->_tabView->setTabEnabled(kTabInfo, info != nullptr);
    reloadInfo();
}

void AdvancedController::setMovieName(const QString& name)
{
    _name = name;
    reloadInfo();
}

void AdvancedController::reloadInfo()
{
    QTableWidget* table = _ui->_tblInfo;
    if (!info) {
        table->setRowCount(0);
        return;
    }
    InfoWords words;
    words.byte = tr("byte").toStdString();
    words.kilobyte = tr("kilobyte").toStdString();
    words.megabyte = tr("megabyte").toStdString();
    words.yes = tr("Yes").toStdString();
    words.no = tr("No").toStdString();
    words.notAvailable = tr("N/A").toStdString();
    table->setRowCount(kInfoRowCount);
    for (int row = 0; row < kInfoRowCount; ++row) {
        const InfoRow text = InfoRowText(*info, row, _name.toStdString(), words);
        const TextAttributes& attributes = text.dimmed ? _zeroAttr : _normalAttr;
        table->setItem(row, kColumnDescription, textItem(tr(text.label.c_str()), attributes));
        QTableWidgetItem* value = textItem(QString::fromStdString(text.value), attributes);
        if (row == kInfoRowBackground && info->IsValid() && info->m_pBackgroundColor) {
            // The background colour shows as a swatch beside its value.
            const auto& c = info->m_pBackgroundColor->m_Color;
            const int alpha = info->m_pBackgroundColor->m_HasAlpha ? c.alpha : 255;
            value->setData(Qt::DecorationRole, QColor(c.red, c.green, c.blue, alpha));
        }
        table->setItem(row, kColumnValue, value);
    }
}

void AdvancedController::setVisibleTab(int tab)
{
    const int index = info && tab >= 0 && tab < _ui->_tabView->count() ? tab : kTabPlayList;
    _ui->_tabView->setCurrentIndex(index);
}

int AdvancedController::visibleTab() const
{
    return _ui->_tabView->currentIndex();
}

void AdvancedController::tabChanged(int)
{
    if (_app)
        _app->advancedChangeTab();
}

void AdvancedController::setRepeatState(int mode)
{
    if (mode == kRepeatItem) {
        _ui->_btnRepeatStyle->setState(NSImageButton::NSOnState);
        setIcon(_ui->_imgRepeat, "ico_repeat_item", tr("Repeat movie"));
    } else if (mode == kRepeatOnce) {
        _ui->_btnRepeatStyle->setState(NSImageButton::NSOffState);
        setIcon(_ui->_imgRepeat, "ico_repeat_off", tr("Play once"));
    } else {
        _ui->_btnRepeatStyle->setState(NSImageButton::NSMixedState);
        setIcon(_ui->_imgRepeat, "ico_repeat_all", tr("Repeat all"));
    }
}

void AdvancedController::setShuffleState(bool on)
{
    _ui->_btnShuffle->setState(on ? NSImageButton::NSOnState : NSImageButton::NSOffState);
    if (on)
        setIcon(_ui->_imgShuffle, "ico_shuffle_on", tr("Shuffle"));
    else
        setIcon(_ui->_imgShuffle, "ico_shuffle_off", tr("In order"));
}

void AdvancedController::addFilesAction(QObject* sender)
{
    if (_app)
        _app->addFilesAction(sender);
}

void AdvancedController::removeFilesAction(QObject* sender)
{
    if (_app)
        _app->removeFilesAction(sender);
}

void AdvancedController::repeatAction(QObject* sender)
{
    if (_app)
        _app->repeatAction(sender);
}

void AdvancedController::shuffleAction(QObject* sender)
{
    if (_app)
        _app->shuffleAction(sender);
}

void AdvancedController::playListDoubleClick(QObject* sender)
{
    if (_app)
        _app->playListDoubleClick(sender);
}

bool AdvancedController::draggingEntered(const QMimeData* data) const
{
    return !getFileNamesForDrag(data).isEmpty();
}

bool AdvancedController::performDragOperation(const QMimeData* data)
{
    const QStringList paths = getFileNamesForDrag(data);
    if (paths.isEmpty())
        return false;
    if (_app)
        _app->addFilesToList(paths);
    return true;
}

bool AdvancedController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == _window.get()) {
        switch (event->type()) {
        case QEvent::Close:
            if (_app)
                _app->advancedWillClose();
            break;
        case QEvent::DragEnter:
            answerDrag(event, [this](const QMimeData* data) { return draggingEntered(data); });
            return true;
        case QEvent::Drop:
            answerDrag(event, [this](const QMimeData* data) { return performDragOperation(data); });
            return true;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
