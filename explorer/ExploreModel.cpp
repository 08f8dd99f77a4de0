#include "explorer/ExploreModel.h"

#include "platform/FileOperations.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace lumora
{

namespace
{
// The caption: a stray byte of a name that is not UTF-8 shows as U+FFFD.
QString namePart(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return platform::displayPath(p.mid(p.lastIndexOf(QLatin1Char('/')) + 1));
}

// The file's URL from its bytes, so a name that is not UTF-8 travels intact.
QUrl urlOf(const QString &path)
{
    return QUrl::fromEncoded("file://" + platform::pathBytes(path).toPercentEncoding("/"));
}
} // namespace

ExploreModel::ExploreModel(QObject *parent) : QAbstractListModel(parent) {}

int ExploreModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ExploreModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_items.size()))
        return {};
    const Item &it = m_items[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return it.caption;
    case Qt::ToolTipRole:
        return it.tooltip.isEmpty() ? QVariant() : QVariant(it.tooltip);
    case TagRole:
        return it.tag;
    case IconKeyRole:
        return it.iconKey;
    case IsFolderRole:
        return it.folder;
    case IsPlaceholderRole:
        return it.iconKey == kLoadingKey;
    case PictureRole:
        if (it.folder)
            return m_folderPic;
        if (it.iconKey == kLoadingKey)
            return m_loadingPic;
        if (it.failed)
            return m_cannotReadPic;
        if (it.dropped) {
            if (!it.wanted) {
                it.wanted = true;
                const quint64 ticket = it.ticket;
                const QString path = it.iconKey;
                // Not from inside paint: the request leaves after it.
                QMetaObject::invokeMethod(
                    const_cast<ExploreModel *>(this),
                    [this, ticket, path] {
                        emit const_cast<ExploreModel *>(this)->thumbnailWanted(ticket, path);
                    },
                    Qt::QueuedConnection);
            }
            return m_loadingPic;
        }
        return it.thumb;
    default:
        return {};
    }
}

Qt::ItemFlags ExploreModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!m_items[size_t(index.row())].tag.isEmpty())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList ExploreModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *ExploreModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &i : indexes) {
        const QString t = tag(i.row());
        if (!t.isEmpty())
            urls << urlOf(t);
    }
    if (urls.isEmpty())
        return nullptr;
    auto *md = new QMimeData;
    md->setUrls(urls);
    return md;
}

Qt::DropActions ExploreModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

void ExploreModel::clear()
{
    beginResetModel();
    m_items.clear();
    m_items.shrink_to_fit();
    m_bytes = 0;
    endResetModel();
}

void ExploreModel::addPlaceholders(int count)
{
    if (count <= 0)
        return;
    const int first = int(m_items.size());
    beginInsertRows({}, first, first + count - 1);
    m_items.resize(m_items.size() + size_t(count));
    for (size_t i = size_t(first); i < m_items.size(); ++i)
        m_items[i].ticket = m_nextTicket++;
    endInsertRows();
}

void ExploreModel::fillFolder(int row, const QString &path)
{
    if (row < 0 || row >= int(m_items.size()))
        return;
    Item &it = m_items[size_t(row)];
    m_bytes -= bytesOf(it.thumb);
    it = Item{namePart(path), path, kFolderKey, QString(), QImage(), it.ticket, true};
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void ExploreModel::fillImage(int row, const QString &path, const QImage &thumb,
                             const QString &error)
{
    if (row < 0 || row >= int(m_items.size()))
        return;
    Item &it = m_items[size_t(row)];
    m_bytes -= bytesOf(it.thumb);
    it = Item{namePart(path), path, path, error, thumb, it.ticket};
    it.failed = thumb.isNull();
    m_bytes += bytesOf(it.thumb);
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
    if (m_bytes > m_budget)
        trim();
}

void ExploreModel::setTag(int row, const QString &path)
{
    if (row < 0 || row >= int(m_items.size()))
        return;
    Item &it = m_items[size_t(row)];
    // A dropped thumbnail is remade from the file under its new name.
    if (!it.folder && it.iconKey == it.tag) {
        it.iconKey = path;
        it.wanted = false; // a remake asked for under the old name is ignored
    }
    it.tag = path;
    it.caption = namePart(path);
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void ExploreModel::askPictureAgain(int row)
{
    if (row < 0 || row >= int(m_items.size()) || m_items[size_t(row)].folder)
        return;
    Item &it = m_items[size_t(row)];
    m_bytes -= bytesOf(it.thumb);
    it.thumb = QImage();
    it.iconKey = it.tag;
    it.tooltip.clear();
    it.failed = false;
    it.dropped = true;
    it.wanted = false;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void ExploreModel::removeItem(int row)
{
    if (row < 0 || row >= int(m_items.size()))
        return;
    beginRemoveRows({}, row, row);
    m_bytes -= bytesOf(m_items[size_t(row)].thumb);
    m_items.erase(m_items.begin() + row);
    endRemoveRows();
}

void ExploreModel::insertItem(int row, const QString &path, bool isFolder)
{
    row = std::clamp(row, 0, int(m_items.size()));
    beginInsertRows({}, row, row);
    Item it;
    it.caption = namePart(path);
    it.tag = path;
    it.ticket = m_nextTicket++;
    it.folder = isFolder;
    if (isFolder) {
        it.iconKey = kFolderKey;
    } else {
        it.iconKey = path;
        it.dropped = true; // asked for when painted, like a thumbnail let go
    }
    m_items.insert(m_items.begin() + row, std::move(it));
    endInsertRows();
}

void ExploreModel::setUnreadable(int row, const QString &reason)
{
    if (row < 0 || row >= int(m_items.size()))
        return;
    Item &it = m_items[size_t(row)];
    m_bytes -= bytesOf(it.thumb);
    it.thumb = QImage();
    it.failed = true;
    it.dropped = false;
    it.tooltip = reason;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

int ExploreModel::findExactTag(const QString &path) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].tag == path)
            return int(i);
    }
    return -1;
}

QString ExploreModel::tag(int row) const
{
    return row >= 0 && row < int(m_items.size()) ? m_items[size_t(row)].tag : QString();
}

QString ExploreModel::iconKey(int row) const
{
    return row >= 0 && row < int(m_items.size()) ? m_items[size_t(row)].iconKey : QString();
}

bool ExploreModel::isFolder(int row) const
{
    return row >= 0 && row < int(m_items.size()) && m_items[size_t(row)].folder;
}

int ExploreModel::findTag(const QString &path) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].tag.compare(path, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QImage ExploreModel::thumbnail(int row) const
{
    return row >= 0 && row < int(m_items.size()) ? m_items[size_t(row)].thumb : QImage();
}

void ExploreModel::setVisibleRows(int first, int last)
{
    m_firstVisible = std::max(0, first);
    m_lastVisible = std::max(m_firstVisible, last);
}

void ExploreModel::trim()
{
    // Drop well below the budget so that trimming is rare.
    const qint64 target = m_budget - m_budget / 8;
    std::vector<std::pair<int, int>> byDistance; // (distance, row)
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].thumb.isNull())
            continue;
        const int r = int(i);
        const int d = r < m_firstVisible  ? m_firstVisible - r
                      : r > m_lastVisible ? r - m_lastVisible
                                          : 0;
        if (d > 0)
            byDistance.emplace_back(d, r);
    }
    std::sort(byDistance.begin(), byDistance.end(), std::greater<>());
    for (const auto &[d, r] : byDistance) {
        if (m_bytes <= target)
            break;
        Item &it = m_items[size_t(r)];
        m_bytes -= bytesOf(it.thumb);
        it.thumb = QImage();
        it.dropped = true;
        it.wanted = false;
    }
}

int ExploreModel::rowOfTicket(quint64 ticket) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].ticket == ticket)
            return int(i);
    }
    return -1;
}

void ExploreModel::restoreThumbnail(quint64 ticket, const QString &path, const QImage &thumb)
{
    const int row = rowOfTicket(ticket);
    if (row < 0)
        return;
    Item &it = m_items[size_t(row)];
    if (!it.dropped || it.iconKey != path)
        return;
    it.dropped = false;
    it.wanted = false;
    if (thumb.isNull()) {
        it.failed = true;
    } else {
        it.thumb = thumb;
        m_bytes += bytesOf(thumb);
    }
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
    if (m_bytes > m_budget)
        trim();
}

void ExploreModel::setPictures(const QImage &folder, const QImage &loading,
                               const QImage &cannotRead)
{
    m_folderPic = folder;
    m_loadingPic = loading;
    m_cannotReadPic = cannotRead;
}

} // namespace lumora
