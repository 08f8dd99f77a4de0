#pragma once

#include <QString>

namespace lumora
{

// "512 Bytes", "1.5 KB", "2. KB", "3. MB": at most one decimal, the point
// kept when the rounded value is whole.
QString formatFileSize(float bytes);

// The zoom as a whole percentage followed by " %"; a zoom that rounds to 0
// leaves only " %".
QString formatZoom(double zoom);

// "3/12"
QString formatPosition(int index, int count);

// "800x600x24b jpg"
QString formatDimensions(int width, int height, int bitsPerPixel, const QString &extension);

// Icons and device-independent bitmaps show no dimensions: the lower-cased
// extension occurs inside "ico dib" (an empty extension included).
bool isIconOrDib(const QString &path);

} // namespace lumora
