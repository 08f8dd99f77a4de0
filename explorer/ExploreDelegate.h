#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace lumora
{

// Paints one grid cell: the item's picture fitted into the common 140 x 140
// box (every picture shows at that one size, proportions kept), and the
// caption wrapped below it. The selection shows only while the grid has focus.
class ExploreDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kBox = 140;
    static constexpr int kCellWidth = 160;
    static constexpr int kCellHeight = 190;

    explicit ExploreDelegate(QAbstractItemView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QAbstractItemView *m_view;
};

} // namespace lumora
