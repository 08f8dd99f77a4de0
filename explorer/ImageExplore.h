#pragma once

#include "dialogs/FileOpCommand.h"
#include "dialogs/FileOpServices.h"
#include "explorer/ExtensionFilter.h"
#include "explorer/ThumbnailMaker.h"

#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QTimer;
class QListView;
class QMenu;

namespace lumora
{

class ExploreModel;
class Prompter;
class ThumbnailPipeline;
struct FolderEntries;

// The reusable thumbnail explorer: a folder shown as a grid of large icons,
// sub-folders first, then images in the same order as GetImageList. The host
// sets the extension list, asks for folders and learns the current item from
// CurrSelectedImage; the control knows nothing of its host.
//
// Listing runs on the calling thread and lets pending events run every 20
// items, so the host may call back in (a newer ExplorePath supersedes the
// running one). Thumbnails are decoded ahead on a worker pool and taken in
// listing order.
class ImageExplore : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("ClassName", "Lumora.ImageExplore")
public:
    static constexpr const char *kClassName = "Lumora.ImageExplore";
    static constexpr int kYieldEvery = 20;
    static constexpr double kMinWidthTwips = 1600;
    static constexpr double kNoteInsetTwips = 400;
    static inline const QString kNoItemsText = QStringLiteral("there are no items to show.");

    explicit ImageExplore(Prompter &prompter, QWidget *parent = nullptr);
    ~ImageExplore() override;

    // --- the control's interface ---
    void ExplorePath(const QString &path);
    // Fills the placeholder at position addedCount()+1; the listing calls it.
    void AddImage(const QString &strPath, bool bIsFolder = false);
    void SetExt(const QString &s);
    // Image files of a folder in grid order; `path` receives a trailing '/'.
    QStringList GetImageList(QString &path, const QString &SearchStr = QStringLiteral("*.*")) const;
    void NextItem();
    void PrevItem();
    void SetSelectedFocus(const QString &sPath);
    void UpdateAfterOperation(const QString &path, const QString &pathTO = QString());

    // --- used by the control's own parts and by file operations on it ---
    bool IsImageFile(const QString &path) const { return m_filter.IsImageFile(path); }
    int SelectedIndex() const;               // 0-based, -1 when none
    int FindItem(const QString &path) const; // 1-based, -1 when none
    void SelectItem(int position, bool announce);
    void SetAllSelected(bool select);

    // --- state ---
    int addedCount() const { return m_added; }
    bool listingStopped() const { return m_listingStopped; }
    int itemCount() const;
    // The folder being shown (with a trailing '/'), and whether the grid's
    // items are already that folder's (false while its entries are read).
    const QString &shownFolder() const { return m_shownFolder; }
    bool holdsShownFolder() const { return m_holdsShown; }
    // Sub-folder items of the grid, those still waiting to be filled included.
    int folderItemCount() const;
    QString itemPath(int position) const; // 1-based
    const QString &extensionList() const { return m_filter.extensions(); }
    QListView *grid() const { return m_grid; }
    ExploreModel *model() const { return m_model; }
    QLabel *note() const { return m_note; }
    // Memory the thumbnails may use before far-away ones are dropped.
    void setThumbnailBudget(qint64 bytes);
    // Whether new thumbnails go to the desktop's disk cache (reading stays).
    void setThumbnailCacheWriting(bool on);
    // Whether today's formats are listed beside SetExt's list (whole extensions).
    void setMoreImageTypes(bool on) { m_filter.setMoreTypes(on); }
    ThumbnailPipeline *pipeline() const { return m_pipeline; }

    // --- file operations on the items (1 copy, 2 trash, 3 delete, 4 move, 5 rename)
    void setFileOperations(const FileOpServices &services) { m_fileOps = services; }
    void DoFileOperation(FileOpType type, QString &destination);
    // Tags of the selected items in grid order, each followed by one NUL.
    QString SelectedPaths() const;
    QStringList selectedPathList() const;
    void RemoveListItem(int position); // 0-based
    bool CopyImage();
    // Ctrl+Z: the last Delete to the Trash put back, and shown again.
    void UndoTrash();
    // Brings the grid in line with the shown folder on disk: items whose file
    // has gone leave, files that appeared (a copy kept beside its original, a
    // file put back, one written by another program) come in at their place in
    // name order. Runs after every file command and when the folder changes.
    void syncWithDisk();
    // How long a change on disk waits before the grid follows (changes close
    // together are taken at once).
    void setSyncDelay(int ms);
    // Items listed with a red cross because their names are not valid text.
    bool isUndecodable(const QString &tag) const { return m_undecodable.contains(tag); }
    QMenu *contextMenu() const { return mnuMenu; }
    // While a host holds this (nested holds count), making an item current
    // leaves the keyboard focus where it is: a folder tree walked with the
    // keyboard keeps it while each folder is listed.
    class FocusStays
    {
    public:
        explicit FocusStays(ImageExplore &e) : m_e(&e) { ++e.m_focusStays; }
        ~FocusStays()
        {
            if (m_e) // a listing lets events run; the control may be gone after it
                --m_e->m_focusStays;
        }
        FocusStays(const FocusStays &) = delete;
        FocusStays &operator=(const FocusStays &) = delete;

    private:
        QPointer<ImageExplore> m_e;
    };
    // Tests replace the modal tracking of the context menu; it returns the entry chosen.
    std::function<QAction *(QMenu &, const QPoint &)> trackMenu;

signals:
    // The item that has become current, or "" when the grid is about to refill.
    void CurrSelectedImage(const QString &path);
    // Double click or Enter on an item.
    void ItemOpened(const QString &path, bool isFolder);
    // The listing is about to let pending events run after filling `position`.
    void listingYield(int position, int total);
    // Items have been taken out of the grid (deleted or moved away) or put in
    // (files that appeared): the count of items changed.
    void itemRemoved();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeFocus();
    void PrepareListing(QString path, const QString &SearchStr);
    void FillListing(const FolderEntries &entries, quint64 listing);
    // False when the listing that called it must stop (superseded or gone).
    bool addEntry(const QString &strPath, bool bIsFolder);
    ThumbnailResult takeThumbnail(int position, const QString &path, bool &stillOurs);
    bool superseded(quint64 listing) const;
    void SendKey(int key);
    void announceCurrent();
    void onKeyReleased(Qt::KeyboardModifiers mods, bool fromGrid);
    void openCurrent();
    void layoutParts();
    void updateVisibleRows();
    void buildContextMenu();
    void rightButtonReleased(const QPoint &pos);
    void deleteCommand(Qt::KeyboardModifiers modifiers);
    // Takes out an item whose file has gone, other than the current one.
    void removeGoneItem(int row);
    // Why an item whose name is not UTF-8 cannot be shown or opened.
    void tellUndecodable(const QString &path);
    void watchShownFolder();

    Prompter &m_prompter;
    ExtensionFilter m_filter;
    QListView *m_grid;
    QLabel *m_note;
    ExploreModel *m_model;
    ThumbnailPipeline *m_pipeline;

    int m_added = 0;
    bool m_listingStopped = true;
    quint64 m_listingId = 0;
    int m_focusStays = 0;
    quint64 m_firstShownFor = 0; // the listing whose first item was shown early
    int m_imageBase = 0;         // position of the first image item minus one
    int m_rowShift = 0;          // items removed ahead of the fill position while listing
    int m_total = 0;
    QString m_shownFolder;
    bool m_holdsShown = false;
    FileOpServices m_fileOps;
    QMenu *mnuMenu = nullptr;
    QSet<QString> m_undecodable;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_syncTimer = nullptr;
    bool m_syncPending = false; // the disk changed while a listing ran
};

} // namespace lumora
