#pragma once

#include "app/FolderTreeModel.h"

#include <QTreeView>

namespace lumora
{

// The browser's folder tree. It maps the widget's events onto the four
// notifications the browser acts on:
//   Click           — the user clicked a folder (release of a single click on
//                     an item, not on its expand arrow, not the Desktop place);
//   NodeClick       — Enter on a node;
//   SelectionChange — the current node changed other than by a mouse click or
//                     by setCurrentPath (keyboard moves, the initial selection);
//   DesktopClick    — the user clicked the Desktop place.
class FolderTree : public QTreeView
{
    Q_OBJECT
public:
    explicit FolderTree(QList<FolderTreeModel::Place> places, QWidget *parent = nullptr);

    FolderTreeModel *folderModel() const { return m_model; }

    // The selected folder, ending in '/'; "" when nothing is selected.
    QString currentPath() const;
    // Selects the node of `path`, opening the folders above it, without a
    // SelectionChange. False when the tree has no such folder.
    bool setCurrentPath(const QString &path);
    // The node the tree selects by itself when it is first shown.
    void selectInitialNode(const QModelIndex &index);

signals:
    void Click();
    void NodeClick(const QModelIndex &node);
    void SelectionChange(const QModelIndex &node);
    void DesktopClick();
    // A click on a node's expand arrow: it opens or closes the node only.
    void ArrowClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    bool onItemText(const QPoint &pos, QModelIndex *hit) const;

    FolderTreeModel *m_model;
    bool m_quiet = false;       // current changes that raise no SelectionChange
    bool m_pressOnItem = false; // the pending release belongs to a click on an item
    bool m_inKey = false;       // a key press is being handled by the view
    bool m_keyMoved = false;    // ... and it moved the current node
};

} // namespace lumora
