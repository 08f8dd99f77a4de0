// Next, Previous and the slide show.
#include "viewer/frmViwer.h"

#include "viewer/Preloader.h"
#include "viewer/TypeRule.h"
#include "viewer/ViewerGeometry.h"

#include <QAction>

namespace lumora
{

void frmViwer::ShowNextImage()
{
    const int last = int(m_paths.size()) - 1;
    if (m_current >= last)
        return;
    int i = m_current + 1;
    if (m_paths.at(i).isEmpty())
        ++i;
    ImgX->setZoom(1.0);
    ViewImage(QStringList(m_paths), i);
}

void frmViwer::ShowPreviousImage()
{
    if (m_current <= 0 || m_paths.isEmpty())
        return;
    int i = m_current - 1;
    if (m_paths.at(i).isEmpty())
        --i;
    ImgX->setZoom(1.0);
    ViewImage(QStringList(m_paths), i);
}

bool frmViwer::slideShowRunning() const
{
    return m_act.slideShowButton->isChecked();
}

void frmViwer::ToggleSlideShow()
{
    QAction *button = m_act.slideShowButton;
    button->setChecked(!button->isChecked());
    m_act.slideShowEntry->setChecked(button->isChecked());
    if (!button->isChecked()) {
        m_slides.stop();
        return;
    }
    ShowSlide(false);
}

void frmViwer::onSlideTimer()
{
    m_slides.beginTick();
    ShowSlide(true);
}

void frmViwer::ShowSlide(bool fromTimer)
{
    if (!fromTimer)
        m_slides.startFrom(m_current);
    if (!m_slides.ticking())
        return;
    const int at = m_slides.pick(int(m_paths.size()));
    if (at >= 0) {
        const QString path = m_paths.at(at);
        // The slide on screen is the current entry: Delete, Rename, Save As
        // and the rest act on it, and Next and Previous go on from it.
        m_current = at;
        loadEntry(path);
        setWindowTitle(viewerCaption(path));
    }
    m_slides.moveOn();
    if (!m_fullScreen) {
        m_fitting = true;
        windowFitting();
        m_fitting = false;
        resizeLayout();
    }
    applyFitRule();
    m_slides.endTick();
    // The next slide decodes while this one is on screen.
    const int next = m_slides.upcoming(int(m_paths.size()));
    if (next >= 0 && !takesPictureRoute(m_paths.at(next)))
        m_preloader->keep({m_paths.at(next)});
}

} // namespace lumora
