#pragma once

#include "imaging/ImageWriter.h"

// The encoder families behind writeImageFile(), one file each. Every encoder
// returns the whole file in memory (empty with *error set on failure), so the
// single commit step in ImageWriter.cpp is the only code that touches disk.
namespace lumora::imaging::encoders
{

using Encoder = QByteArray (*)(const QImage &image, FormatCode code, const WriteOptions &options,
                               QString *error);

// JPEG, PNG, TIFF, BMP through Qt's image writers; WBMP by hand (1-bit rows).
QByteArray encodeWithQt(const QImage &image, FormatCode code, const WriteOptions &options,
                        QString *error);
// PNG of grey, RGB and RGBA pictures by hand; the rest through Qt.
QByteArray encodePng(const QImage &image, FormatCode code, const WriteOptions &options,
                     QString *error);
// PSD, PCX, TGA through ImageMagick.
QByteArray encodeWithMagick(const QImage &image, FormatCode code, const WriteOptions &options,
                            QString *error);
// WMF and EMF holding the picture as one bitmap record.
QByteArray encodeMetafile(const QImage &image, FormatCode code, const WriteOptions &options,
                          QString *error);

} // namespace lumora::imaging::encoders
