#include "explorer/ExploreDelegate.h"

#include "explorer/ExploreModel.h"

#include <QAbstractItemView>
#include <QImage>
#include <QPainter>
#include <QTextOption>

namespace lumora
{

ExploreDelegate::ExploreDelegate(QAbstractItemView *view) : QStyledItemDelegate(view), m_view(view)
{
}

void ExploreDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    painter->save();
    const QRect cell = option.rect.adjusted(2, 2, -2, -2);
    const bool selected = (option.state & QStyle::State_Selected) && m_view->hasFocus();
    const QPalette &pal = option.palette;
    if (selected) {
        QColor hl = pal.color(QPalette::Highlight);
        hl.setAlpha(90);
        painter->fillRect(cell, hl);
    }

    const QImage pic = index.data(ExploreModel::PictureRole).value<QImage>();
    const QRect box(cell.left() + (cell.width() - kBox) / 2, cell.top() + 3, kBox, kBox);
    if (!pic.isNull()) {
        const QSize fitted = pic.size().scaled(box.size(), Qt::KeepAspectRatio);
        const QRect target(box.left() + (box.width() - fitted.width()) / 2,
                           box.top() + (box.height() - fitted.height()) / 2, fitted.width(),
                           fitted.height());
        painter->setRenderHint(QPainter::SmoothPixmapTransform, fitted != pic.size());
        painter->drawImage(target, pic);
    }

    const QString caption = index.data(Qt::DisplayRole).toString();
    if (!caption.isEmpty()) {
        const QRect textRect(cell.left() + 2, box.bottom() + 4, cell.width() - 4,
                             cell.bottom() - box.bottom() - 4);
        // The highlight is a light tint, so the normal text colour stays readable on it.
        painter->setPen(pal.color(QPalette::Text));
        painter->setFont(option.font);
        painter->setClipRect(textRect);
        // Lines break between words where they can ("IMG 1017" never as
        // "IMG 10" over "17"); only a word wider than the cell is split.
        QTextOption wrap(Qt::AlignHCenter | Qt::AlignTop);
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter->drawText(QRectF(textRect), caption, wrap);
    }
    painter->restore();
}

QSize ExploreDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {kCellWidth, kCellHeight};
}

} // namespace lumora
