#include "app/FolderTreeModel.h"

#include "explorer/NameOrder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>

namespace lumora
{

struct FolderTreeModel::Node {
    Kind kind = Kind::Folder;
    QString name;
    QString path;
    Node *parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
    bool fetched = false;
    mutable int hasSub = -1; // -1 not looked at yet
};

namespace
{

QString cleanFolder(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(path);
}

QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Sub-folder names as a file manager shows them: no dot folders, links that
// lead to a folder included, name order.
QStringList subFolders(const QString &path)
{
    QStringList names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    sortByName(names);
    return names;
}

bool hasSubFolder(const QString &path)
{
    QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot);
    return it.hasNext();
}

bool isUnder(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

QList<FolderTreeModel::Place> FolderTreeModel::defaultPlaces()
{
    QList<Place> places;
    const QString desktop =
        cleanFolder(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    const QString home = cleanFolder(QDir::homePath());
    if (!desktop.isEmpty() && desktop != home && QFileInfo(desktop).isDir())
        places.append({Kind::Desktop, QStringLiteral("Desktop"), desktop});
    if (!home.isEmpty() && home != QLatin1String("/") && QFileInfo(home).isDir())
        places.append({Kind::Home, QStringLiteral("Home"), home});
    places.append({Kind::Root, QStringLiteral("File System"), QStringLiteral("/")});

    static const char *const systemAreas[] = {"/boot", "/proc", "/sys", "/dev", "/run", "/snap",
                                              "/var",  "/etc",  "/usr", "/tmp", "/opt", "/srv"};
    QSet<QString> seen = {QStringLiteral("/"), home};
    const auto volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : volumes) {
        if (!v.isValid() || !v.isReady())
            continue;
        const QString root = cleanFolder(v.rootPath());
        if (seen.contains(root) || !QFileInfo(root).isDir())
            continue;
        const bool removable = root.startsWith(QLatin1String("/media/")) ||
                               root.startsWith(QLatin1String("/mnt/")) ||
                               root.startsWith(QLatin1String("/run/media/"));
        bool system = false;
        for (const char *area : systemAreas)
            system = system || isUnder(root, QLatin1String(area));
        const bool fromDevice = v.device().startsWith("/dev/");
        if (!removable && (system || !fromDevice))
            continue;
        seen.insert(root);
        QString name = v.name();
        if (name.isEmpty())
            name = QFileInfo(root).fileName();
        places.append({Kind::Volume, name, root});
    }
    return places;
}

FolderTreeModel::FolderTreeModel(QList<Place> places, QObject *parent) : QAbstractItemModel(parent)
{
    int row = 0;
    for (const Place &p : places) {
        auto node = std::make_unique<Node>();
        node->kind = p.kind;
        node->name = p.name;
        node->path = cleanFolder(p.path);
        node->row = row++;
        m_roots.push_back(std::move(node));
    }
}

FolderTreeModel::~FolderTreeModel() = default;

FolderTreeModel::Node *FolderTreeModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : nullptr;
}

QModelIndex FolderTreeModel::indexOf(const Node *node) const
{
    return node ? createIndex(node->row, 0, const_cast<Node *>(node)) : QModelIndex();
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const Node *p = nodeOf(parent);
    const auto &list = p ? p->children : m_roots;
    if (row >= int(list.size()))
        return {};
    return createIndex(row, 0, list[std::size_t(row)].get());
}

QModelIndex FolderTreeModel::parent(const QModelIndex &child) const
{
    const Node *n = nodeOf(child);
    return n ? indexOf(n->parent) : QModelIndex();
}

int FolderTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node *p = nodeOf(parent);
    return int(p ? p->children.size() : m_roots.size());
}

int FolderTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex &parent) const
{
    const Node *p = nodeOf(parent);
    if (!p)
        return !m_roots.empty();
    if (p->fetched)
        return !p->children.empty();
    if (p->hasSub < 0)
        p->hasSub = hasSubFolder(p->path) ? 1 : 0;
    return p->hasSub == 1;
}

bool FolderTreeModel::canFetchMore(const QModelIndex &parent) const
{
    const Node *p = nodeOf(parent);
    return p && !p->fetched;
}

void FolderTreeModel::fetchMore(const QModelIndex &parent)
{
    if (Node *p = nodeOf(parent); p && !p->fetched)
        readChildren(p);
}

void FolderTreeModel::readChildren(Node *node)
{
    node->fetched = true;
    const QStringList names = subFolders(node->path);
    node->hasSub = names.isEmpty() ? 0 : 1;
    if (names.isEmpty())
        return;
    beginInsertRows(indexOf(node), 0, int(names.size()) - 1);
    int row = 0;
    for (const QString &name : names) {
        auto child = std::make_unique<Node>();
        child->name = name;
        child->path = childPath(node->path, name);
        child->parent = node;
        child->row = row++;
        node->children.push_back(std::move(child));
    }
    endInsertRows();
}

void FolderTreeModel::refresh(const QModelIndex &index)
{
    Node *node = nodeOf(index);
    if (!node)
        return;
    if (!node->fetched) {
        readChildren(node);
        return;
    }
    const QStringList names = subFolders(node->path);
    // Drop what is gone, from the end so rows stay valid while removing.
    for (int r = int(node->children.size()) - 1; r >= 0; --r) {
        if (names.contains(node->children[std::size_t(r)]->name))
            continue;
        beginRemoveRows(index, r, r);
        node->children.erase(node->children.begin() + r);
        endRemoveRows();
    }
    // Insert what is new at its place in name order.
    for (const QString &name : names) {
        int r = 0;
        bool present = false;
        for (; r < int(node->children.size()); ++r) {
            const QString &have = node->children[std::size_t(r)]->name;
            if (have == name) {
                present = true;
                break;
            }
            if (nameLess(name, have))
                break;
        }
        if (present)
            continue;
        beginInsertRows(index, r, r);
        auto child = std::make_unique<Node>();
        child->name = name;
        child->path = childPath(node->path, name);
        child->parent = node;
        node->children.insert(node->children.begin() + r, std::move(child));
        for (int i = 0; i < int(node->children.size()); ++i)
            node->children[std::size_t(i)]->row = i;
        endInsertRows();
    }
    for (int i = 0; i < int(node->children.size()); ++i)
        node->children[std::size_t(i)]->row = i;
    node->hasSub = node->children.empty() ? 0 : 1;
}

QVariant FolderTreeModel::data(const QModelIndex &index, int role) const
{
    const Node *n = nodeOf(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return n->name;
    case Qt::ToolTipRole:
    case PathRole:
        return n->path;
    case Qt::DecorationRole:
        switch (n->kind) {
        case Kind::Desktop:
            return m_icons.icon(QFileIconProvider::Desktop);
        case Kind::Root:
            return m_icons.icon(QFileIconProvider::Computer);
        case Kind::Volume:
            return m_icons.icon(QFileIconProvider::Drive);
        case Kind::Home:
        case Kind::Folder:
            return m_icons.icon(QFileIconProvider::Folder);
        }
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString FolderTreeModel::pathOf(const QModelIndex &index) const
{
    const Node *n = nodeOf(index);
    return n ? n->path : QString();
}

FolderTreeModel::Kind FolderTreeModel::kindOf(const QModelIndex &index) const
{
    const Node *n = nodeOf(index);
    return n ? n->kind : Kind::Folder;
}

QModelIndex FolderTreeModel::indexForPath(const QString &rawPath)
{
    const QString path = cleanFolder(rawPath);
    if (path.isEmpty())
        return {};
    Node *best = nullptr;
    for (const auto &root : m_roots) {
        if (isUnder(path, root->path) && (!best || root->path.size() > best->path.size()))
            best = root.get();
    }
    if (!best)
        return {};

    Node *node = best;
    while (node->path != path) {
        if (!node->fetched)
            readChildren(node);
        const QString rest =
            node->path == QLatin1String("/") ? path.mid(1) : path.mid(node->path.size() + 1);
        const QString name = rest.section(QLatin1Char('/'), 0, 0);
        auto find = [&]() -> Node * {
            for (const auto &c : node->children)
                if (c->name == name)
                    return c.get();
            return nullptr;
        };
        Node *next = find();
        if (!next) {
            // Made after the folder was read (or hidden): read it again.
            refresh(indexOf(node));
            next = find();
        }
        if (!next)
            return {};
        node = next;
    }
    return indexOf(node);
}

} // namespace lumora
