#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QList>
#include <QString>

#include <vector>

namespace lumora
{

// The grid's items: placeholders first, filled in listing order. Each item has
// a caption, a tag (its full path, the item's identity) and an icon key
// ("Folder", "A" for a placeholder, or the image's path). Thumbnails are held
// here, compactly, and bounded in bytes: those far from what the view shows
// may be dropped and are asked for again when they are painted.
class ExploreModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        TagRole = Qt::UserRole + 1,
        IconKeyRole,
        IsFolderRole,
        IsPlaceholderRole,
        PictureRole, // QImage to draw
    };

    static inline const QString kFolderKey = QStringLiteral("Folder");
    static inline const QString kLoadingKey = QStringLiteral("A");

    explicit ExploreModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    void clear();
    void addPlaceholders(int count);
    // Fills row `row`: a folder, an image with its thumbnail, or an image that
    // could not be read (`error` becomes its tooltip).
    void fillFolder(int row, const QString &path);
    void fillImage(int row, const QString &path, const QImage &thumb, const QString &error);
    void setTag(int row, const QString &path); // tag and caption
    void removeItem(int row);
    // A new item at `row` for a file or folder that appeared after the
    // listing; an image's thumbnail is made when it is first painted.
    void insertItem(int row, const QString &path, bool isFolder);
    // An item that cannot be opened at all, with the reason as its tooltip.
    void setUnreadable(int row, const QString &reason);
    // Its picture made anew from the file when next painted (a file that
    // could not be read under its old name).
    void askPictureAgain(int row);

    QString tag(int row) const;
    QString iconKey(int row) const;
    bool isFolder(int row) const;
    // 0-based row of the first item whose tag equals `path` ignoring case, or -1.
    int findTag(const QString &path) const;
    // 0-based row of the item whose tag is exactly `path` (names differing in
    // case are different files here), or -1.
    int findExactTag(const QString &path) const;
    QImage thumbnail(int row) const; // null for a placeholder, folder or dropped one

    // Thumbnail memory: the budget and what is held now.
    void setByteBudget(qint64 bytes) { m_budget = bytes; }
    qint64 bytesHeld() const { return m_bytes; }
    // Rows the view shows now; dropping starts farthest from them.
    void setVisibleRows(int first, int last);
    // A remade thumbnail for a dropped one; ignored when the item changed.
    void restoreThumbnail(quint64 ticket, const QString &path, const QImage &thumb);

    void setPictures(const QImage &folder, const QImage &loading, const QImage &cannotRead);

signals:
    // Painting reached an image whose thumbnail was dropped.
    void thumbnailWanted(quint64 ticket, const QString &path);

private:
    struct Item {
        QString caption;
        QString tag;
        QString iconKey = kLoadingKey;
        QString tooltip;
        QImage thumb;
        quint64 ticket = 0; // identity for remakes across removals and refills
        bool folder = false;
        bool failed = false;
        bool dropped = false;
        mutable bool wanted = false;
    };

    static qint64 bytesOf(const QImage &img) { return img.sizeInBytes(); }
    void trim();
    int rowOfTicket(quint64 ticket) const;

    std::vector<Item> m_items;
    QImage m_folderPic, m_loadingPic, m_cannotReadPic;
    qint64 m_budget = qint64(192) << 20;
    qint64 m_bytes = 0;
    int m_firstVisible = 0;
    int m_lastVisible = 0;
    quint64 m_nextTicket = 1;
};

} // namespace lumora
