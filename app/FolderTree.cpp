#include "app/FolderTree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace lumora
{

FolderTree::FolderTree(QList<FolderTreeModel::Place> places, QWidget *parent)
    : QTreeView(parent), m_model(new FolderTreeModel(std::move(places), this))
{
    setModel(m_model);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setExpandsOnDoubleClick(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setIconSize(QSize(18, 18));
}

QString FolderTree::currentPath() const
{
    const QString path = m_model->pathOf(currentIndex());
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

bool FolderTree::setCurrentPath(const QString &path)
{
    const QModelIndex idx = m_model->indexForPath(path);
    if (!idx.isValid())
        return false;
    for (QModelIndex up = idx.parent(); up.isValid(); up = up.parent())
        expand(up);
    m_quiet = true;
    setCurrentIndex(idx);
    m_quiet = false;
    scrollTo(idx);
    return true;
}

void FolderTree::selectInitialNode(const QModelIndex &index)
{
    // Like any selection that does not come from a click: the browser decides
    // whether it lists anything.
    setCurrentIndex(index);
}

bool FolderTree::onItemText(const QPoint &pos, QModelIndex *hit) const
{
    const QModelIndex idx = indexAt(pos);
    if (!idx.isValid())
        return false;
    // Left of the item's own rectangle is the expand arrow.
    if (pos.x() < visualRect(idx).left())
        return false;
    if (hit)
        *hit = idx;
    return true;
}

void FolderTree::mousePressEvent(QMouseEvent *event)
{
    m_pressOnItem =
        event->button() == Qt::LeftButton && onItemText(event->position().toPoint(), nullptr);
    const bool onArrow = event->button() == Qt::LeftButton && !m_pressOnItem &&
                         indexAt(event->position().toPoint()).isValid();
    // The click that follows lists the folder; the change of node it makes
    // on the way is not announced a second time.
    m_quiet = true;
    QTreeView::mousePressEvent(event);
    m_quiet = false;
    if (onArrow)
        emit ArrowClick();
}

void FolderTree::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_pressOnItem)
        return;
    m_pressOnItem = false;
    QModelIndex hit;
    if (!onItemText(event->position().toPoint(), &hit))
        return;
    if (m_model->kindOf(hit) == FolderTreeModel::Kind::Desktop)
        emit DesktopClick();
    else
        emit Click();
}

void FolderTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click of the pair listed the folder already; the second only
    // opens or closes the node.
    m_quiet = true;
    QTreeView::mouseDoubleClickEvent(event);
    m_quiet = false;
    m_pressOnItem = false;
}

void FolderTree::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        emit NodeClick(currentIndex());
        event->accept();
        return;
    }
    // The browser lists the folder a key lands on only after the view has
    // finished with the key: a listing lets other keys run, and the view
    // would otherwise put its highlight back on this key's folder after them.
    m_inKey = true;
    m_keyMoved = false;
    QTreeView::keyPressEvent(event);
    m_inKey = false;
    if (m_keyMoved && currentIndex().isValid()) {
        m_keyMoved = false;
        emit SelectionChange(currentIndex());
    }
}

void FolderTree::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    if (m_quiet || !current.isValid())
        return;
    if (m_inKey)
        m_keyMoved = true;
    else
        emit SelectionChange(current);
}

} // namespace lumora
