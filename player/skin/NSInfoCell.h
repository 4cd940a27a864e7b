// The value column's delegate of the information table: a colour value is drawn as a swatch, anything else as
// plain text.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

class NSInfoCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NSInfoCell(QObject* parent = nullptr);

    static const QColor kBackground; // behind the swatch
    static const QColor kSelectedBackground; // behind the swatch of a selected row
    static const QColor kOutline;
    static constexpr int kSwatchInset = 4;

    // Draws the swatch of the colour into the frame.
    static void drawSwatch(QPainter* painter, const QRect& frame, const QColor& color, bool selected);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
