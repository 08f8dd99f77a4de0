#pragma once

#include "imaging/DisplayMode.h"
#include "imaging/ImageDocument.h"

#include <QColor>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace lumora::imaging
{

// Shows the current page of an ImageDocument. Display modes:
//   Fits — the zoomed image is drawn whole, centred in the control (shrunk to
//       the control should it still be larger);
//   Scrolls — the zoomed image is larger than the control and scrolls (ScrollX/Y,
//       clamped to what can be shown). A scroll unit is a fiftieth of the
//       control's side, so the viewer's steps of 5 move a tenth of the view;
//       the left button drags the picture, the wheel scrolls it (Shift:
//       sideways) and Ctrl+wheel asks for a zoom step around the pointer;
//   Preview — drawn as in Fits.
// Emits viewChanged() after every change of image, zoom or orientation.
class ImageView : public QWidget
{
    Q_OBJECT
    // The ground around the picture; the skin may set it (qproperty-backgroundColor).
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit ImageView(QWidget *parent = nullptr);

    ImageDocument *document() const { return m_doc; }

    double Zoom() const { return m_zoom; }
    void setZoom(double zoom);
    imaging::DisplayMode DisplayMode() const { return m_mode; }
    void setDisplayMode(imaging::DisplayMode mode);
    // In scroll units (see below), rounded to the nearest.
    int ScrollX() const { return (m_scrollX + scrollUnitX() / 2) / scrollUnitX(); }
    int ScrollY() const { return (m_scrollY + scrollUnitY() / 2) / scrollUnitY(); }
    void setScrollX(int x);
    void setScrollY(int y);
    // The offsets in pixels of the zoomed picture.
    QPoint scrollPixels() const { return {m_scrollX, m_scrollY}; }
    // Pixels of the zoomed picture one scroll unit moves.
    int scrollUnitX() const { return std::max(1, width() / kScrollUnitsPerView); }
    int scrollUnitY() const { return std::max(1, height() / kScrollUnitsPerView); }
    static constexpr int kScrollUnitsPerView = 50;
    // Runs a zoom change so that the picture's point under `pos` (a point
    // of the control) stays under it, as far as scrolling allows.
    template <typename F> void keepPointUnder(QPointF pos, F &&change)
    {
        const QPointF fraction = pictureFraction(pos);
        change();
        bringFractionTo(fraction, pos);
    }
    bool AntiAliasDisplay() const { return m_smooth; }
    void setAntiAliasDisplay(bool on);

    // Shown in place of a picture when the document is empty (a file that
    // could not be read).
    void setErrorText(const QString &text);
    QString errorText() const { return m_errorText; }

    // A smaller copy of the current page (e.g. made ahead on a worker) that
    // drawing may scale from instead of the full picture. It applies while the
    // document holds the very page it was made from.
    void setProxy(const QImage &proxy);

    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor &c);

    QSize sizeHint() const override;
    // Where the picture is drawn now, in the control's coordinates.
    QRect shownRect() const { return targetRect(); }

signals:
    void viewChanged();
    void doubleClicked();
    void keyDown(int key, Qt::KeyboardModifiers shift);
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // Ctrl+wheel: steps > 0 to zoom in, < 0 to zoom out, around pos.
    void zoomStepRequested(int steps, QPointF pos);
    // Local file paths of a drop, in the order given.
    void filesDropped(const QStringList &paths);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void wheelEvent(QWheelEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void dragEnterEvent(QDragEnterEvent *) override;
    void dropEvent(QDropEvent *) override;

private:
    void onDocumentChanged();
    void clampScroll();
    bool scrollable() const;
    void updateCursor();
    void scrollByPixels(int dx, int dy);
    QPointF pictureFraction(QPointF pos) const;
    void bringFractionTo(QPointF fraction, QPointF pos);
    QSize zoomedSize() const;
    QRect targetRect() const;
    void invalidateCache();

    ImageDocument *m_doc;
    double m_zoom = 1.0;
    imaging::DisplayMode m_mode = imaging::DisplayMode::Fits;
    // Offsets in pixels of the zoomed picture.
    int m_scrollX = 0;
    int m_scrollY = 0;
    bool m_dragging = false;
    QPoint m_dragFrom;
    int m_wheelRemainder = 0;
    bool m_smooth = true;
    QString m_errorText;
    QImage m_proxy;
    qint64 m_proxyKey = 0;
    QColor m_background = QColor(0x20, 0x21, 0x24);
    // Scaled copy of the current page for the present zoom, so repaints of a
    // large photo do not rescale it every time.
    QPixmap m_cache;
    // The whole page converted for the screen, for zooms too deep to cache.
    QImage m_screen;
    qint64 m_screenKey = 0;
    QSize m_cacheSize;
    qint64 m_cacheKey = 0;
};

} // namespace lumora::imaging
