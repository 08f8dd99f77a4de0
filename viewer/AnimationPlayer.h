#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace lumora::imaging
{
class ImageDocument;
}

namespace lumora
{

// Plays a document's pages when they are the frames of an animation (GIF,
// WebP: anything whose decode gave frame delays): each frame for its own
// delay, as many runs as the file asks, from the first frame for every new
// picture. It stands still, on the frame shown, while held (a prompt of the
// window is open), while any modal dialog of the program is open, and while
// the view's window is hidden or minimised; it goes on from that frame with
// the frame's full delay. A command under a prompt so acts on the frame the
// user saw, and Save As writes it.
class AnimationPlayer : public QObject
{
    Q_OBJECT
public:
    // `view` shows the document: its window's visibility is watched.
    AnimationPlayer(imaging::ImageDocument &document, QWidget &view);

    // Holds nest; the last one to go lets the animation go on.
    void setHeld(bool held);
    bool isHeld() const { return m_holds > 0; }
    bool isPlaying() const { return m_timer.isActive(); }
    // The run through the frames is over (the file's loop count is spent).
    bool isFinished() const { return m_finished; }

    // How long a frame shows for a delay the file states: as web browsers
    // do, under 20 ms (often 0 or 10, meant as "as fast as you can") is
    // 100 ms, which also keeps a broken file from spinning the processor.
    static int shownDelay(int fileDelay);
    // While a modal dialog is open the frame stays; it is looked at again
    // this often.
    static constexpr int kModalRecheckMs = 100;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onPicture();
    void schedule();
    void step();
    bool mayRun() const;

    imaging::ImageDocument &m_doc;
    QPointer<QWidget> m_view;
    QPointer<QWidget> m_window;
    QTimer m_timer;
    int m_holds = 0;
    int m_runsDone = 0;
    bool m_finished = false;
    quint64 m_serial = 0;
};

} // namespace lumora
