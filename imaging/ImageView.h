#pragma once

#include "imaging/ImageDocument.h"

#include <QColor>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

namespace lumora::imaging
{

// Shows the current page of an ImageDocument. Display modes:
//   3 — the zoomed image is drawn whole, centred in the control (shrunk to
//       the control should it still be larger);
//   2 — the zoomed image is larger than the control and scrolls (ScrollX/Y,
//       in pixels of the zoomed image, clamped to what can be shown);
//   0 — a preview: drawn as in mode 3.
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
    int DisplayMode() const { return m_mode; }
    void setDisplayMode(int mode);
    int ScrollX() const { return m_scrollX; }
    int ScrollY() const { return m_scrollY; }
    void setScrollX(int x);
    void setScrollY(int y);
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
    // Local file paths of a drop, in the order given.
    void filesDropped(const QStringList &paths);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void dragEnterEvent(QDragEnterEvent *) override;
    void dropEvent(QDropEvent *) override;

private:
    void onDocumentChanged();
    void clampScroll();
    QSize zoomedSize() const;
    QRect targetRect() const;
    void invalidateCache();

    ImageDocument *m_doc;
    double m_zoom = 1.0;
    int m_mode = 3;
    int m_scrollX = 0;
    int m_scrollY = 0;
    bool m_smooth = true;
    QString m_errorText;
    QImage m_proxy;
    qint64 m_proxyKey = 0;
    QColor m_background = QColor(0x20, 0x21, 0x24);
    // Scaled copy of the current page for the present zoom, so repaints of a
    // large photo do not rescale it every time.
    QPixmap m_cache;
    QSize m_cacheSize;
    qint64 m_cacheKey = 0;
};

} // namespace lumora::imaging
