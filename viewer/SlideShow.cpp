#include "viewer/SlideShow.h"

#include "viewer/ViewerGeometry.h"

namespace lumora
{

SlideShow::SlideShow()
{
    m_timer.setObjectName(QStringLiteral("tmrSlideShow"));
    m_timer.setInterval(2000);
}

void SlideShow::startFrom(int current)
{
    // A zero-interval timer would fire continuously instead of never.
    if (m_timer.interval() > 0)
        m_timer.start();
    m_next = current + 1;
    m_shown = current;
}

int SlideShow::pick(int count)
{
    // Entries taken out of the list meanwhile may have left the index past its end.
    if (m_next > count || m_next < -1)
        m_next = 0;
    m_next = wrapIndex(m_next, count);
    int shown = -1;
    if (m_next >= 0 && m_next < count) {
        m_shown = m_next;
        shown = m_next;
    }
    return shown;
}

int SlideShow::upcoming(int count) const
{
    const int next = wrapIndex(m_next, count);
    return (next >= 0 && next < count) ? next : -1;
}

void SlideShow::entryRemoved(int at)
{
    if (at < m_next)
        --m_next;
}

void SlideShow::entryInserted(int at)
{
    if (at <= m_next)
        ++m_next;
}

} // namespace lumora
