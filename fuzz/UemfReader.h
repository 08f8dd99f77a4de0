#pragma once

// A second reading of the metafiles we write, through libUEMF's record
// parsers: it knows nothing of our writer or of the renderers behind our
// decoders, so it checks the file's bookkeeping (sizes, counts, the largest
// record, the placeable checksum) that renderers tend to forgive, and hands
// back the bitmap exactly as stored.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

namespace lumora::fuzz
{

struct UemfBitmap {
    QRect destination; // where the record draws, in logical units
    QRect source;      // the part of its bitmap it takes
    QImage pixels;     // the stored bitmap, top row first, RGB32
};

struct UemfReading {
    QString problem;           // empty when the file is sound
    QList<UemfBitmap> bitmaps; // the bitmap records in file order
    QRect window;              // WMF: window origin and extent (empty when not set)
    QSize frame;               // WMF: the placeable box; EMF: the frame in reference-device pixels
    int unitsPerInch = 0;      // WMF: the placeable header's units
};

UemfReading readWmfWithUemf(const QByteArray &file);
UemfReading readEmfWithUemf(const QByteArray &file);

} // namespace lumora::fuzz
