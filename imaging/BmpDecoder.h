#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace lumora::imaging::bmp
{

// Where the device-independent bitmap sits and how it is to be read.
struct DibSource {
    // The info header's offset in the bytes (14 in a .bmp, 0 for a bare DIB).
    qsizetype infoOffset = 0;
    // Offset of the pixel array as the file header states it; 0 when there
    // is no file header (or it states nothing usable): right after the
    // palette then.
    qint64 pixelOffset = 0;
    // Icon and cursor images: the height counts the colour bitmap and the
    // 1-bit AND mask after it; the mask makes pixels transparent.
    bool iconMask = false;
};

struct DibResult {
    QImage image;         // null on failure
    int bitsPerPixel = 0; // as the header stores it
    bool tooLarge = false;
    QSize size;             // as declared (the colour bitmap's, for icons)
    QString error;          // why it was refused, for the caller's fallback
    bool truncated = false; // the pixels end before the last row does
};

// Every uncompressed depth (1, 2, 4, 8, 16, 24, 32), RLE4, RLE8, OS/2's
// RLE24, bit-field masks of any width (alpha included), top-down rows, the
// OS/2 1.x and 2.x headers, V4 and V5 headers. Embedded JPEG or PNG streams
// and Huffman-coded OS/2 bitmaps are refused for another reader to try.
DibResult decodeDib(const QByteArray &data, const DibSource &source, qint64 maxBytes);

} // namespace lumora::imaging::bmp
