// Copy To, Move To, Rename, Delete and Copy Image of the viewer, keeping its
// list, its caption and the browser's grid in step with the disk.
#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/frmFile.h"
#include "imaging/ImageClipboard.h"
#include "platform/FileOperations.h"
#include "viewer/BrowserLink.h"
#include "viewer/TypeRule.h"

#include <QFileInfo>

namespace lumora
{

void frmViwer::DoFileOperation(int opType, QString &destination)
{
    // The folder chooser and the service's questions are windows of their
    // own, outside the viewer's prompter: the show waits for all of them.
    const auto paused = pauseSlideShow();
    if (m_current < 0 || m_current >= m_paths.size() || !m_ctx.fileOps.usable())
        return;
    const QString source = m_paths.at(m_current);
    if (source.isEmpty())
        return;
    const QFileInfo info(source);

    switch (opType) {
    case 1:
    case 4: {
        frmFile *chooser = m_ctx.fileOps.chooser ? m_ctx.fileOps.chooser() : nullptr;
        if (!chooser)
            return;
        const QString folder = chooser->ShowFileForm(opType, source);
        if (folder.isEmpty())
            return;
        destination = folder + info.fileName();
        break;
    }
    case 2:
    case 3:
        destination.clear();
        break;
    case 5: {
        if (!m_ctx.prompter)
            return;
        const std::optional<QString> name = m_ctx.prompter->inputText(
            this, QStringLiteral("Rename File"), QStringLiteral("File Name:"), info.fileName());
        // Cancel and an empty answer leave the folder itself, which is refused
        // along with the name of a sub-folder.
        destination = info.path() + QLatin1Char('/') + name.value_or(QString());
        if (QFileInfo(destination).isDir())
            return;
        if (destination == source)
            return;
        break;
    }
    default:
        return;
    }

    const platform::FileOpRequest request =
        platform::FileOpRequest::forOperation(opType, {source}, destination);
    const std::unique_ptr<platform::FileOpQuestions> questions = m_ctx.fileOps.questions(this);
    if (!questions || m_ctx.fileOps.operations->perform(request, *questions) != 0)
        return;
    // Still there: a copy, or something the user called off on the way.
    if (QFileInfo(source).isFile())
        return;

    if (opType == 5) {
        if (!bCommand && m_ctx.browser)
            m_ctx.browser->RefreshImages(source, destination);
        m_paths[m_current] = destination;
        setWindowTitle(viewerCaption(destination));
        // The picture on screen is the same; only its file has a new name.
        ImgX->document()->setSourcePath(destination);
        refreshStatus();
        return;
    }

    if (!bCommand && m_ctx.browser)
        m_ctx.browser->RefreshImages(source, QString());
    removeListEntry(m_current);
    if (m_paths.isEmpty()) {
        // Nothing is left to show or act on: close as Escape does, back to the
        // browser or, from the command line, out of the program.
        ImgX->document()->ResetImages();
        setWindowTitle(QString());
        close();
        return;
    }
    int index = m_current;
    ViewImage(QStringList(m_paths), index);
}

void frmViwer::CopyImage()
{
    const imaging::ImageDocument *doc = ImgX->document();
    if (doc->isEmpty())
        return;
    const QString path =
        (m_current >= 0 && m_current < m_paths.size()) ? m_paths.at(m_current) : QString();
    imaging::CopyToClipboard(doc->currentImage(), path);
}

} // namespace lumora
