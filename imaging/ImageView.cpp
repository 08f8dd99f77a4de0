#include "imaging/ImageView.h"

#include "imaging/ColourManagement.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>

namespace lumora::imaging
{

ImageView::ImageView(QWidget *parent) : QWidget(parent), m_doc(new ImageDocument(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    connect(m_doc, &ImageDocument::changed, this, &ImageView::onDocumentChanged);
    // An animation's next frame is drawn where the last one was: same
    // zoom, same scroll position.
    connect(m_doc, &ImageDocument::frameChanged, this, [this] {
        invalidateCache();
        update();
    });
}

QSize ImageView::sizeHint() const
{
    return {320, 240};
}

void ImageView::setZoom(double zoom)
{
    if (!(zoom > 0) || !std::isfinite(zoom))
        return;
    m_zoom = zoom;
    invalidateCache();
    clampScroll();
    updateCursor();
    update();
    emit viewChanged();
}

void ImageView::setDisplayMode(imaging::DisplayMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    invalidateCache();
    clampScroll();
    updateCursor();
    update();
}

void ImageView::setScrollX(int x)
{
    m_scrollX = int(std::clamp<qint64>(qint64(x) * scrollUnitX(), INT_MIN, INT_MAX));
    clampScroll();
    update();
}

void ImageView::setScrollY(int y)
{
    m_scrollY = int(std::clamp<qint64>(qint64(y) * scrollUnitY(), INT_MIN, INT_MAX));
    clampScroll();
    update();
}

void ImageView::scrollByPixels(int dx, int dy)
{
    m_scrollX += dx;
    m_scrollY += dy;
    clampScroll();
    update();
}

bool ImageView::scrollable() const
{
    const QSize z = zoomedSize();
    return m_mode == DisplayMode::Scrolls && (z.width() > width() || z.height() > height());
}

void ImageView::updateCursor()
{
    if (m_dragging)
        setCursor(Qt::ClosedHandCursor);
    else if (scrollable())
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

QPointF ImageView::pictureFraction(QPointF pos) const
{
    const QRect r = targetRect();
    if (r.isEmpty())
        return {0.5, 0.5};
    return {(pos.x() - r.left()) / r.width(), (pos.y() - r.top()) / r.height()};
}

void ImageView::bringFractionTo(QPointF fraction, QPointF pos)
{
    // With the offsets at zero the picture starts at the control's edge on
    // each side it overflows; the offset is what moves the point under pos.
    const QSize z = zoomedSize();
    m_scrollX = int(std::lround(fraction.x() * z.width() - pos.x()));
    m_scrollY = int(std::lround(fraction.y() * z.height() - pos.y()));
    clampScroll();
    updateCursor();
    update();
}

void ImageView::setAntiAliasDisplay(bool on)
{
    if (on == m_smooth)
        return;
    m_smooth = on;
    invalidateCache();
    update();
}

void ImageView::setProxy(const QImage &proxy)
{
    m_proxy = proxy;
    m_proxyKey = proxy.isNull() ? 0 : m_doc->currentImage().cacheKey();
    invalidateCache();
    update();
}

void ImageView::setBackgroundColor(const QColor &c)
{
    m_background = c;
    update();
}

void ImageView::setErrorText(const QString &text)
{
    m_errorText = text;
    update();
}

void ImageView::onDocumentChanged()
{
    invalidateCache();
    m_scrollX = m_scrollY = 0;
    updateCursor();
    update();
    emit viewChanged();
}

void ImageView::invalidateCache()
{
    m_cache = QPixmap();
    m_cacheSize = QSize();
    m_screen = QImage();
    m_screenKey = 0;
}

QSize ImageView::zoomedSize() const
{
    const QImage &img = m_doc->currentImage();
    if (img.isNull())
        return {};
    QSize z(std::max(1, int(std::lround(img.width() * m_zoom))),
            std::max(1, int(std::lround(img.height() * m_zoom))));
    // A preview (0) shows the picture at its zoom like the viewer's fitting
    // mode (3), so each zoom step is seen; neither spills over the control.
    if ((m_mode == DisplayMode::Preview || m_mode == DisplayMode::Fits) &&
        (z.width() > width() || z.height() > height()) && width() > 0 && height() > 0)
        z = z.scaled(size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return z;
}

void ImageView::clampScroll()
{
    const QSize z = zoomedSize();
    const int maxX = std::max(0, z.width() - width());
    const int maxY = std::max(0, z.height() - height());
    m_scrollX = std::clamp(m_scrollX, 0, maxX);
    m_scrollY = std::clamp(m_scrollY, 0, maxY);
}

QRect ImageView::targetRect() const
{
    const QSize z = zoomedSize();
    int x = (width() - z.width()) / 2;
    int y = (height() - z.height()) / 2;
    // A picture larger than the control starts at its edge and moves by the
    // scroll offsets; a smaller one stays centred.
    if (z.width() > width())
        x = -m_scrollX;
    if (z.height() > height())
        y = -m_scrollY;
    return {QPoint(x, y), z};
}

void ImageView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    const QImage &img = m_doc->currentImage();
    if (img.isNull()) {
        if (!m_errorText.isEmpty()) {
            p.setPen(m_background.lightness() < 128 ? QColor(0xe8, 0xea, 0xed)
                                                    : QColor(0x20, 0x21, 0x24));
            p.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                       m_errorText);
        }
        return;
    }
    const QRect target = targetRect();
    const QSize z = target.size();
    // Scaling a large photo is the expensive part; keep the scaled copy unless
    // it would be bigger than a few screens (deep zoom), where drawing the
    // visible part through the painter costs less memory.
    const bool cacheable = qint64(z.width()) * z.height() <= qint64(4096) * 4096;
    if (cacheable) {
        if (m_cacheSize != z || m_cacheKey != img.cacheKey() || m_cache.isNull()) {
            const Qt::TransformationMode mode =
                m_smooth ? Qt::SmoothTransformation : Qt::FastTransformation;
            const bool useProxy = !m_proxy.isNull() && m_proxyKey == img.cacheKey() &&
                                  z.width() <= m_proxy.width() && z.height() <= m_proxy.height();
            const QImage &source = useProxy ? m_proxy : img;
            // Converted for the screen after scaling: only the pixels shown
            // pay for it.
            m_cache = QPixmap::fromImage(colour::forScreen(
                z == source.size() ? source : source.scaled(z, Qt::IgnoreAspectRatio, mode),
                m_doc->iccProfile()));
            m_cacheSize = z;
            m_cacheKey = img.cacheKey();
        }
        p.drawPixmap(target.topLeft(), m_cache);
    } else {
        p.setRenderHint(QPainter::SmoothPixmapTransform, m_smooth);
        if (m_screenKey != img.cacheKey() || m_screen.isNull()) {
            m_screen = colour::forScreen(img, m_doc->iccProfile());
            m_screenKey = img.cacheKey();
        }
        p.drawImage(target, m_screen);
    }
}

void ImageView::resizeEvent(QResizeEvent *)
{
    if (m_mode == DisplayMode::Preview)
        invalidateCache();
    clampScroll();
    updateCursor();
}

void ImageView::mouseDoubleClickEvent(QMouseEvent *e)
{
    e->accept();
    if (e->button() == Qt::LeftButton)
        emit doubleClicked();
}

void ImageView::mousePressEvent(QMouseEvent *e)
{
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::LeftButton && scrollable()) {
        m_dragging = true;
        m_dragFrom = e->position().toPoint();
        updateCursor();
    }
    // Pixel coordinates of the control, as the event has always given them.
    const QPoint pos = e->position().toPoint();
    emit mouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
    QWidget::mousePressEvent(e);
}

void ImageView::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_dragging || !(e->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint at = e->position().toPoint();
    // The picture follows the hand: dragging right shows what lies left.
    scrollByPixels(m_dragFrom.x() - at.x(), m_dragFrom.y() - at.y());
    m_dragFrom = at;
    e->accept();
}

void ImageView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        updateCursor();
    }
    QWidget::mouseReleaseEvent(e);
}

void ImageView::wheelEvent(QWheelEvent *e)
{
    const QPoint angle = e->angleDelta();
    if (e->modifiers() & Qt::ControlModifier) {
        // One zoom step a notch (120 eighths of a degree); touchpads send
        // smaller deltas that add up to a notch.
        m_wheelRemainder += angle.y() != 0 ? angle.y() : angle.x();
        const int steps = m_wheelRemainder / 120;
        m_wheelRemainder %= 120;
        if (steps != 0)
            emit zoomStepRequested(steps, e->position());
        e->accept();
        return;
    }
    if (!scrollable()) {
        e->ignore();
        return;
    }
    // A notch moves as far as five scroll units, the arrow keys' step; Shift
    // turns the wheel sideways, and a horizontal wheel or swipe scrolls sideways.
    int dx = -angle.x();
    int dy = -angle.y();
    if (e->modifiers() & Qt::ShiftModifier) {
        dx = dy != 0 ? dy : dx;
        dy = 0;
    }
    const qint64 stepX = 5LL * scrollUnitX(), stepY = 5LL * scrollUnitY();
    scrollByPixels(int(dx * stepX / 120), int(dy * stepY / 120));
    e->accept();
}

void ImageView::keyPressEvent(QKeyEvent *e)
{
    emit keyDown(e->key(), e->modifiers());
    e->accept();
}

void ImageView::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void ImageView::dropEvent(QDropEvent *e)
{
    const QMimeData *data = e->mimeData();
    if (!data->hasUrls())
        return;
    QStringList paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    e->acceptProposedAction();
    if (!paths.isEmpty())
        emit filesDropped(paths);
}

} // namespace lumora::imaging
