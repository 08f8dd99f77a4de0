// The status bar's five panels.
#include "viewer/frmViwer.h"

#include "imaging/DamageNote.h"
#include "viewer/StatusText.h"

#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>

#include <algorithm>

namespace lumora
{

QString frmViwer::statusText(int panel) const
{
    if (panel < 1 || panel > 5)
        return {};
    return m_panels[panel - 1]->text();
}

void frmViwer::refreshStatus()
{
    const int count = int(m_paths.size());
    // During a show, the slide on screen (the slide index has moved on to
    // the next one by the time a fitted slide's zoom notice arrives).
    const int shown = slideShowRunning() ? m_slides.shownIndex() : m_current;
    m_panels[0]->setText(formatPosition(shown, count));

    const QString entry = (m_current >= 0 && m_current < count) ? m_paths.at(m_current) : QString();
    const imaging::ImageDocument *doc = ImgX->document();
    m_panels[1]->setToolTip(QString());
    if (isIconOrDib(entry)) {
        const QFileInfo info(entry);
        if (!info.exists())
            return; // a vanished file ends the refresh; the panels keep their text
        m_panels[1]->setText(info.fileName());
        m_panels[2]->setText(formatFileSize(float(info.size())));
        m_panels[3]->setText(QString());
    } else if (doc->isEmpty()) {
        // A file that could not be read: its own name and size, and no figures
        // (whichever way it was reached, nothing of the image before remains).
        const QFileInfo info(doc->ImageFilePath());
        m_panels[1]->setText(info.fileName());
        m_panels[2]->setText(info.exists() ? formatFileSize(float(info.size())) : QString());
        m_panels[3]->setText(QString());
    } else {
        // A damaged file is shown as far as it could be read, and said so.
        const QString damage = doc->damage();
        m_panels[1]->setText(damage.isEmpty()
                                 ? doc->ImageFileName()
                                 : doc->ImageFileName() + QStringLiteral(" (damaged)"));
        if (!damage.isEmpty())
            m_panels[1]->setToolTip(imaging::damageNote(damage));
        else if (!doc->animationNote().isEmpty())
            m_panels[1]->setToolTip(doc->animationNote());
        const QFileInfo info(doc->ImageFilePath());
        if (!info.exists())
            return;
        m_panels[2]->setText(formatFileSize(float(info.size())));
        m_panels[3]->setText(formatDimensions(doc->ImageWidth(), doc->ImageHeight(),
                                              doc->BitsPerPixel(), info.suffix()));
    }
    m_panels[4]->setText(formatZoom(ImgX->Zoom()));
    keepPanelsReadable();
}

void frmViwer::keepPanelsReadable()
{
    // The file name gives way in a narrow window; the figures are read whole.
    // Where even they do not fit side by side, the file size and then the
    // picture's facts step aside rather than run into the zoom.
    for (int i : {0, 2, 3, 4})
        m_panels[i]->setMinimumWidth(std::max(kPanelMinWidth, m_panels[i]->sizeHint().width()));
    const int spacing = statusBar()->layout() ? statusBar()->layout()->spacing() : 6;
    int room = width() - kStatusGripRoom;
    for (int i = 0; i < 5; ++i)
        room -= m_panels[i]->minimumWidth() + spacing;
    for (int i : {2, 3}) {
        const bool fits = room >= 0;
        m_panels[i]->setVisible(fits);
        if (!fits)
            room += m_panels[i]->minimumWidth() + spacing;
    }
}

} // namespace lumora
