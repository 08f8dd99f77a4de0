#include "viewer/StatusText.h"

#include <QFileInfo>

#include <cmath>

namespace lumora
{

// Rounds half away from zero, as number patterns do.
static double roundTo(double v, int decimals)
{
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

static QString oneDecimal(double v)
{
    const double r = roundTo(v, 1);
    const long long whole = static_cast<long long>(std::floor(r));
    const int tenth = int(std::lround((r - double(whole)) * 10));
    QString out = whole == 0 ? QString() : QString::number(whole);
    out += QLatin1Char('.');
    if (tenth != 0)
        out += QString::number(tenth);
    return out;
}

QString formatFileSize(float bytes)
{
    if (bytes < 1024.0f)
        return QString::number(double(bytes), 'g', 10) + QStringLiteral(" Bytes");
    if (bytes < 1048576.0f)
        return oneDecimal(double(bytes / 1024.0f)) + QStringLiteral(" KB");
    return oneDecimal(double(bytes / 1048576.0f)) + QStringLiteral(" MB");
}

QString formatZoom(double zoom)
{
    const double pct = std::round(zoom * 100.0);
    const QString n = pct == 0 ? QString() : QString::number(static_cast<long long>(pct));
    return n + QStringLiteral(" %");
}

QString formatPosition(int index, int count)
{
    return QStringLiteral("%1/%2").arg(index + 1).arg(count);
}

QString formatDimensions(int width, int height, int bitsPerPixel, const QString &extension)
{
    return QStringLiteral("%1x%2x%3b %4").arg(width).arg(height).arg(bitsPerPixel).arg(extension);
}

bool isIconOrDib(const QString &path)
{
    return QStringLiteral("ico dib").contains(QFileInfo(path).suffix().toLower());
}

} // namespace lumora
