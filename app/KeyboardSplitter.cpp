#include "app/KeyboardSplitter.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSplitterHandle>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <limits>

namespace lumora
{

namespace
{
class KeyboardHandle : public QSplitterHandle
{
public:
    KeyboardHandle(Qt::Orientation orientation, QSplitter *parent)
        : QSplitterHandle(orientation, parent)
    {
        setFocusPolicy(Qt::StrongFocus);
        setAccessibleName(QStringLiteral("Pane divider"));
        setAccessibleDescription(
            orientation == Qt::Horizontal
                ? QStringLiteral("Left and Right arrows move it; Home and End to the limits.")
                : QStringLiteral("Up and Down arrows move it; Home and End to the limits."));
    }

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        const bool across = orientation() == Qt::Horizontal;
        const int at = across ? x() : y();
        const int step = (e->modifiers() & Qt::ShiftModifier) ? 1 : 10;
        int to = at;
        switch (e->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            if ((e->key() == Qt::Key_Left) != across)
                return QSplitterHandle::keyPressEvent(e);
            to = at - step;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            if ((e->key() == Qt::Key_Right) != across)
                return QSplitterHandle::keyPressEvent(e);
            to = at + step;
            break;
        case Qt::Key_Home:
            to = 0;
            break;
        case Qt::Key_End:
            to = std::numeric_limits<int>::max() / 2;
            break;
        default:
            return QSplitterHandle::keyPressEvent(e);
        }
        // The panes' minimum sizes decide how far it can go.
        moveSplitter(closestLegalPosition(to));
        e->accept();
    }

    void paintEvent(QPaintEvent *e) override
    {
        QSplitterHandle::paintEvent(e);
        if (!hasFocus())
            return;
        // Where the keyboard is must be visible.
        QPainter p(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
};
} // namespace

KeyboardSplitter::KeyboardSplitter(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent)
{
}

QSplitterHandle *KeyboardSplitter::createHandle()
{
    return new KeyboardHandle(orientation(), this);
}

} // namespace lumora
