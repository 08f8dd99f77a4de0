#pragma once

#include <QTimer>

namespace lumora
{

// The slide show's own state: its timer, the list position it shows on the
// next tick and the one on screen. The viewer owns one and asks it which
// entry comes; loading and fitting the picture stay the viewer's.
class SlideShow
{
public:
    SlideShow();

    // "tmrSlideShow": its interval is the delay; 0 means the show never advances.
    QTimer &timer() { return m_timer; }

    // The show starts on the entry on screen; the first tick moves past it.
    void startFrom(int current);
    void stop() { m_timer.stop(); }
    // Whether a tick of the timer is being handled: only then does the show move.
    void beginTick() { m_ticking = true; }
    void endTick() { m_ticking = false; }
    bool ticking() const { return m_ticking; }

    // The position of a list of `count` entries (wrapping at its end) that
    // goes on screen now, or -1 when there is nothing to show; moveOn() then
    // makes the following one next, once the slide is up.
    int pick(int count);
    void moveOn() { ++m_next; }
    // The entry the next tick will show: what is worth decoding ahead.
    int upcoming(int count) const;
    int nextIndex() const { return m_next; }
    int shownIndex() const { return m_shown; }

    // The list changed under the show: positions after the change move with it.
    void entryRemoved(int at);
    void entryInserted(int at);

private:
    QTimer m_timer;
    int m_next = 0;
    int m_shown = 0;
    bool m_ticking = false;
};

} // namespace lumora
