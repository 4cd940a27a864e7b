#include "NSInfoCell.h"

#include <QPainter>

const QColor NSInfoCell::kBackground = QColor::fromRgbF(0.8f, 0.8f, 0.8f, 1.0f);
const QColor NSInfoCell::kSelectedBackground = QColor::fromRgbF(0.06f, 0.6f, 0.6f, 1.0f);
const QColor NSInfoCell::kOutline = QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f);

NSInfoCell::NSInfoCell(QObject* parent)
    : QStyledItemDelegate(parent)
{ }

void NSInfoCell::drawSwatch(QPainter* painter, const QRect& frame, const QColor& color, bool selected)
{
    painter->save();
    // Fills replace the pixels rather than blend, so a translucent colour shows as it is.
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->fillRect(frame, selected ? kSelectedBackground : kBackground);
    painter->setPen(QPen(kOutline, 1.0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(frame.adjusted(0, 0, -1, -1));
    const QRect inner = frame.adjusted(kSwatchInset, kSwatchInset, -kSwatchInset, -kSwatchInset);
    if (inner.isValid())
        painter->fillRect(inner, color);
    painter->restore();
}

void NSInfoCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The colour comes as the item's value, or as its decoration (which then stands for the whole value).
    QVariant value = index.data(Qt::DisplayRole);
    if (value.typeId() != QMetaType::QColor)
        value = index.data(Qt::DecorationRole);
    if (value.typeId() != QMetaType::QColor) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    drawSwatch(painter, option.rect, value.value<QColor>(), option.state & QStyle::State_Selected);
}
