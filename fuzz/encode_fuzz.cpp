// libFuzzer entry for the metafile writers, checked by several readers: any
// picture the fuzzer makes up is written as WMF and as EMF by the encoder
// Save As uses, and each file must come back with the picture on white:
// - libUEMF parses the records (sizes, counts, largest record, checksum,
//   where the bitmap is drawn) and hands back the stored bitmap: exact;
// - our decoders (libwmf, libemf2svg) render it at its size: EMF exact,
//   WMF at the right size (libwmf resamples, see checkOne);
// - ImageMagick renders the WMF with its own drawing code: exact.
// "Exact" is within 1 where alpha was composed on white or samples had more
// than 8 bits, else equal. A mismatch aborts, so libFuzzer keeps the input.
//
// Input layout: byte 0 picks the pixel format (low 4 bits), a grey colour
// table for the indexed formats (bit 4), a long strip instead of a small
// picture (bit 5: one side 1..65535, the other 1..4; bit 6 makes it tall);
// bytes 1..4 are the two sides (small pictures: 1..300 each); the rest are
// the pixels (and an indexed picture's colour table first), repeated as
// needed.
//
// LUMORA_FUZZ_SAVE_DIR=dir also saves every picture there through the
// file-writing path (named by the input's hash), for the external readers
// of fuzz/check-metafiles.py.

#include "UemfReader.h"

#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"
#include "imaging/ImageWriter.h"
#include "imaging/MagickCodec.h"

#include <Magick++.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace lumora::imaging;
using lumora::fuzz::UemfReading;

namespace
{

constexpr int kSmallSide = 300;
constexpr int kStripLength = 65535;
constexpr int kStripWidth = 4;
constexpr int kWmfMaxSide = 32767; // signed 16-bit logical coordinates

const QImage::Format kFormats[16] = {
    QImage::Format_RGB32,
    QImage::Format_ARGB32,
    QImage::Format_ARGB32_Premultiplied,
    QImage::Format_Grayscale8,
    QImage::Format_Grayscale16,
    QImage::Format_RGBX64,
    QImage::Format_RGBA64,
    QImage::Format_RGBA64_Premultiplied,
    QImage::Format_Indexed8,
    QImage::Format_Mono,
    QImage::Format_MonoLSB,
    QImage::Format_RGB888,
    QImage::Format_RGBA8888,
    QImage::Format_RGBX8888,
    QImage::Format_RGB16,
    QImage::Format_BGR30,
};

QString s_context;

[[noreturn]] void fail(const QString &what)
{
    fprintf(stderr, "MISMATCH: %s\n  picture: %s\n", qPrintable(what), qPrintable(s_context));
    abort();
}

// With LUMORA_FUZZ_DUMP_DIR set, the two pictures of a mismatch are saved
// there as want.png and got.png for a look.
void dump(const QImage &want, const QImage &got)
{
    const QString dir = qEnvironmentVariable("LUMORA_FUZZ_DUMP_DIR");
    if (dir.isEmpty())
        return;
    want.save(QDir(dir).filePath(QStringLiteral("want.png")));
    got.save(QDir(dir).filePath(QStringLiteral("got.png")));
}

class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t next() { return m_size ? m_data[m_at++ % m_size] : 0; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// What a decoder could have handed over: the padding bits of the opaque
// formats set, premultiplied channels no larger than their alpha.
QImage makePicture(const uint8_t *data, size_t size)
{
    const uint8_t flags = data[0];
    const QImage::Format format = kFormats[flags & 15];
    const int a = data[1] | data[2] << 8;
    const int b = data[3] | data[4] << 8;
    int width = 1 + a % kSmallSide;
    int height = 1 + b % kSmallSide;
    if (flags & 0x20) {
        width = 1 + a % kStripLength;
        height = 1 + b % kStripWidth;
        if (flags & 0x40)
            std::swap(width, height);
    }
    Bytes bytes(data + 5, size - 5);
    QImage picture(width, height, format);
    if (picture.isNull())
        return picture;

    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
        format == QImage::Format_MonoLSB) {
        const int count = format == QImage::Format_Indexed8 ? 1 + bytes.next() : 2;
        QList<QRgb> table;
        for (int i = 0; i < count; ++i) {
            const int r = bytes.next();
            const int g = (flags & 0x10) ? r : bytes.next();
            const int bl = (flags & 0x10) ? r : bytes.next();
            table << qRgba(r, g, bl, bytes.next());
        }
        picture.setColorTable(table);
        for (int y = 0; y < height; ++y) {
            uchar *line = picture.scanLine(y);
            for (qsizetype i = 0; i < picture.bytesPerLine(); ++i)
                line[i] =
                    format == QImage::Format_Indexed8 ? uchar(bytes.next() % count) : bytes.next();
        }
        return picture;
    }

    for (int y = 0; y < height; ++y) {
        uchar *line = picture.scanLine(y);
        for (qsizetype i = 0; i < picture.bytesPerLine(); ++i)
            line[i] = bytes.next();
        for (int x = 0; x < width; ++x) {
            switch (format) {
            case QImage::Format_RGB32:
                reinterpret_cast<quint32 *>(line)[x] |= 0xFF000000;
                break;
            case QImage::Format_BGR30:
                reinterpret_cast<quint32 *>(line)[x] |= 0xC0000000;
                break;
            case QImage::Format_RGBX8888:
                line[4 * x + 3] = 0xFF;
                break;
            case QImage::Format_RGBX64:
                reinterpret_cast<QRgba64 *>(line)[x].setAlpha(0xFFFF);
                break;
            case QImage::Format_ARGB32_Premultiplied: {
                QRgb &p = reinterpret_cast<QRgb *>(line)[x];
                const int al = qAlpha(p);
                p = qRgba(std::min(qRed(p), al), std::min(qGreen(p), al), std::min(qBlue(p), al),
                          al);
                break;
            }
            case QImage::Format_RGBA64_Premultiplied: {
                QRgba64 &p = reinterpret_cast<QRgba64 *>(line)[x];
                const quint16 al = p.alpha();
                p = QRgba64::fromRgba64(std::min(p.red(), al), std::min(p.green(), al),
                                        std::min(p.blue(), al), al);
                break;
            }
            default:
                break;
            }
        }
    }
    return picture;
}

bool isDeep(QImage::Format format)
{
    return format == QImage::Format_Grayscale16 || format == QImage::Format_RGBX64 ||
           format == QImage::Format_RGBA64 || format == QImage::Format_RGBA64_Premultiplied ||
           format == QImage::Format_BGR30;
}

// The picture composed on white at 8 bits, computed from each pixel's own
// value (premultiplied ones as stored), not by the code under test.
QImage onWhite(const QImage &picture, int *tolerance)
{
    QImage out(picture.size(), QImage::Format_RGB32);
    bool translucent = false;
    for (int y = 0; y < picture.height(); ++y) {
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            double r, g, b, a;
            bool premultiplied = true;
            if (picture.format() == QImage::Format_ARGB32_Premultiplied) {
                const QRgb p = reinterpret_cast<const QRgb *>(picture.constScanLine(y))[x];
                r = qRed(p) / 255.0, g = qGreen(p) / 255.0, b = qBlue(p) / 255.0,
                a = qAlpha(p) / 255.0;
            } else if (picture.format() == QImage::Format_RGBA64_Premultiplied) {
                const QRgba64 p = reinterpret_cast<const QRgba64 *>(picture.constScanLine(y))[x];
                r = p.red() / 65535.0, g = p.green() / 65535.0, b = p.blue() / 65535.0;
                a = p.alpha() / 65535.0;
            } else {
                const QRgba64 p = picture.pixelColor(x, y).rgba64();
                r = p.red() / 65535.0, g = p.green() / 65535.0, b = p.blue() / 65535.0;
                a = p.alpha() / 65535.0;
                premultiplied = false;
            }
            translucent = translucent || a < 1.0;
            auto on = [&](double c) {
                const double v = premultiplied ? c + (1.0 - a) : c * a + (1.0 - a);
                return std::clamp(int(std::lround(v * 255.0)), 0, 255);
            };
            dst[x] = qRgb(on(r), on(g), on(b));
        }
    }
    *tolerance = translucent || isDeep(picture.format()) ? 1 : 0;
    return out;
}

QString describe(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// Every pixel within `tolerance` of the reference.
void checkExact(const QImage &want, const QImage &gotAny, int tolerance, const char *reader)
{
    const QImage got = gotAny.convertToFormat(QImage::Format_RGB32);
    dump(want, got);
    if (got.size() != want.size())
        fail(QStringLiteral("%1: %2x%3 instead of %4x%5")
                 .arg(QLatin1String(reader))
                 .arg(got.width())
                 .arg(got.height())
                 .arg(want.width())
                 .arg(want.height()));
    for (int y = 0; y < want.height(); ++y) {
        const auto *w = reinterpret_cast<const QRgb *>(want.constScanLine(y));
        const auto *g = reinterpret_cast<const QRgb *>(got.constScanLine(y));
        for (int x = 0; x < want.width(); ++x) {
            if (std::abs(qRed(w[x]) - qRed(g[x])) > tolerance ||
                std::abs(qGreen(w[x]) - qGreen(g[x])) > tolerance ||
                std::abs(qBlue(w[x]) - qBlue(g[x])) > tolerance)
                fail(QStringLiteral(
                         "%1: pixel %2,%3 is %4, the picture on white is %5 (tolerance %6)")
                         .arg(QLatin1String(reader))
                         .arg(x)
                         .arg(y)
                         .arg(describe(g[x]), describe(w[x]))
                         .arg(tolerance));
        }
    }
}

// ImageMagick's own WMF renderer (libwmflite for the records, its drawing
// code for the bitmap), at the file's 96 units an inch.
QImage renderWithMagick(const QByteArray &file)
{
    try {
        Magick::Image image;
        image.quiet(true);
        image.density(Magick::Geometry(96, 96));
        image.magick("WMF");
        image.read(Magick::Blob(file.constData(), size_t(file.size())));
        const int w = int(image.columns()), h = int(image.rows());
        QImage rgba(w, h, QImage::Format_RGBA8888);
        image.write(0, 0, size_t(w), size_t(h), "RGBA", Magick::CharPixel, rgba.bits());
        QImage out(w, h, QImage::Format_RGB32);
        out.fill(Qt::white);
        for (int y = 0; y < h; ++y) {
            const uchar *s = rgba.constScanLine(y);
            auto *d = reinterpret_cast<QRgb *>(out.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int a = s[4 * x + 3];
                auto on = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
                d[x] = qRgb(on(s[4 * x]), on(s[4 * x + 1]), on(s[4 * x + 2]));
            }
        }
        return out;
    } catch (const Magick::Exception &e) {
        fail(QStringLiteral("ImageMagick cannot read the WMF: %1")
                 .arg(QString::fromLocal8Bit(e.what())));
    }
}

// The size the writer promises: the picture's, except that a WMF side over
// 32767 is scaled down to it, the aspect kept to within a pixel.
QSize checkWrittenSize(const QSize &picture, FormatCode code, const QSize &written)
{
    if (code == FormatCode::Emf ||
        (picture.width() <= kWmfMaxSide && picture.height() <= kWmfMaxSide)) {
        if (written != picture)
            fail(QStringLiteral("written at %1x%2").arg(written.width()).arg(written.height()));
        return written;
    }
    const bool wide = picture.width() >= picture.height();
    const int longSide = wide ? written.width() : written.height();
    const int shortSide = wide ? written.height() : written.width();
    const double expected = double(wide ? picture.height() : picture.width()) * kWmfMaxSide /
                            (wide ? picture.width() : picture.height());
    if (longSide != kWmfMaxSide || shortSide < 1 ||
        std::abs(shortSide - std::max(1.0, expected)) > 1.0)
        fail(QStringLiteral("WMF of a long picture written at %1x%2")
                 .arg(written.width())
                 .arg(written.height()));
    return written;
}

// The bitmap records drawn 1:1 where they say, which must cover the
// picture; an EMF's bitmaps must stay within what libemf2svg draws.
QImage composeBitmaps(const UemfReading &parsed, const QSize &written, FormatCode code)
{
    constexpr int kLibemf2svgMaxSide = 4096;
    QImage canvas(written, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QImage covered(written, QImage::Format_Grayscale8);
    covered.fill(0);
    for (const lumora::fuzz::UemfBitmap &b : parsed.bitmaps) {
        const QRect all(QPoint(0, 0), b.pixels.size());
        // Drawn 1:1, or a side of one pixel stored twice over (see the WMF
        // writer): each source side a whole multiple of its destination.
        const QSize to = b.destination.size();
        const bool whole = to.width() > 0 && to.height() > 0 && all.width() % to.width() == 0 &&
                           all.height() % to.height() == 0 &&
                           (all.width() == to.width() || to.width() == 1) &&
                           (all.height() == to.height() || to.height() == 1);
        if (b.source != all || !whole || !QRect(QPoint(0, 0), written).contains(b.destination))
            fail(QStringLiteral("a %1x%2 bitmap drawn from (%3,%4 %5x%6) to (%7,%8 %9x%10)")
                     .arg(all.width())
                     .arg(all.height())
                     .arg(b.source.x())
                     .arg(b.source.y())
                     .arg(b.source.width())
                     .arg(b.source.height())
                     .arg(b.destination.x())
                     .arg(b.destination.y())
                     .arg(b.destination.width())
                     .arg(b.destination.height()));
        if (code == FormatCode::Emf &&
            (all.width() > kLibemf2svgMaxSide || all.height() > kLibemf2svgMaxSide))
            fail(QStringLiteral("an EMF bitmap of %1x%2, more than libemf2svg draws")
                     .arg(all.width())
                     .arg(all.height()));
        // Every source pixel lands on the destination pixel it belongs to,
        // and those sharing one must agree, so any reader's stretch gives it.
        const int sx = all.width() / to.width(), sy = all.height() / to.height();
        for (int y = 0; y < all.height(); ++y) {
            const auto *src = reinterpret_cast<const QRgb *>(b.pixels.constScanLine(y));
            auto *dst = reinterpret_cast<QRgb *>(canvas.scanLine(b.destination.y() + y / sy)) +
                        b.destination.x();
            uchar *seen = covered.scanLine(b.destination.y() + y / sy) + b.destination.x();
            for (int x = 0; x < all.width(); ++x) {
                const bool first = x % sx == 0 && y % sy == 0;
                if (!first && dst[x / sx] != src[x])
                    fail(QStringLiteral("a bitmap stretched %1x%2 into one pixel holds %3 "
                                        "and %4 for it")
                             .arg(sx)
                             .arg(sy)
                             .arg(describe(dst[x / sx]), describe(src[x])));
                dst[x / sx] = src[x];
                seen[x / sx] = 1;
            }
        }
    }
    for (int y = 0; y < written.height(); ++y) {
        const uchar *line = covered.constScanLine(y);
        for (int x = 0; x < written.width(); ++x) {
            if (!line[x])
                fail(QStringLiteral("pixel %1,%2 is in no bitmap record").arg(x).arg(y));
        }
    }
    return canvas;
}

void checkOne(const QImage &picture, const QImage &reference, int tolerance, FormatCode code,
              const QByteArray &input)
{
    const bool wmf = code == FormatCode::Wmf;
    const char *name = wmf ? "WMF" : "EMF";
    QString error;
    const QByteArray file = encodeImage(picture, code, {}, &error);
    if (file.isEmpty())
        fail(QStringLiteral("%1 not written: %2").arg(QLatin1String(name), error));

    // Saved first, so a file that fails a check below is there to look at.
    static const QString saveDir = qEnvironmentVariable("LUMORA_FUZZ_SAVE_DIR");
    if (!saveDir.isEmpty()) {
        const QString path = QDir(saveDir).filePath(
            QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex()) +
            (wmf ? QStringLiteral(".wmf") : QStringLiteral(".emf")));
        if (!writeImageFile(picture, path, code, 0, true, &error))
            fail(QStringLiteral("%1 not saved: %2").arg(QLatin1String(name), error));
        QFile saved(path);
        if (!saved.open(QIODevice::ReadOnly) || saved.readAll() != file)
            fail(
                QStringLiteral("%1 saved differs from the encoded bytes").arg(QLatin1String(name)));
    }

    const UemfReading parsed =
        wmf ? lumora::fuzz::readWmfWithUemf(file) : lumora::fuzz::readEmfWithUemf(file);
    if (!parsed.problem.isEmpty())
        fail(QStringLiteral("%1 as libUEMF reads it: %2").arg(QLatin1String(name), parsed.problem));
    const QSize written = checkWrittenSize(picture.size(), code, parsed.frame);
    const QRect whole(QPoint(0, 0), written);
    if (wmf && (parsed.window != whole || parsed.unitsPerInch != 96))
        fail(QStringLiteral("WMF window %1,%2 %3x%4 at %5 units an inch")
                 .arg(parsed.window.x())
                 .arg(parsed.window.y())
                 .arg(parsed.window.width())
                 .arg(parsed.window.height())
                 .arg(parsed.unitsPerInch));
    const QImage stored = composeBitmaps(parsed, written, code);
    const bool oneToOne = written == picture.size();
    if (oneToOne)
        checkExact(reference, stored, tolerance,
                   wmf ? "WMF bitmaps (libUEMF)" : "EMF bitmaps (libUEMF)");

    const DecodedImage back =
        decodeDataInProcess(file, {}, wmf ? QStringLiteral("f.wmf") : QStringLiteral("f.emf"));
    if (!back.ok())
        fail(QStringLiteral("%1 not decoded: %2").arg(QLatin1String(name), back.error));
    if (back.format != code)
        fail(QStringLiteral("%1 decoded as format %2")
                 .arg(QLatin1String(name))
                 .arg(int(back.format)));
    const QSize shown = support::targetSize(written, support::kMetafileRenderBox);
    const QImage &page = back.pages.front();
    if (page.size() != shown)
        fail(QStringLiteral("%1 decoded at %2x%3, not %4x%5")
                 .arg(QLatin1String(name))
                 .arg(page.width())
                 .arg(page.height())
                 .arg(shown.width())
                 .arg(shown.height()));
    // libwmf, behind our WMF reader, resamples a bitmap drawn 1:1 (over one
    // pixel more each way) and draws none of a bitmap one pixel wide or
    // tall, so only the size of what it renders is checked here; the WMF's
    // pixels are checked through libUEMF and ImageMagick.
    if (!wmf && oneToOne && shown == written)
        checkExact(reference, page, tolerance, "EMF (libemf2svg)");

    // ImageMagick's policy (16K pixels a side in Debian) caps what it draws.
    if (wmf && qulonglong(written.width()) <= Magick::ResourceLimits::width() &&
        qulonglong(written.height()) <= Magick::ResourceLimits::height()) {
        const QImage magick = renderWithMagick(file);
        if (magick.size() != written)
            fail(QStringLiteral("ImageMagick renders the WMF at %1x%2")
                     .arg(magick.width())
                     .arg(magick.height()));
        if (oneToOne)
            checkExact(reference, magick, tolerance, "WMF (ImageMagick)");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    if (!qEnvironmentVariableIsSet("LUMORA_FUZZ_VERBOSE"))
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    applyDecodeLimits();
    initMagick();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const QImage picture = makePicture(data, size);
    if (picture.isNull())
        return 0;
    s_context =
        QStringLiteral("%1x%2, QImage format %3%4")
            .arg(picture.width())
            .arg(picture.height())
            .arg(int(picture.format()))
            .arg(picture.colorCount() ? QStringLiteral(", %1 colours").arg(picture.colorCount())
                                      : QString());
    int tolerance = 0;
    const QImage reference = onWhite(picture, &tolerance);
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    checkOne(picture, reference, tolerance, FormatCode::Wmf, input);
    checkOne(picture, reference, tolerance, FormatCode::Emf, input);
    return 0;
}
