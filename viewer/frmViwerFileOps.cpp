// Copy To, Move To, Rename, Delete, Undo and Copy Image of the viewer,
// keeping its list, its caption and the browser's grid in step with the disk.
#include "viewer/frmViwer.h"

#include "dialogs/FileOpCommand.h"
#include "dialogs/Prompter.h"
#include "imaging/ImageClipboard.h"
#include "viewer/BrowserLink.h"
#include "viewer/TypeRule.h"

#include <QCollator>
#include <QFileInfo>

namespace lumora
{

QString frmViwer::shownPath() const
{
    return (m_current >= 0 && m_current < m_paths.size()) ? m_paths.at(m_current) : QString();
}

void frmViwer::DoFileOperation(FileOpType type, QString &destination)
{
    // The folder chooser and the service's questions are windows of their
    // own, outside the viewer's prompter: the show waits for all of them.
    const auto paused = pauseSlideShow();
    // The command acts on the image on screen as it was when its question
    // opened; whatever is shown by the time the answer comes does not change that.
    const QString source = shownPath();
    if (source.isEmpty() || !m_ctx.fileOps.usable())
        return;
    const std::optional<QString> target =
        askFileOpTarget(m_ctx.fileOps, m_ctx.prompter, this, type, source);
    if (!target)
        return;
    destination = *target;
    const FileOpOutcome out = runFileOp(m_ctx.fileOps, this, type, {source}, destination);
    // A copy, or something called off or refused: the file is where it was.
    if (!out.left.contains(source))
        return;
    const int at = (m_current >= 0 && m_current < m_paths.size() && m_paths.at(m_current) == source)
                       ? m_current
                       : int(m_paths.indexOf(source));

    if (type == FileOpType::Rename) {
        // The name the file really got (Keep Both numbers it), never the typed one.
        destination = out.renamedTo;
        if (!bCommand && m_ctx.browser)
            m_ctx.browser->RefreshImages(source, destination);
        if (at < 0)
            return;
        m_paths[at] = destination;
        if (at == m_current) {
            setWindowTitle(viewerCaption(destination));
            // The picture on screen is the same; only its file has a new name.
            ImgX->document()->setSourcePath(destination);
            refreshStatus();
        }
        return;
    }

    if (!bCommand && m_ctx.browser)
        m_ctx.browser->RefreshImages(source, QString());
    if (at < 0)
        return;
    const bool wasShown = at == m_current;
    forgetEntry(at);
    if (m_paths.isEmpty()) {
        // Nothing is left to show or act on: close as Escape does, back to the
        // browser or, from the command line, out of the program.
        ImgX->document()->ResetImages();
        setWindowTitle(QString());
        close();
        return;
    }
    if (!wasShown)
        return;
    int index = m_current;
    ViewImage(QStringList(m_paths), index);
}

void frmViwer::forgetEntry(int at)
{
    removeListEntry(at);
    if (at < m_current)
        --m_current;
    m_slides.entryRemoved(at);
}

void frmViwer::UndoTrash()
{
    const QStringList back = undoLastTrash(m_ctx.fileOps, m_ctx.prompter, this);
    if (back.isEmpty())
        return;
    QCollator order;
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);
    for (const QString &path : back) {
        if (!bCommand && m_ctx.browser)
            m_ctx.browser->RefreshImages(path, path);
        int at = int(m_paths.indexOf(path));
        if (at < 0) {
            // Back among the entries of its folder, in the grid's name order.
            const QFileInfo info(path);
            at = int(m_paths.size());
            int lastOfFolder = -1;
            for (int i = 0; i < m_paths.size(); ++i) {
                const QFileInfo e(m_paths.at(i));
                if (e.path() != info.path())
                    continue;
                lastOfFolder = i;
                if (order.compare(info.fileName(), e.fileName()) < 0) {
                    at = i;
                    lastOfFolder = -1;
                    break;
                }
            }
            if (lastOfFolder >= 0)
                at = lastOfFolder + 1;
            m_paths.insert(at, path);
            m_slides.entryInserted(at);
        }
    }
    int first = int(m_paths.size());
    for (const QString &path : back)
        first = std::min(first, int(m_paths.indexOf(path)));
    ImgX->setZoom(1.0);
    ViewImage(QStringList(m_paths), first);
}

void frmViwer::CopyImage()
{
    const imaging::ImageDocument *doc = ImgX->document();
    if (doc->isEmpty())
        return;
    imaging::CopyToClipboard(doc->currentImage(), shownPath());
}

} // namespace lumora
