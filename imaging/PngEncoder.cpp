// PNG written by hand for the common pictures: 8- and 16-bit grey, RGB and
// RGBA. Every row gets the "up" filter and the whole picture is deflated in
// one call of libdeflate, which on photographs is about twice as fast as
// zlib behind an adaptive filter choice, and the files come out no larger.
// Palettes, 1-bit pictures and very large images go to Qt's writer.
#include "imaging/ImageEncoders.h"
#include "imaging/WritePixels.h"

#include <QColorSpace>
#include <QtEndian>

#include <libdeflate.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace lumora::imaging::encoders
{

namespace
{

// Above this the whole filtered picture held at once costs too much memory;
// Qt's writer streams through zlib instead.
constexpr qint64 kMaxFilteredBytes = qint64(512) << 20;
// libdeflate's level 2 gives files within 2 % of level 6 in half the time.
constexpr int kDeflateLevel = 2;

struct Layout {
    QImage::Format source; // what the rows are converted to first
    quint8 colourType;     // PNG: 0 grey, 2 RGB, 6 RGBA
    quint8 bitDepth;
    int channels;
};

bool layoutFor(const QImage &image, Layout &out)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        out = {QImage::Format_Grayscale8, 0, 8, 1};
        return true;
    case QImage::Format_Grayscale16:
        out = {QImage::Format_Grayscale16, 0, 16, 1};
        return true;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return false; // kept as palettes by Qt's writer
    default:
        break;
    }
    // Premultiplied pixels are stored straight, which is what the file means.
    if (pixels::isDeep(image))
        out = image.hasAlphaChannel() ? Layout{QImage::Format_RGBA64, 6, 16, 4}
                                      : Layout{QImage::Format_RGBX64, 2, 16, 3};
    else
        out = image.hasAlphaChannel() ? Layout{QImage::Format_RGBA8888, 6, 8, 4}
                                      : Layout{QImage::Format_RGB888, 2, 8, 3};
    return true;
}

class Chunks
{
public:
    explicit Chunks(qsizetype reserve)
    {
        m_out.reserve(reserve);
        m_out.append("\x89PNG\r\n\x1a\n", 8);
    }

    void add(const char type[4], const QByteArray &data)
    {
        char length[4];
        qToBigEndian(quint32(data.size()), length);
        m_out.append(length, 4);
        const qsizetype start = m_out.size();
        m_out.append(type, 4);
        m_out.append(data);
        const quint32 crc =
            libdeflate_crc32(0, m_out.constData() + start, size_t(m_out.size() - start));
        char crcBytes[4];
        qToBigEndian(crc, crcBytes);
        m_out.append(crcBytes, 4);
    }
    QByteArray take() { return std::move(m_out); }

private:
    QByteArray m_out;
};

QByteArray bigEndian32(quint32 value)
{
    QByteArray b(4, Qt::Uninitialized);
    qToBigEndian(value, b.data());
    return b;
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor *c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

QByteArray zlibCompress(const uchar *data, size_t size, int level)
{
    Compressor c(libdeflate_alloc_compressor(level));
    if (!c)
        return {};
    const size_t bound = libdeflate_zlib_compress_bound(c.get(), size);
    if (bound > size_t(std::numeric_limits<qsizetype>::max()))
        return {};
    QByteArray out(qsizetype(bound), Qt::Uninitialized);
    const size_t n = libdeflate_zlib_compress(c.get(), data, size, out.data(), bound);
    if (n == 0)
        return {};
    out.truncate(qsizetype(n));
    return out;
}

// Each row as the file holds it: a filter byte (2, up) and the byte-wise
// difference to the row above, samples big-endian.
bool filteredRows(const QImage &rows, const Layout &layout, std::vector<uchar> &out)
{
    const int w = rows.width();
    const int h = rows.height();
    const qint64 rowBytes = qint64(w) * layout.channels * (layout.bitDepth / 8);
    const qint64 total = (rowBytes + 1) * h;
    if (total > kMaxFilteredBytes)
        return false;
    out.resize(size_t(total));
    std::vector<uchar> previous(size_t(rowBytes), 0);
    std::vector<uchar> current(static_cast<size_t>(rowBytes));
    for (int y = 0; y < h; ++y) {
        const uchar *line = rows.constScanLine(y);
        if (layout.bitDepth == 8) {
            std::memcpy(current.data(), line, size_t(rowBytes));
        } else {
            // QImage keeps 16-bit samples in host order, four to a pixel for
            // RGBX64 even where the file holds three.
            const auto *samples = reinterpret_cast<const quint16 *>(line);
            const int stride = layout.source == QImage::Format_RGBX64 ? 4 : layout.channels;
            uchar *dst = current.data();
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < layout.channels; ++c) {
                    const quint16 v = samples[qsizetype(x) * stride + c];
                    *dst++ = uchar(v >> 8);
                    *dst++ = uchar(v);
                }
        }
        uchar *row = out.data() + size_t(y) * size_t(rowBytes + 1);
        row[0] = 2;
        for (qint64 i = 0; i < rowBytes; ++i)
            row[i + 1] = uchar(current[size_t(i)] - previous[size_t(i)]);
        previous.swap(current);
    }
    return true;
}

bool isLatin1(const QString &s)
{
    for (const QChar c : s)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

} // namespace

QByteArray encodePng(const QImage &image, FormatCode code, const WriteOptions &options,
                     QString *error)
{
    Layout layout;
    if (!layoutFor(image, layout) || image.isNull())
        return encodeWithQt(image, code, options, error);
    const QImage rows =
        image.format() == layout.source ? image : image.convertToFormat(layout.source);
    if (rows.isNull()) {
        if (error)
            *error = QStringLiteral("There is not enough memory to convert the image.");
        return {};
    }
    std::vector<uchar> filtered;
    if (!filteredRows(rows, layout, filtered))
        return encodeWithQt(image, code, options, error);
    const QByteArray idat = zlibCompress(filtered.data(), filtered.size(), kDeflateLevel);
    filtered = {};
    if (idat.isEmpty()) {
        if (error)
            *error = QStringLiteral("There is not enough memory to compress the image.");
        return {};
    }

    Chunks png(idat.size() + 4096);
    QByteArray ihdr = bigEndian32(quint32(rows.width())) + bigEndian32(quint32(rows.height()));
    ihdr.append(char(layout.bitDepth)).append(char(layout.colourType));
    ihdr.append('\0').append('\0').append('\0'); // deflate, adaptive filters, no interlace
    png.add("IHDR", ihdr);

    const QColorSpace space = image.colorSpace();
    if (!options.iccProfile.isEmpty() ||
        (space.isValid() && space != QColorSpace(QColorSpace::SRgb))) {
        const QByteArray icc =
            options.iccProfile.isEmpty() ? space.iccProfile() : options.iccProfile;
        if (!icc.isEmpty()) {
            QByteArray iccp("ICC Profile");
            iccp.append('\0').append('\0'); // name, compression method 0
            iccp.append(zlibCompress(reinterpret_cast<const uchar *>(icc.constData()),
                                     size_t(icc.size()), 6));
            png.add("iCCP", iccp);
        }
    }
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        QByteArray phys = bigEndian32(quint32(image.dotsPerMeterX())) +
                          bigEndian32(quint32(image.dotsPerMeterY()));
        phys.append('\1'); // metres
        png.add("pHYs", phys);
    }
    for (const QString &key : image.textKeys()) {
        if (key.isEmpty() || key.size() > 79 || !isLatin1(key))
            continue;
        const QString value = image.text(key);
        QByteArray chunk = key.toLatin1();
        if (isLatin1(value)) {
            chunk.append('\0').append(value.toLatin1());
            png.add("tEXt", chunk);
        } else {
            chunk.append('\0').append('\0').append('\0').append('\0').append('\0').append(
                value.toUtf8());
            png.add("iTXt", chunk);
        }
    }
    png.add("IDAT", idat);
    png.add("IEND", QByteArray());
    return png.take();
}

} // namespace lumora::imaging::encoders
