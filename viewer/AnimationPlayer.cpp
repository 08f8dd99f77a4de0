#include "viewer/AnimationPlayer.h"

#include "imaging/ImageDocument.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace lumora
{

AnimationPlayer::AnimationPlayer(imaging::ImageDocument &document, QWidget &view)
    : QObject(&view), m_doc(document), m_view(&view), m_window(view.window())
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AnimationPlayer::step);
    connect(&m_doc, &imaging::ImageDocument::changed, this, &AnimationPlayer::onPicture);
    view.installEventFilter(this);
    if (m_window && m_window != m_view)
        m_window->installEventFilter(this);
    m_serial = m_doc.pictureSerial();
    schedule();
}

int AnimationPlayer::shownDelay(int fileDelay)
{
    return fileDelay < 20 ? 100 : fileDelay;
}

void AnimationPlayer::setHeld(bool held)
{
    m_holds = qMax(0, m_holds + (held ? 1 : -1));
    schedule();
}

bool AnimationPlayer::mayRun() const
{
    return m_doc.isAnimation() && m_doc.frameDelays().size() == m_doc.ImageCount() && !m_finished &&
           m_holds == 0 && m_view && m_view->isVisible() && !(m_window && m_window->isMinimized());
}

void AnimationPlayer::schedule()
{
    if (!mayRun()) {
        m_timer.stop();
        return;
    }
    const int frame = m_doc.currentIndex();
    m_timer.start(shownDelay(m_doc.frameDelays().value(frame)));
}

void AnimationPlayer::onPicture()
{
    // A new picture plays from its start; a turned one goes on where it was.
    if (m_doc.pictureSerial() != m_serial) {
        m_serial = m_doc.pictureSerial();
        m_runsDone = 0;
        m_finished = false;
    }
    schedule();
}

void AnimationPlayer::step()
{
    if (!mayRun())
        return;
    // A dialog of another window (the browser's questions, a file chooser)
    // holds the frame as well; nothing tells us when it closes.
    if (QApplication::activeModalWidget()) {
        m_timer.start(kModalRecheckMs);
        return;
    }
    int next = m_doc.currentIndex() + 1;
    if (next >= m_doc.ImageCount()) {
        ++m_runsDone;
        // The last run rests on its last frame, as browsers leave it.
        if (m_doc.playCount() > 0 && m_runsDone >= m_doc.playCount()) {
            m_finished = true;
            return;
        }
        next = 0;
    }
    m_doc.showFrame(next);
    schedule();
}

bool AnimationPlayer::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        // Only a change of whether it may run restarts the frame's delay.
        if (mayRun() != m_timer.isActive())
            schedule();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace lumora
