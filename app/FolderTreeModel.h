#pragma once

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace lumora
{

// The folder tree's data: a few places at the top (the Desktop, the home
// folder, the file system root, mounted volumes), each a lazily read tree of
// sub-folders in name order. Folders are read when first expanded, so a tree
// over a large disk costs nothing until the user opens it.
class FolderTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum class Kind { Desktop, Home, Root, Volume, Folder };
    static constexpr int PathRole = Qt::UserRole + 1;

    struct Place {
        Kind kind;
        QString name;
        QString path; // clean, no trailing separator except "/"
    };

    // The user's places: Desktop (when it exists), home, "/", then the
    // volumes mounted under /media, /mnt or /run/media or elsewhere from a
    // real device, each once.
    static QList<Place> defaultPlaces();

    explicit FolderTreeModel(QList<Place> places, QObject *parent = nullptr);
    ~FolderTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QString pathOf(const QModelIndex &index) const;
    Kind kindOf(const QModelIndex &index) const;
    // The node for a folder, reading folders on the way; the place whose path
    // is the longest prefix of `path` is taken (a folder on the Desktop is
    // found under the Desktop, not under home). Invalid when there is none.
    QModelIndex indexForPath(const QString &path);
    // Reads the node's sub-folders again (new or removed folders).
    void refresh(const QModelIndex &index);

private:
    struct Node;
    Node *nodeOf(const QModelIndex &index) const;
    QModelIndex indexOf(const Node *node) const;
    void readChildren(Node *node);

    std::vector<std::unique_ptr<Node>> m_roots;
    QFileIconProvider m_icons;
};

} // namespace lumora
