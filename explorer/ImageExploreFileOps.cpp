// The grid's own file commands: the context menu, the Delete key, Copy To,
// Move To, Rename and Copy Image, and how the grid follows what happened on
// disk.
#include "explorer/ImageExplore.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmFile.h"
#include "explorer/ExploreModel.h"
#include "explorer/ThumbnailMaker.h"
#include "imaging/Decoder.h"
#include "imaging/ImageClipboard.h"
#include "imaging/ImageDocument.h"
#include "platform/FileOperations.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QMenu>
#include <QPointer>

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

    auto fileOp = [this](int opType) {
        QString destination;
        DoFileOperation(opType, destination);
    };
    connect(copyImage, &QAction::triggered, this, [this] { CopyImage(); });
    connect(copyTo, &QAction::triggered, this, [fileOp] { fileOp(1); });
    connect(moveTo, &QAction::triggered, this, [fileOp] { fileOp(4); });
    // Shift as it is held when the entry is chosen decides: for good or to the Trash.
    connect(del, &QAction::triggered, this,
            [this] { deleteCommand(QGuiApplication::queryKeyboardModifiers()); });
    connect(rename, &QAction::triggered, this, [fileOp] { fileOp(5); });
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
    DoFileOperation((modifiers & Qt::ShiftModifier) ? 3 : 2, destination);
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

void ImageExplore::DoFileOperation(int opType, QString &destination)
{
    const int row = SelectedIndex();
    if (row < 0 || !m_fileOps.usable())
        return;
    const QString source = m_model->tag(row);
    if (source.isEmpty())
        return;
    const QFileInfo info(source);
    QPointer<ImageExplore> alive(this);

    switch (opType) {
    case 1:
    case 4: {
        frmFile *chooser = m_fileOps.chooser ? m_fileOps.chooser() : nullptr;
        if (!chooser)
            return;
        const QString folder = chooser->ShowFileForm(opType, source);
        if (!alive || folder.isEmpty())
            return;
        destination = folder + info.fileName();
        break;
    }
    case 2:
    case 3:
        destination.clear();
        break;
    case 5: {
        const std::optional<QString> name = m_prompter.inputText(
            this, QStringLiteral("Rename File"), QStringLiteral("File Name:"), info.fileName());
        if (!alive)
            return;
        // Cancel and an empty answer leave the folder itself, which is refused
        // along with the name of a sub-folder.
        destination = info.path() + QLatin1Char('/') + name.value_or(QString());
        if (QFileInfo(destination).isDir())
            return;
        break;
    }
    default:
        return;
    }

    const QStringList sources = opType == 5 ? QStringList{source} : selectedPathList();
    if (sources.isEmpty())
        return;
    if (opType == 5 && destination == source)
        return;

    // A file in the root folder gives "//name"; one separator is meant.
    QString target = destination;
    target.replace(QStringLiteral("//"), QStringLiteral("/"));
    const platform::FileOpRequest request =
        platform::FileOpRequest::forOperation(opType, sources, target);
    const std::unique_ptr<platform::FileOpQuestions> questions = m_fileOps.questions(this);
    if (!questions)
        return;
    const int answer = m_fileOps.operations->perform(request, *questions);
    if (!alive || answer != 0)
        return;
    if (QFileInfo(source).isFile())
        return; // a copy, or called off on the way

    // The grid may have changed while the questions were open (a listing
    // lets events run): act on the item that still carries the source.
    const int at = m_model->tag(row) == source ? row : m_model->findTag(source);
    if (at < 0)
        return;
    if (opType == 5)
        m_model->setTag(at, target);
    else
        RemoveListItem(at);
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
    QImage picture;
    QString error;
    if (usesPictureRoute(path)) {
        picture = imaging::loadPicture(path, &error);
    } else {
        imaging::ImageDocument doc;
        const imaging::LoadResult r = doc.LoadFromFile(path);
        if (r.ok)
            picture = doc.currentImage();
        else
            error = r.error;
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
