// The grid's own file commands: the context menu, the Delete key, Copy To,
// Move To, Rename and Copy Image, and how the grid follows what happened on
// disk.
#include "explorer/ImageExplore.h"

#include "dialogs/FileOpCommand.h"
#include "dialogs/Prompter.h"
#include "explorer/ExploreModel.h"
#include "explorer/FolderScan.h"
#include "explorer/ThumbnailMaker.h"
#include "imaging/Decoder.h"
#include "imaging/ImageClipboard.h"
#include "imaging/ImageDocument.h"
#include "platform/FileOperations.h"

#include <QAction>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace lumora
{

void ImageExplore::buildContextMenu()
{
    mnuMenu = new QMenu(QStringLiteral("MENU"), this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    auto add = [this](const char *name, const char *caption) {
        QAction *a = mnuMenu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QAction *copyImage = add("mnuCopyImage", "Copy Image");
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep1"));
    QAction *copyTo = add("mnuCopyTo", "Copy To");
    QAction *moveTo = add("mnuMoveTo", "Move To");
    QAction *del = add("mnuDelete", "Delete");
    QAction *rename = add("mnuRename", "Rename");

    auto fileOp = [this](FileOpType type) {
        QString destination;
        DoFileOperation(type, destination);
    };
    connect(copyImage, &QAction::triggered, this, [this] { CopyImage(); });
    connect(copyTo, &QAction::triggered, this, [fileOp] { fileOp(FileOpType::Copy); });
    connect(moveTo, &QAction::triggered, this, [fileOp] { fileOp(FileOpType::Move); });
    // Shift as it is held when the entry is chosen decides: for good or to the Trash.
    connect(del, &QAction::triggered, this,
            [this] { deleteCommand(QGuiApplication::queryKeyboardModifiers()); });
    connect(rename, &QAction::triggered, this, [fileOp] { fileOp(FileOpType::Rename); });
}

void ImageExplore::rightButtonReleased(const QPoint &pos)
{
    const QModelIndex hit = m_grid->indexAt(pos);
    if (!hit.isValid())
        return;
    // The item under the pointer becomes current; a selection it belongs to
    // stays, so the menu's Delete acts on all of it.
    QItemSelectionModel *sel = m_grid->selectionModel();
    sel->setCurrentIndex(hit, sel->isSelected(hit) ? QItemSelectionModel::Current
                                                   : QItemSelectionModel::ClearAndSelect);
    const QPoint at = m_grid->viewport()->mapToGlobal(pos);
    if (trackMenu) {
        if (QAction *chosen = trackMenu(*mnuMenu, at))
            chosen->trigger();
    } else {
        mnuMenu->exec(at);
    }
}

void ImageExplore::deleteCommand(Qt::KeyboardModifiers modifiers)
{
    QString destination;
    DoFileOperation((modifiers & Qt::ShiftModifier) ? FileOpType::Delete : FileOpType::Trash,
                    destination);
}

QStringList ImageExplore::selectedPathList() const
{
    QList<int> rows;
    for (const QModelIndex &i : m_grid->selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QStringList out;
    for (int row : rows) {
        const QString tag = m_model->tag(row);
        if (!tag.isEmpty()) // a placeholder not filled yet has no file
            out << tag;
    }
    return out;
}

QString ImageExplore::SelectedPaths() const
{
    QString out;
    for (const QString &p : selectedPathList())
        out += p + QChar(0);
    return out;
}

void ImageExplore::DoFileOperation(FileOpType type, QString &destination)
{
    const int row = SelectedIndex();
    if (row < 0 || !m_fileOps.usable())
        return;
    const QString source = m_model->tag(row);
    if (source.isEmpty())
        return;
    // What the command acts on is fixed now, as the user sees it before any
    // question opens: the current item, and for every command but Rename every selected one.
    // A name that is not UTF-8 goes to the service as it is: it works on the
    // real bytes.
    const QStringList sources =
        type == FileOpType::Rename ? QStringList{source} : selectedPathList();
    if (sources.isEmpty())
        return;
    QPointer<ImageExplore> alive(this);
    const std::optional<QString> target =
        askFileOpTarget(m_fileOps, &m_prompter, this, type, source);
    if (!alive || !target)
        return;
    destination = *target;

    const FileOpOutcome out = runFileOp(m_fileOps, this, type, sources, destination);
    if (!alive)
        return;
    if (type == FileOpType::Rename && !out.renamedTo.isEmpty()) {
        // The name the file really got (Keep Both numbers it), never the typed one.
        destination = out.renamedTo;
        const int at = m_model->findExactTag(source);
        if (at >= 0) {
            m_model->setTag(at, out.renamedTo);
            // A name made readable can now be shown; one still unreadable keeps its cross.
            if (m_undecodable.remove(source)) {
                if (platform::displayPath(out.renamedTo) == out.renamedTo)
                    m_model->askPictureAgain(at);
                else
                    m_undecodable.insert(out.renamedTo);
            }
        }
    } else {
        // Every item whose file left the folder leaves the grid, also when
        // the operation was cancelled or failed part-way. The current one goes
        // the way of RemoveListItem: the item before it becomes current.
        for (const QString &gone : out.left) {
            if (gone == source)
                continue;
            const int at = m_model->findExactTag(gone);
            if (at >= 0)
                removeGoneItem(at);
        }
        if (out.left.contains(source)) {
            const int at = m_model->findExactTag(source);
            if (at >= 0)
                RemoveListItem(at);
            if (!alive)
                return;
        }
    }
    syncWithDisk();
}

void ImageExplore::tellUndecodable(const QString &path)
{
    m_prompter.message(
        this,
        QStringLiteral("\"%1\": %2")
            .arg(platform::displayPath(QFileInfo(path).fileName()), undecodableReason()),
        Prompter::Icon::Information, Prompter::Buttons::Ok);
}

void ImageExplore::removeGoneItem(int row)
{
    m_model->removeItem(row);
    // A running listing fills by position; keep it on the right placeholder.
    if (!m_listingStopped && row < m_added - m_rowShift)
        ++m_rowShift;
    emit itemRemoved();
}

void ImageExplore::setSyncDelay(int ms)
{
    m_syncTimer->setInterval(ms);
}

void ImageExplore::watchShownFolder()
{
    const QStringList watched = m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    QString folder = m_shownFolder;
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (QFileInfo(folder).isDir())
        m_watcher->addPath(folder);
}

void ImageExplore::syncWithDisk()
{
    if (!m_holdsShown || m_shownFolder.isEmpty())
        return;
    if (!m_listingStopped) {
        // The listing fills by position; it takes the change when it ends.
        m_syncPending = true;
        return;
    }
    m_syncPending = false;
    m_syncTimer->stop();
    const FolderEntries entries = scanFolder(m_shownFolder, m_filter, QStringLiteral("*.*"));
    QStringList want = entries.folders + entries.images + entries.undecodable;
    QHash<QString, int> order;
    for (int i = 0; i < want.size(); ++i)
        order.insert(want[i], i);
    const QSet<QString> folders(entries.folders.cbegin(), entries.folders.cend());

    QPointer<ImageExplore> alive(this);
    const int currentRow = SelectedIndex();
    const QString currentTag = m_model->tag(currentRow);
    bool changed = false;
    bool currentGone = false;
    int removedBefore = 0; // items before the current one that leave
    for (int r = itemCount() - 1; r >= 0; --r) {
        const QString tag = m_model->tag(r);
        const auto it = order.constFind(tag);
        // A folder that became a file of that name (or the other way) is a new item.
        if (it != order.cend() && m_model->isFolder(r) == folders.contains(tag))
            continue;
        if (r == currentRow)
            currentGone = true;
        else if (r < currentRow)
            ++removedBefore;
        m_model->removeItem(r);
        m_undecodable.remove(tag);
        changed = true;
    }
    // The nearest item before the current one that stays (-1: none).
    const int survivorBefore = currentGone ? currentRow - removedBefore - 1 : -1;
    // New entries go before the first item that sorts after them.
    QSet<QString> have;
    for (int r = 0; r < itemCount(); ++r)
        have.insert(m_model->tag(r));
    const QSet<QString> undecodable(entries.undecodable.cbegin(), entries.undecodable.cend());
    for (int i = 0; i < want.size(); ++i) {
        if (have.contains(want[i]))
            continue;
        int at = itemCount();
        for (int r = 0; r < itemCount(); ++r) {
            if (order.value(m_model->tag(r), -1) > i) {
                at = r;
                break;
            }
        }
        m_model->insertItem(at, want[i], folders.contains(want[i]));
        if (undecodable.contains(want[i])) {
            m_model->setUnreadable(at, undecodableReason());
            m_undecodable.insert(want[i]);
        }
        have.insert(want[i]);
        changed = true;
    }
    if (!changed)
        return;
    m_note->setVisible(itemCount() == 0);
    if (currentGone) {
        // As RemoveListItem does: the item before becomes current, else none.
        SetAllSelected(false);
        if (survivorBefore >= 0) {
            SelectItem(survivorBefore + 1, true);
            if (!alive)
                return;
        }
    } else if (!currentTag.isEmpty()) {
        const int r = m_model->findExactTag(currentTag);
        if (r >= 0 && r != SelectedIndex())
            m_grid->selectionModel()->setCurrentIndex(m_model->index(r),
                                                      QItemSelectionModel::NoUpdate);
    }
    m_grid->viewport()->update();
    emit itemRemoved();
}

void ImageExplore::UndoTrash()
{
    QPointer<ImageExplore> alive(this);
    const QStringList back = undoLastTrash(m_fileOps, &m_prompter, this);
    if (!alive || back.isEmpty())
        return;
    syncWithDisk();
    if (!alive)
        return;
    for (const QString &p : back) {
        const int at = m_model->findExactTag(p);
        if (at >= 0) {
            SelectItem(at + 1, true);
            return;
        }
    }
}

void ImageExplore::RemoveListItem(int position)
{
    if (position < 0 || position >= itemCount())
        return;
    SetAllSelected(false);
    m_grid->setFocus();
    if (position >= 1) {
        QPointer<ImageExplore> alive(this);
        SelectItem(position, true); // the item before, 1-based
        if (!alive)
            return;
    }
    m_grid->setFocus();
    m_model->removeItem(position);
    // A running listing fills by position; keep it on the right placeholder.
    if (!m_listingStopped && position < m_added - m_rowShift)
        ++m_rowShift;
    m_grid->viewport()->update();
    emit itemRemoved();
}

bool ImageExplore::CopyImage()
{
    const int row = SelectedIndex();
    const QString path = row < 0 ? QString() : m_model->tag(row);
    if (path.isEmpty())
        return false;
    if (m_undecodable.contains(path)) {
        tellUndecodable(path);
        return false;
    }
    QImage picture;
    QString error;
    if (usesPictureRoute(path)) {
        picture = imaging::loadPicture(path, &error);
    } else {
        imaging::ImageDocument doc;
        const Result<> r = doc.LoadFromFile(path);
        if (r.ok())
            picture = doc.currentImage();
        else
            error = r.error();
    }
    if (picture.isNull() || !imaging::CopyToClipboard(picture, path)) {
        m_prompter.message(
            this,
            QStringLiteral("\"%1\" cannot be copied as a picture.").arg(QFileInfo(path).fileName()),
            Prompter::Icon::Information, Prompter::Buttons::Ok);
        return false;
    }
    return true;
}

} // namespace lumora
