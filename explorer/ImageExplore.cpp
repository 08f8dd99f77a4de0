#include "explorer/ImageExplore.h"

#include "dialogs/Prompter.h"
#include "explorer/ExploreDelegate.h"
#include "explorer/ExploreModel.h"
#include "explorer/ExplorePictures.h"
#include "explorer/FolderScan.h"
#include "explorer/ThumbnailPipeline.h"
#include "imaging/Twips.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace lumora
{

ImageExplore::ImageExplore(Prompter &prompter, QWidget *parent)
    : QWidget(parent), m_prompter(prompter), m_grid(new QListView(this)), m_note(new QLabel(this)),
      m_model(new ExploreModel(this)), m_pipeline(new ThumbnailPipeline(this))
{
    qRegisterMetaType<lumora::ThumbnailResult>();
    m_model->setPictures(ExplorePictures::folder(), ExplorePictures::loading(),
                         ExplorePictures::cannotRead());

    // Large icons, arranged automatically in rows from the left, wrapped labels,
    // no editing in place, dragging out allowed and nothing dropped in.
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setMovement(QListView::Static);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setWordWrap(true);
    m_grid->setUniformItemSizes(true);
    m_grid->setIconSize(QSize(ExploreDelegate::kBox, ExploreDelegate::kBox));
    m_grid->setGridSize(QSize(ExploreDelegate::kCellWidth, ExploreDelegate::kCellHeight));
    m_grid->setSpacing(0);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setDragEnabled(true);
    m_grid->setAcceptDrops(false);
    m_grid->setDragDropMode(QAbstractItemView::DragOnly);
    m_grid->setDefaultDropAction(Qt::CopyAction);
    m_grid->setFrameShape(QFrame::StyledPanel);
    m_grid->setFrameShadow(QFrame::Sunken);
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new ExploreDelegate(m_grid));
    m_grid->installEventFilter(this);
    m_grid->viewport()->installEventFilter(this);

    m_note->setText(kNoItemsText);
    m_note->setWordWrap(true);
    m_note->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_note->hide();

    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { updateVisibleRows(); });
    connect(m_model, &ExploreModel::thumbnailWanted, m_pipeline, &ThumbnailPipeline::remake);
    connect(m_pipeline, &ThumbnailPipeline::remade, this,
            [this](quint64 ticket, const QString &path, const ThumbnailResult &r) {
                m_model->restoreThumbnail(ticket, path, r.image);
            });

    // The grid follows its folder on disk, whoever changed it.
    m_watcher = new QFileSystemWatcher(this);
    m_syncTimer = new QTimer(this);
    m_syncTimer->setSingleShot(true);
    m_syncTimer->setInterval(150);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_syncTimer,
            qOverload<>(&QTimer::start));
    connect(m_syncTimer, &QTimer::timeout, this, [this] { syncWithDisk(); });

    const Twips tw = Twips::forScreen();
    setMinimumWidth(tw.toPixelsX(kMinWidthTwips));
    layoutParts();
    buildContextMenu();
}

ImageExplore::~ImageExplore()
{
    // A listing further up the stack must find itself superseded.
    ++m_listingId;
    m_listingStopped = true;
}

// ---------------------------------------------------------------- interface

void ImageExplore::SetExt(const QString &s)
{
    if (!m_filter.SetExt(s))
        m_prompter.message(
            this,
            QStringLiteral(
                "Extrsntions should be exist and separtated by spaces only like 'bmp jpg gif'"),
            Prompter::Icon::Warning, Prompter::Buttons::Ok);
}

QStringList ImageExplore::GetImageList(QString &path, const QString &SearchStr) const
{
    return m_filter.GetImageList(path, SearchStr);
}

void ImageExplore::ExplorePath(const QString &path)
{
    if (!m_filter.isSet()) {
        m_prompter.message(this, QStringLiteral("You must call function 'SetExt' first"),
                           Prompter::Icon::Warning, Prompter::Buttons::Ok);
        return;
    }
    QPointer<ImageExplore> alive(this);
    m_shownFolder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    m_holdsShown = false;
    emit CurrSelectedImage(QString());
    if (!alive)
        return;
    m_listingStopped = false;
    watchShownFolder();
    const quint64 ownListing = m_listingId + 1;
    PrepareListing(path, QStringLiteral("*.*"));
    if (!alive)
        return;
    // The first item was shown as soon as it existed; it is made current here
    // unless it still is. After a superseded run this selects the newer
    // grid's first item once more.
    const bool stillShown =
        ownListing == m_listingId && m_firstShownFor == m_listingId && SelectedIndex() == 0;
    if (m_added > 0 && !stillShown)
        SelectItem(1, true);
}

void ImageExplore::PrepareListing(QString path, const QString &SearchStr)
{
    const quint64 listing = ++m_listingId;
    m_pipeline->cancelListing();
    m_model->clear();
    m_note->hide();
    m_added = 0;
    m_rowShift = 0;
    m_undecodable.clear();
    m_syncPending = false;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');

    const FolderEntries entries = scanFolder(path, m_filter, SearchStr);
    if (superseded(listing))
        return;
    m_total = entries.count();
    // The grid takes its final size before any picture is decoded.
    m_model->addPlaceholders(m_total);
    m_holdsShown = true;
    m_grid->viewport()->update();
    m_imageBase = int(entries.folders.size());
    m_pipeline->startListing(entries.images);
    if (!m_listingStopped)
        FillListing(entries, listing);
}

void ImageExplore::FillListing(const FolderEntries &entries, quint64 listing)
{
    QPointer<ImageExplore> alive(this);
    m_added = 0;
    m_note->hide();
    // The first item is made current as soon as it is filled, so the host's
    // preview does not wait for the whole folder; the end of the listing
    // makes it current once more.
    const auto added = [&] {
        if (++m_added == 1) {
            SelectItem(1, true);
            if (alive)
                m_firstShownFor = listing;
        }
        return alive && !superseded(listing);
    };
    for (const QString &folder : entries.folders) {
        if (superseded(listing))
            return;
        if (!addEntry(folder, true) || !added())
            return;
    }
    for (const QString &image : entries.images) {
        if (superseded(listing))
            return;
        if (!addEntry(image, false) || !added())
            return;
    }
    for (const QString &name : entries.undecodable) {
        if (superseded(listing))
            return;
        const int row = m_added - m_rowShift;
        m_model->fillImage(row, name, QImage(), undecodableReason());
        m_undecodable.insert(name);
        ++m_added;
    }
    if (m_added == 0) {
        m_note->show();
        m_note->raise();
    }
    m_listingStopped = true;
    if (m_syncPending) {
        QPointer<ImageExplore> alive(this);
        syncWithDisk();
        if (!alive)
            return;
    }
}

bool ImageExplore::superseded(quint64 listing) const
{
    return m_listingStopped || listing != m_listingId;
}

void ImageExplore::AddImage(const QString &strPath, bool bIsFolder)
{
    addEntry(strPath, bIsFolder);
}

bool ImageExplore::addEntry(const QString &strPath, bool bIsFolder)
{
    QPointer<ImageExplore> alive(this);
    const quint64 listing = m_listingId;
    const int n = m_added + 1;

    ThumbnailResult thumb;
    if (!bIsFolder) {
        bool stillOurs = true;
        thumb = takeThumbnail(n, strPath, stillOurs);
        if (!alive || !stillOurs)
            return false;
    }

    const int row = n - 1 - m_rowShift;
    if (bIsFolder)
        m_model->fillFolder(row, strPath);
    else
        m_model->fillImage(row, strPath, thumb.image, thumb.error);

    if ((n - 1) % kYieldEvery == 0) {
        emit listingYield(n, m_total);
        if (!alive)
            return false;
        QCoreApplication::processEvents();
        if (!alive)
            return false;
    }
    return listing == m_listingId;
}

ThumbnailResult ImageExplore::takeThumbnail(int position, const QString &path, bool &stillOurs)
{
    const int index = position - 1 - m_imageBase;
    if (m_pipeline->pathAt(index) != path)
        return makeThumbnail(path); // not part of the running listing: decode here

    QPointer<ImageExplore> alive(this);
    const quint64 listing = m_listingId;
    for (;;) {
        if (std::optional<ThumbnailResult> r = m_pipeline->take(index))
            return std::move(*r);
        // Waiting for a worker is time the window can use.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!alive || listing != m_listingId) {
            stillOurs = false;
            return {};
        }
    }
}

void ImageExplore::NextItem()
{
    if (itemCount() == 0)
        return;
    m_grid->setFocus();
    SendKey(Qt::Key_Right);
    announceCurrent();
}

void ImageExplore::PrevItem()
{
    if (itemCount() == 0)
        return;
    m_grid->setFocus();
    SendKey(Qt::Key_Left);
    announceCurrent();
}

void ImageExplore::SendKey(int key)
{
    // Handled after the caller returns, exactly like a typed key: the grid moves
    // its current item and the release announces it.
    QCoreApplication::postEvent(m_grid, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(m_grid, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

void ImageExplore::SetSelectedFocus(const QString &sPath)
{
    const int row = m_model->findTag(sPath);
    SetAllSelected(false);
    if (row >= 0)
        m_grid->selectionModel()->setCurrentIndex(m_model->index(row),
                                                  QItemSelectionModel::ClearAndSelect);
}

void ImageExplore::UpdateAfterOperation(const QString &path, const QString &pathTO)
{
    // The very name first: on this system "a.jpg" and "A.jpg" are two files.
    int row = m_model->findExactTag(path);
    if (row < 0)
        row = m_model->findTag(path);
    if (row < 0) {
        // A file that came back (put back from the Trash) shows again.
        if (!pathTO.isEmpty() && QFileInfo::exists(pathTO) &&
            QFileInfo(pathTO).absolutePath() + QLatin1Char('/') == m_shownFolder)
            syncWithDisk();
        return;
    }
    if (!pathTO.isEmpty()) {
        m_model->setTag(row, pathTO);
    } else {
        m_model->removeItem(row);
        // A running listing fills by position; keep it on the right placeholder.
        if (!m_listingStopped && row < m_added - m_rowShift)
            ++m_rowShift;
        emit itemRemoved();
    }
    m_grid->viewport()->update();
}

// ------------------------------------------------------- selection helpers

int ImageExplore::itemCount() const
{
    return m_model->rowCount();
}

int ImageExplore::folderItemCount() const
{
    if (!m_listingStopped)
        return std::min(m_imageBase, itemCount()); // sub-folders are listed first
    int folders = 0;
    for (int row = 0; row < itemCount(); ++row)
        folders += m_model->isFolder(row) ? 1 : 0;
    return folders;
}

QString ImageExplore::itemPath(int position) const
{
    return m_model->tag(position - 1);
}

int ImageExplore::SelectedIndex() const
{
    const QModelIndex cur = m_grid->currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

int ImageExplore::FindItem(const QString &path) const
{
    const int row = m_model->findTag(path);
    return row < 0 ? -1 : row + 1;
}

void ImageExplore::SelectItem(int position, bool announce)
{
    if (position < 1 || position > itemCount())
        return;
    const QModelIndex idx = m_model->index(position - 1);
    // Delete, Copy To and Move To act on every selected item, so a selection of
    // several is only ever the user's own Ctrl/Shift gesture in the grid.
    m_grid->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
    if (announce) {
        QPointer<ImageExplore> alive(this);
        emit CurrSelectedImage(m_model->tag(position - 1));
        if (!alive)
            return;
    }
    takeFocus();
}

void ImageExplore::SetAllSelected(bool select)
{
    if (itemCount() == 0)
        return;
    if (select)
        m_grid->selectAll();
    else
        m_grid->clearSelection();
    takeFocus();
}

void ImageExplore::takeFocus()
{
    if (m_focusStays == 0)
        m_grid->setFocus();
}

void ImageExplore::announceCurrent()
{
    const int row = SelectedIndex();
    if (itemCount() == 0 || row < 0)
        return;
    emit CurrSelectedImage(m_model->tag(row));
}

void ImageExplore::onKeyReleased(Qt::KeyboardModifiers mods, bool fromGrid)
{
    const int row = SelectedIndex();
    if (itemCount() > 0 && row >= 0) {
        // The grid has already handled the press; a current item that is
        // selected may belong to a selection the user extended, which stays.
        const bool keepSelection = (mods & (Qt::ControlModifier | Qt::ShiftModifier)) ||
                                   m_grid->selectionModel()->isSelected(m_model->index(row));
        if (keepSelection) {
            announceCurrent();
            m_grid->setFocus();
        } else
            SelectItem(row + 1, true);
    }
    if (fromGrid)
        m_grid->setFocus();
}

void ImageExplore::openCurrent()
{
    const int row = SelectedIndex();
    if (row < 0)
        return;
    const QString path = m_model->tag(row);
    if (m_undecodable.contains(path)) {
        tellUndecodable(path); // no picture can be read under that name
        return;
    }
    if (!path.isEmpty())
        emit ItemOpened(path, m_model->isFolder(row));
}

// ------------------------------------------------------------------ events

void ImageExplore::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Control && !event->isAutoRepeat())
        onKeyReleased(event->modifiers(), false);
    event->accept();
}

bool ImageExplore::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid) {
        // The selection shows only while the grid has focus.
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            m_grid->viewport()->update();
        if (event->type() == QEvent::KeyRelease) {
            auto *ke = static_cast<QKeyEvent *>(event);
            if (ke->key() != Qt::Key_Control && !ke->isAutoRepeat())
                onKeyReleased(ke->modifiers(), true);
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            auto *ke = static_cast<QKeyEvent *>(event);
            if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
                openCurrent();
                return true;
            }
            if (ke->key() == Qt::Key_Delete) {
                deleteCommand(ke->modifiers());
                update();
                return true;
            }
            if (ke->key() == Qt::Key_Z && (ke->modifiers() & Qt::ControlModifier)) {
                UndoTrash();
                return true;
            }
        }
    } else if (watched == m_grid->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(event);
            // The view made the pressed item current already, on the press.
            if (me->button() == Qt::LeftButton && itemCount() > 0)
                announceCurrent();
            else if (me->button() == Qt::RightButton && itemCount() > 0)
                rightButtonReleased(me->position().toPoint());
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            auto *me = static_cast<QMouseEvent *>(event);
            const QModelIndex hit = m_grid->indexAt(me->position().toPoint());
            if (me->button() == Qt::LeftButton && hit.isValid()) {
                m_grid->selectionModel()->setCurrentIndex(hit, QItemSelectionModel::ClearAndSelect);
                openCurrent();
                return true;
            }
        } else if (event->type() == QEvent::Resize) {
            updateVisibleRows();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ImageExplore::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int minPx = Twips::forScreen().toPixelsX(kMinWidthTwips);
    if (width() < minPx) { // a width of exactly the minimum is already right
        resize(minPx, height());
        return;
    }
    layoutParts();
}

void ImageExplore::layoutParts()
{
    const Twips tw = Twips::forScreen();
    m_grid->setGeometry(0, 0, width(), height());
    const int inset = tw.toPixelsX(kNoteInsetTwips);
    const int margin = inset / 2;
    m_note->setGeometry(margin, margin, std::max(0, width() - inset),
                        m_note->fontMetrics().height() * 2);
}

void ImageExplore::updateVisibleRows()
{
    const QRect r = m_grid->viewport()->rect();
    const QModelIndex first = m_grid->indexAt(r.topLeft() + QPoint(1, 1));
    const QModelIndex last = m_grid->indexAt(r.bottomRight() - QPoint(1, 1));
    const int f = first.isValid() ? first.row() : 0;
    const int l = last.isValid() ? last.row() : f + 64;
    m_model->setVisibleRows(f, l);
}

void ImageExplore::setThumbnailBudget(qint64 bytes)
{
    m_model->setByteBudget(bytes);
}

void ImageExplore::setThumbnailCacheWriting(bool on)
{
    m_pipeline->setCacheWriting(on);
}

} // namespace lumora
