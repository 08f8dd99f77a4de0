#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QSize>

class QIODevice;

namespace lumora::imaging
{

// An 8-bit RGB PNG (colour type 2) holds 3 bytes a pixel. Qt's reader gives
// it 4, which puts pictures between about 768 MB and the decode budget out of
// reach, sealed pictures among them. Such a file that fits the budget only at
// 3 bytes a pixel is read here, by libpng, into Format_RGB888.

// The declared size when the header is that of an 8-bit RGB PNG, else empty.
QSize rgb8PngSize(const QByteArray &head);
// Whether the file should take this reader: too large at 4 bytes a pixel,
// small enough at 3.
bool wantsRgb24Png(const QByteArray &head);
// The bits a pixel the decode budget is checked at for this header.
int declaredBudgetBits(const QByteArray &head);

DecodedImage decodeRgb24Png(QIODevice &device, const DecodeOptions &options);

} // namespace lumora::imaging
