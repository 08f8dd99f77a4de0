#pragma once

#include "imaging/FormatCode.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumora::imaging
{

// Quality of a JPEG written without an explicit option: visually lossless for
// photos at about a third of the size of quality 100.
constexpr int kDefaultJpegQuality = 90;

struct WriteOptions {
    // JPEG: quality 1..100, 0 for kDefaultJpegQuality. Other formats ignore it.
    int option = 0;
    // When false an existing target is left alone and the write fails.
    bool overwrite = true;
    // The APP1 "Exif" segment payload of the JPEG the image came from (see
    // readJpegExif); a JPEG output keeps it with the orientation reset to
    // normal, since the pixels handed over are already upright.
    QByteArray exif;
    // The leading bytes of the JPEG the image came from (readJpegHead): a
    // JPEG output keeps its XMP, IPTC and comments as they were, in place of
    // the comments Qt would make of the image's text.
    QByteArray sourceJpegHead;
    // The ICC profile the pixels are in (the file's, see DecodedImage), or
    // empty for sRGB. A format that carries a profile (carriesProfile())
    // gets the pixels as they are with this profile; any other gets them
    // converted to sRGB.
    QByteArray iccProfile;
};

// Whether the format stores an ICC profile with its pixels: JPEG, PNG, TIFF
// and PSD.
bool carriesProfile(FormatCode code);

// Whether writeImageFile() can produce this format: the ten save formats.
bool canWriteFormat(FormatCode code);

// The complete file contents for one image in the given format, or an empty
// array with *error set. Widget-free and safe to call from several threads.
// A format that cannot hold everything the image has gets the nearest sound
// result: alpha flattened on white where there is no alpha, 16-bit samples at
// 8 bits where the format has no more, a dithered 1-bit picture for WBMP.
QByteArray encodeImage(const QImage &image, FormatCode code, const WriteOptions &options,
                       QString *error);

// The pixels a format gets (see WriteOptions::iccProfile): as they are for a
// format that keeps the profile, which is left in options.iccProfile for its
// encoder; converted to sRGB, with options.iccProfile cleared, for one that
// cannot. encodeImage() does this itself; it is here for writers of their own.
QImage pixelsForWriting(const QImage &image, FormatCode code, WriteOptions &options);

// Writes one image in the given format. The bytes go to a temporary file in
// the target folder that is then renamed over the target, so readers never
// see a half-written file and a failure leaves any old file untouched.
bool writeImageFile(const QImage &image, const QString &path, FormatCode code,
                    const WriteOptions &options, QString *error);
// The same with the document's argument order: `option` as in WriteOptions.
bool writeImageFile(const QImage &image, const QString &path, FormatCode code, int option,
                    bool overwrite, QString *error);

// The payload of the first APP1 "Exif" segment of a JPEG file (starting with
// "Exif\0\0"), or an empty array when the file is no JPEG or has none.
QByteArray readJpegExif(const QString &path);
// The first bytes of a file, enough for every header segment of a JPEG.
QByteArray readJpegHead(const QString &path);
constexpr qsizetype kJpegHeadBytes = 256 * 1024;
QByteArray jpegExifSegment(const QByteArray &jpegHead);

} // namespace lumora::imaging
