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
        tmrSlideShow.stop();
        return;
    }
    ShowSlide(false);
}

void frmViwer::onSlideTimer()
{
    m_timerTick = true;
    ShowSlide(true);
}

void frmViwer::ShowSlide(bool fromTimer)
{
    if (!fromTimer) {
        // A delay of 0 means the show never advances; a zero-interval timer
        // would fire continuously instead.
        if (tmrSlideShow.interval() > 0)
            tmrSlideShow.start();
        m_slideIndex = m_current + 1;
        m_slideShown = m_current;
    }
    if (!m_timerTick)
        return;
    // Entries taken out of the list meanwhile may have left the index past its end.
    if (m_slideIndex > m_paths.size() || m_slideIndex < -1)
        m_slideIndex = 0;
    m_slideIndex = wrapIndex(m_slideIndex, int(m_paths.size()));
    if (m_slideIndex >= 0 && m_slideIndex < m_paths.size()) {
        const QString path = m_paths.at(m_slideIndex);
        // The slide on screen is the current entry: Delete, Rename, Save As
        // and the rest act on it, and Next and Previous go on from it.
        m_current = m_slideIndex;
        m_slideShown = m_slideIndex;
        loadEntry(path);
        setWindowTitle(viewerCaption(path));
    }
    ++m_slideIndex;
    if (!m_fullScreen) {
        m_fitting = true;
        windowFitting();
        m_fitting = false;
        resizeLayout();
    }
    applyFitRule();
    m_timerTick = false;
    // The next slide decodes while this one is on screen.
    const int next = wrapIndex(m_slideIndex, int(m_paths.size()));
    if (next >= 0 && next < m_paths.size() && !takesPictureRoute(m_paths.at(next)))
        m_preloader->keep({m_paths.at(next)});
}

} // namespace lumora
