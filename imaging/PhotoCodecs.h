#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>

class QIODevice;

// The formats of today's cameras, phones and the web: WebP (libwebp), HEIF,
// HEIC and AVIF (libheif), JPEG XL (libjxl) and camera RAW (LibRaw). Each is
// one row of the codec table; these are the row's tests and decoder.
namespace lumora::imaging
{

struct FormatSpec;

bool isWebp(const QByteArray &head, const QString &suffix);
QSize webpSize(const QByteArray &head);
DecodedImage decodeWebp(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// ISO base media files whose brand says HEIF still image (HEVC) or AVIF.
bool isHeif(const QByteArray &head, const QString &suffix);
bool isAvif(const QByteArray &head, const QString &suffix);
DecodedImage decodeHeif(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

bool isJxl(const QByteArray &head, const QString &suffix);
DecodedImage decodeJxl(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// RAW files are mostly TIFF underneath: the camera's extension decides
// before the TIFF row does, and LibRaw has the last word on the content.
bool isCameraRaw(const QByteArray &head, const QString &suffix);
DecodedImage decodeRaw(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// The extensions of camera RAW files this program opens, lower case.
inline constexpr const char *kRawExtensions = "cr2 nef arw dng orf raf rw2 pef srw";
// The other formats' extensions, lower case.
inline constexpr const char *kNewPhotoExtensions = "heic heif avif jxl webp";
// Whether an extension (any case) is one of these formats' or a RAW one:
// matched whole, never as a substring ("avif" holds "avi").
bool isPhotoExtension(const QString &extension);

} // namespace lumora::imaging
