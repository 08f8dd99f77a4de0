#pragma once

// Pixel comparisons for the writer tests, written independently of the
// writers' own conversions.

#include <QImage>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumora::test
{

inline QImage straight8(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGBA8888);
}

// Composes straight RGBA on white, rounding to the nearest value.
inline QImage onWhite(const QImage &image)
{
    QImage src = straight8(image);
    QImage out(src.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < src.height(); ++y) {
        const uchar *s = src.constScanLine(y);
        uchar *d = out.scanLine(y);
        for (int x = 0; x < src.width(); ++x) {
            const int a = s[4 * x + 3];
            for (int c = 0; c < 3; ++c)
                d[4 * x + c] = uchar((s[4 * x + c] * a + 255 * (255 - a) + 127) / 255);
            d[4 * x + 3] = 255;
        }
    }
    return out;
}

inline int luma(const uchar *p)
{
    return (p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000;
}

struct PixelDiff {
    bool sameSize = false;
    int maxDiff = 0;     // largest difference of a premultiplied channel or alpha
    double psnr = 0;     // over R, G, B of opaque pictures; infinity when equal
    double lumaPsnr = 0; // over the brightness only
    QString where;       // the first pixel with the largest difference
};

// Compares premultiplied values, so the colour of fully transparent pixels
// (which no format has to keep) does not count.
inline PixelDiff comparePixels(const QImage &expected, const QImage &actual)
{
    PixelDiff d;
    if (expected.size() != actual.size()) {
        d.where = QStringLiteral("size %1x%2 instead of %3x%4")
                      .arg(actual.width())
                      .arg(actual.height())
                      .arg(expected.width())
                      .arg(expected.height());
        return d;
    }
    d.sameSize = true;
    const QImage a = straight8(expected);
    const QImage b = straight8(actual);
    double squared = 0;
    double lumaSquared = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar *p = a.constScanLine(y);
        const uchar *q = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            const int pa = p[4 * x + 3];
            const int qa = q[4 * x + 3];
            int worst = std::abs(pa - qa);
            for (int c = 0; c < 3; ++c) {
                const int pc = (p[4 * x + c] * pa + 127) / 255;
                const int qc = (q[4 * x + c] * qa + 127) / 255;
                worst = std::max(worst, std::abs(pc - qc));
                const double e = double(p[4 * x + c]) - double(q[4 * x + c]);
                squared += e * e;
            }
            const double le = double(luma(p + 4 * x)) - double(luma(q + 4 * x));
            lumaSquared += le * le;
            if (worst > d.maxDiff) {
                d.maxDiff = worst;
                d.where = QStringLiteral("pixel %1,%2: %3,%4,%5,%6 instead of %7,%8,%9,%10")
                              .arg(x)
                              .arg(y)
                              .arg(q[4 * x])
                              .arg(q[4 * x + 1])
                              .arg(q[4 * x + 2])
                              .arg(q[4 * x + 3])
                              .arg(p[4 * x])
                              .arg(p[4 * x + 1])
                              .arg(p[4 * x + 2])
                              .arg(p[4 * x + 3]);
            }
        }
    }
    auto psnrOf = [](double mse) {
        return mse == 0 ? std::numeric_limits<double>::infinity()
                        : 10.0 * std::log10(255.0 * 255.0 / mse);
    };
    d.psnr = psnrOf(squared / (3.0 * a.width() * a.height()));
    d.lumaPsnr = psnrOf(lumaSquared / (double(a.width()) * a.height()));
    return d;
}

// The largest difference of one straight 8-bit channel, alpha included
// unless told otherwise; 256 when the sizes differ.
inline int largestDifference(const QImage &expected, const QImage &actual, bool withAlpha = true)
{
    if (expected.size() != actual.size())
        return 256;
    const QImage a = expected.convertToFormat(QImage::Format_ARGB32);
    const QImage b = actual.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            worst = std::max({worst, std::abs(qRed(p[x]) - qRed(q[x])),
                              std::abs(qGreen(p[x]) - qGreen(q[x])),
                              std::abs(qBlue(p[x]) - qBlue(q[x]))});
            if (withAlpha)
                worst = std::max(worst, std::abs(qAlpha(p[x]) - qAlpha(q[x])));
        }
    }
    return worst;
}

// 16-bit samples compared one by one.
inline int maxDiff16(const QImage &expected, const QImage &actual)
{
    if (expected.size() != actual.size())
        return 65536;
    const QImage a = expected.convertToFormat(QImage::Format_RGBA64);
    const QImage b = actual.convertToFormat(QImage::Format_RGBA64);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const quint16 *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const quint16 *>(b.constScanLine(y));
        for (int i = 0; i < 4 * a.width(); ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

// How well a black-and-white picture stands for a grey one: the largest
// difference between their local means over boxes of `box` pixels a side
// (0..255), and whether every pixel is pure black or white.
struct BilevelFit {
    bool pureBlackWhite = true;
    double worstBoxError = 0;
    double meanError = 0;
};

inline BilevelFit bilevelFit(const QImage &grey, const QImage &bw, int box)
{
    BilevelFit fit;
    const QImage a = onWhite(grey);
    const QImage b = straight8(bw);
    if (a.size() != b.size()) {
        fit.pureBlackWhite = false;
        fit.worstBoxError = 255;
        return fit;
    }
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const uchar *p = b.constScanLine(y) + 4 * x;
            if (!((p[0] == 0 && p[1] == 0 && p[2] == 0) ||
                  (p[0] == 255 && p[1] == 255 && p[2] == 255)))
                fit.pureBlackWhite = false;
        }
    double total = 0;
    int boxes = 0;
    for (int by = 0; by + box <= a.height(); by += box)
        for (int bx = 0; bx + box <= a.width(); bx += box) {
            double sa = 0, sb = 0;
            for (int y = by; y < by + box; ++y)
                for (int x = bx; x < bx + box; ++x) {
                    sa += luma(a.constScanLine(y) + 4 * x);
                    sb += luma(b.constScanLine(y) + 4 * x);
                }
            const double e = std::abs(sa - sb) / (box * box);
            fit.worstBoxError = std::max(fit.worstBoxError, e);
            total += e;
            ++boxes;
        }
    fit.meanError = boxes ? total / boxes : 0;
    return fit;
}

} // namespace lumora::test
