// Keeping the viewer window, frame included, inside the screen's work area.
#include "viewer/frmViwer.h"

#include "viewer/ViewerGeometry.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>
#include <QStyle>

#include <QWindow>
#include <algorithm>

namespace lumora
{

namespace
{

QMargins frameOf(const QWidget *w)
{
    const QWindow *handle = w->windowHandle();
    return handle && w->isVisible() ? handle->frameMargins() : QMargins();
}

} // namespace

QRect frmViwer::workArea() const
{
    QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

QMargins frmViwer::frameEstimate() const
{
    if (!m_fullScreen) {
        const QMargins own = frameOf(this);
        if (!own.isNull())
            return own;
    }
    if (!m_frame.isNull())
        return m_frame;
    // Not shown framed yet: another window of the program wears the same
    // decorations (the browser, when the viewer is opened from it).
    for (const QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && !w->isFullScreen()) {
            const QMargins other = frameOf(w);
            if (!other.isNull())
                return other;
        }
    }
    // Nothing framed yet (the viewer opened from the command line): a title
    // bar and thin borders. Some window managers leave a window exactly the
    // size of the screen unframed, as an old-style full-screen one, and the
    // frame would never show to correct a guess of none.
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return QMargins(2, std::max(titleBar, 20), 2, 2);
}

void frmViwer::placeCapped(const QRect &wanted)
{
    const QMargins frame = frameEstimate();
    setGeometry(capToWorkArea(wanted, frame, workArea()));
    // Before the window manager has framed the window the frame is a guess;
    // the cap is made again once the real one is known.
    m_capPending = frameOf(this).isNull();
}

void frmViwer::capOnceFramed()
{
    if (m_fullScreen || isFullScreen() || isMaximized() || isMinimized())
        return;
    const QMargins frame = frameOf(this);
    if (frame.isNull())
        return;
    m_frame = frame;
    if (!m_capPending)
        return;
    m_capPending = false;
    const QRect capped = capToWorkArea(geometry(), frame, workArea());
    if (capped != geometry())
        setGeometry(capped);
}

void frmViwer::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    // The window manager moves a window when it puts the frame around it.
    capOnceFramed();
}

} // namespace lumora
