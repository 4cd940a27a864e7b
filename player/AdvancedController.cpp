#include "AdvancedController.h"

#include "FileDrop.h"
#include "NSInfoCell.h"
#include "PlayerController.h"
#include "SWFInfo.h"
#include "SWFInfoText.h"
#include "ui_AdvancedWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableWidget>

namespace {

enum PlayListColumn { kColumnNumber, kColumnName, kPlayListColumns };
enum InfoColumn { kColumnDescription, kColumnValue, kInfoColumns };

// The current movie of the playlist stands out in this colour.
const QColor kCurrentFileColour = QColor::fromRgbF(0.26f, 0.35f, 0.48f, 1.0f);

QColor normalColour(const QWidget* table)
{
    return table->palette().color(QPalette::Active, QPalette::Text);
}

QColor zeroColour(const QWidget* table)
{
    return table->palette().color(QPalette::Disabled, QPalette::Text);
}

QTableWidgetItem* textItem(const QString& text, const QColor& colour)
{
    auto item = std::make_unique<QTableWidgetItem>(text);
    item->setForeground(colour);
    return item.release(); // the table takes it
}

} // namespace

AdvancedController::AdvancedController()
    : _window(std::make_unique<QWidget>())
    , _ui(std::make_unique<Ui::AdvancedWindow>())
{
    _ui->setupUi(_window.get());
    _window->installEventFilter(this);

    QTableWidget* playList = _ui->_tblPlayList;
    playList->setColumnCount(kPlayListColumns);
    playList->setHorizontalHeaderLabels({ tr("#"), tr("Movie") });
    playList->horizontalHeaderItem(kColumnNumber)->setData(Qt::UserRole, QStringLiteral("PlayList_Number"));
    playList->horizontalHeaderItem(kColumnName)->setData(Qt::UserRole, QStringLiteral("PlayList_Name"));
    playList->horizontalHeader()->setSectionResizeMode(kColumnNumber, QHeaderView::ResizeToContents);
    playList->horizontalHeader()->setStretchLastSection(true);
    playList->verticalHeader()->hide();
    connect(playList, &QTableWidget::cellDoubleClicked, this, [this, playList] { playListDoubleClick(playList); });

    QTableWidget* infoTable = _ui->_tblInfo;
    infoTable->setColumnCount(kInfoColumns);
    infoTable->setHorizontalHeaderLabels({ tr("Description"), tr("Value") });
    infoTable->horizontalHeaderItem(kColumnDescription)->setData(Qt::UserRole, QStringLiteral("Info_Description"));
    infoTable->horizontalHeaderItem(kColumnValue)->setData(Qt::UserRole, QStringLiteral("Info_Value"));
    infoTable->horizontalHeader()->setSectionResizeMode(kColumnDescription, QHeaderView::ResizeToContents);
    infoTable->horizontalHeader()->setStretchLastSection(true);
    infoTable->verticalHeader()->hide();
    // The background colour's row shows a swatch.
    infoTable->setItemDelegateForColumn(kColumnValue, new NSInfoCell(infoTable));

    _ui->_btnAddFile->setToolTip(tr("Add files to Playlist"));
    _ui->_btnRemoveFile->setToolTip(tr("Remove the selected files from Playlist"));
    _ui->_btnShuffle->setToolTip(tr("Turn shuffle on or off"));
    _ui->_btnRepeatStyle->setTristate(true);
    _ui->_btnRepeatStyle->setToolTip(tr("Play playlist once, repeat playlist, or repeat song"));
    connect(_ui->_btnAddFile, &QAbstractButton::clicked, this, [this] { addFilesAction(_ui->_btnAddFile); });
    connect(_ui->_btnRemoveFile, &QAbstractButton::clicked, this, [this] { removeFilesAction(_ui->_btnRemoveFile); });
    connect(_ui->_btnRepeatStyle, &QAbstractButton::clicked, this, [this] { repeatAction(_ui->_btnRepeatStyle); });
    connect(_ui->_btnShuffle, &QAbstractButton::clicked, this, [this] { shuffleAction(_ui->_btnShuffle); });

    info = nullptr;
    // The information tab opens only once a movie has been summarised.
    _ui->_tabView->setTabEnabled(kTabInfo, false);
    connect(_ui->_tabView, &QTabWidget::currentChanged, this, &AdvancedController::tabChanged);
    setRepeatState(kRepeatOnce);
    setShuffleState(false);
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
    const QColor other = normalColour(table);
    for (int row = 0; row < count; ++row) {
        const QColor colour = row == current ? kCurrentFileColour : other;
        table->setItem(row, kColumnNumber, textItem(QString::number(row + 1), colour));
        table->setItem(row, kColumnName, textItem(PlayerController::lastPathComponent(_plist->at(row)), colour));
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
    const QColor normal = normalColour(table);
    const QColor zero = zeroColour(table);
    table->setRowCount(kInfoRowCount);
    for (int row = 0; row < kInfoRowCount; ++row) {
        const InfoRow text = InfoRowText(*info, row, _name.toStdString(), words);
        const QColor colour = text.dimmed ? zero : normal;
        table->setItem(row, kColumnDescription, textItem(tr(text.label.c_str()), colour));
        QTableWidgetItem* value = textItem(QString::fromStdString(text.value), colour);
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
        _ui->_btnRepeatStyle->setCheckState(Qt::Checked);
        _ui->_imgRepeat->setText(tr("Repeat movie"));
    } else if (mode == kRepeatOnce) {
        _ui->_btnRepeatStyle->setCheckState(Qt::Unchecked);
        _ui->_imgRepeat->setText(tr("Play once"));
    } else {
        _ui->_btnRepeatStyle->setCheckState(Qt::PartiallyChecked);
        _ui->_imgRepeat->setText(tr("Repeat all"));
    }
}

void AdvancedController::setShuffleState(bool on)
{
    _ui->_btnShuffle->setChecked(on);
    _ui->_imgShuffle->setText(on ? tr("Shuffle") : tr("In order"));
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
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (draggingEntered(drag->mimeData()))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (performDragOperation(drop->mimeData()))
                drop->acceptProposedAction();
            else
                drop->ignore();
            return true;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
