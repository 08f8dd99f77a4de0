#include "imaging/ImageDocument.h"

#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"
#include "imaging/ImageWriter.h"

#include <QFileInfo>
#include <QPainter>
#include <QTransform>

#include <cmath>

namespace lumora::imaging
{

ImageDocument::ImageDocument(QObject *parent) : QObject(parent) {}

Result<> ImageDocument::LoadFromFile(const QString &path, int page, const QString &password)
{
    Q_UNUSED(password); // no encrypted container yet; plain files ignore it
    DecodedImage decoded = decodeFile(path);
    if (!decoded.ok()) {
        // The viewer relies on "the new image or an unchanged document".
        m_error = decoded.error;
        if (m_pages.isEmpty())
            m_state = State::Failed;
        return fail(m_error);
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_format = decoded.format;
    m_bitsPerPixel = decoded.bitsPerPixel;
    m_damage = decoded.damage;
    m_iccProfile = decoded.iccProfile;
    setAnimation(decoded.frameDelays, decoded.playCount, decoded.animationNote);
    setPages(std::move(decoded.pages), page);
    return {};
}

Result<> ImageDocument::LoadFromPicture(const QImage &picture, const QString &key)
{
    Q_UNUSED(key);
    if (picture.isNull()) {
        m_error = QStringLiteral("There is no picture to show.");
        if (m_pages.isEmpty())
            m_state = State::Failed;
        return fail(m_error);
    }
    // The picture carries no file format; the caller names the file.
    m_format = FormatCode::Unknown;
    m_bitsPerPixel = support::storedDepth(picture.format());
    m_damage.clear();
    m_iccProfile.clear();
    setAnimation();
    setPages({picture}, 0);
    return {};
}

void ImageDocument::adopt(QList<QImage> pages, FormatCode format, int bitsPerPixel,
                          const QString &path, const QString &damage, const QByteArray &iccProfile)
{
    if (pages.isEmpty()) {
        ResetImages();
        return;
    }
    m_path = path;
    m_format = format;
    m_bitsPerPixel = bitsPerPixel;
    m_damage = damage;
    m_iccProfile = iccProfile;
    setAnimation();
    setPages(std::move(pages), 0);
}

void ImageDocument::adopt(DecodedImage &&decoded, const QString &path)
{
    if (decoded.pages.isEmpty()) {
        ResetImages();
        return;
    }
    m_path = path;
    m_format = decoded.format;
    m_bitsPerPixel = decoded.bitsPerPixel;
    m_damage = decoded.damage;
    m_iccProfile = std::move(decoded.iccProfile);
    setAnimation(std::move(decoded.frameDelays), decoded.playCount, decoded.animationNote);
    setPages(std::move(decoded.pages), 0);
}

void ImageDocument::setAnimation(QList<int> delays, int playCount, const QString &note)
{
    m_frameDelays = std::move(delays);
    m_playCount = playCount;
    m_animationNote = note;
}

void ImageDocument::ResetImages(const QString &key)
{
    Q_UNUSED(key);
    m_pages.clear();
    m_current = 0;
    m_format = FormatCode::Unknown;
    m_bitsPerPixel = 0;
    m_damage.clear();
    m_iccProfile.clear();
    setAnimation();
    ++m_pictureSerial;
    m_path.clear();
    m_error.clear();
    m_state = State::Empty;
    emit changed();
}

QImage ImageDocument::ImageItem(int index) const
{
    if (index < 0 || index >= m_pages.size())
        return {};
    return m_pages.at(index);
}

void ImageDocument::SetCurrentImage(int index)
{
    if (index < 0 || index >= m_pages.size() || index == m_current)
        return;
    m_current = index;
    emit changed();
}

void ImageDocument::showFrame(int index)
{
    if (index < 0 || index >= m_pages.size() || index == m_current)
        return;
    m_current = index;
    emit frameChanged();
}

const QImage &ImageDocument::currentImage() const
{
    static const QImage none;
    if (m_pages.isEmpty())
        return none;
    return m_pages.at(m_current);
}

int ImageDocument::ImageWidth() const
{
    return currentImage().width();
}

int ImageDocument::ImageHeight() const
{
    return currentImage().height();
}

QString ImageDocument::ImageFileName() const
{
    return m_path.isEmpty() ? QString() : QFileInfo(m_path).fileName();
}

void ImageDocument::Rotate(float degrees, const void *region, int option, const QString &key)
{
    Q_UNUSED(region);
    Q_UNUSED(option);
    Q_UNUSED(key);
    const int quarters = ((int(std::lround(degrees / 90.0f)) % 4) + 4) % 4;
    if (quarters == 0 || m_pages.isEmpty())
        return;
    // Positive angles turn clockwise on screen (y grows downwards).
    const QTransform turn = QTransform().rotate(90.0 * quarters);
    for (QImage &page : m_pages)
        page = page.transformed(turn);
    emit changed();
}

void ImageDocument::Resize(int width, int height, bool smooth)
{
    if (m_pages.isEmpty() || (width <= 0 && height <= 0))
        return;
    QImage &page = m_pages[m_current];
    if (page.isNull())
        return;
    if (width <= 0)
        width = qMax(1, int(std::lround(double(height) * page.width() / page.height())));
    if (height <= 0)
        height = qMax(1, int(std::lround(double(width) * page.height() / page.width())));
    if (page.size() == QSize(width, height))
        return;
    page = page.scaled(width, height, Qt::IgnoreAspectRatio,
                       smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    // One page changed alone: the pages no longer make one animation.
    setAnimation();
    emit changed();
}

void ImageDocument::Fill(const QColor &color)
{
    m_fill = color;
}

void ImageDocument::Canvas(int width, int height, int x, int y, const QColor &background)
{
    if (m_pages.isEmpty() || width <= 0 || height <= 0)
        return;
    QImage &page = m_pages[m_current];
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(background.isValid() ? background : m_fill);
    {
        QPainter painter(&canvas);
        painter.drawImage(x, y, page);
    }
    page = std::move(canvas);
    setAnimation();
    emit changed();
}

bool ImageDocument::SaveToFile(const QString &path, FormatCode code, int option, bool overwrite,
                               QString *error) const
{
    WriteOptions options;
    options.option = option;
    options.overwrite = overwrite;
    // A JPEG saved from a JPEG keeps the camera's data. It is read from the
    // source now, before the target (possibly the same file) is replaced.
    if (code == FormatCode::Jpeg && m_format == FormatCode::Jpeg && !m_path.isEmpty()) {
        options.sourceJpegHead = readJpegHead(m_path);
        options.exif = jpegExifSegment(options.sourceJpegHead);
    }
    // A sealed page is noise that must come back bit for bit: no profile
    // and no conversion for it.
    if (!isEncrypted())
        options.iccProfile = m_iccProfile;
    return writeImageFile(currentImage(), path, code, options, error);
}

void ImageDocument::setPages(QList<QImage> pages, int current)
{
    m_pages = std::move(pages);
    m_current = qBound(0, current, int(m_pages.size()) - 1);
    ++m_pictureSerial;
    m_error.clear();
    m_state = State::Loaded;
    emit changed();
}

} // namespace lumora::imaging
