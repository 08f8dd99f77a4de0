#pragma once

#include <QLabel>
#include <QTimer>

namespace lumora
{

// The keys that leave full screen, shown over the top of the picture for a
// few seconds after entering it and again when the pointer nears the top, so
// a first-time user is never stuck in a window without a frame. It takes no
// clicks and changes no caption.
class FullScreenHint : public QLabel
{
public:
    explicit FullScreenHint(QWidget *over);

    static constexpr int kShownForMs = 3000;
    // How near the top the pointer brings the hint back, in pixels.
    static constexpr int kTopBand = 48;

    void flash();
    void dismiss();
    // Tests shorten the wait.
    void setShownFor(int ms) { m_timer.setInterval(ms); }

private:
    void place();

    QTimer m_timer;
};

} // namespace lumora
