#include "imaging/ImageWriter.h"

#include "imaging/Codec.h"
#include "imaging/ColourManagement.h"
#include "imaging/EmbeddedProfiles.h"
#include "imaging/ImageEncoders.h"
#include "imaging/JpegExif.h"
#include "platform/AtomicFile.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumora::imaging
{

namespace
{

// The row of a format that can be saved, or nullptr.
const FormatSpec *findWriter(FormatCode code)
{
    const FormatSpec *row = formatRow(code);
    return row && row->encode ? row : nullptr;
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QString cannotWrite(const QString &path, const QString &reason)
{
    return QStringLiteral("The file \"%1\" cannot be written: %2.")
        .arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

bool carriesProfile(FormatCode code)
{
    return code == FormatCode::Jpeg || code == FormatCode::Png || code == FormatCode::Tiff ||
           code == FormatCode::Psd;
}

bool canWriteFormat(FormatCode code)
{
    return findWriter(code) != nullptr;
}

QByteArray encodeImage(const QImage &image, FormatCode code, const WriteOptions &options,
                       QString *error)
{
    if (image.isNull()) {
        fail(error, QStringLiteral("There is no image to save."));
        return {};
    }
    const FormatSpec *writer = findWriter(code);
    if (!writer) {
        const QString name = QString::fromLatin1(formatShortName(code)).toUpper();
        fail(error, name.isEmpty()
                        ? QStringLiteral("This format cannot be saved.")
                        : QStringLiteral("Images cannot be saved in the %1 format.").arg(name));
        return {};
    }
    QString reason;
    WriteOptions own = options;
    const QImage pixels = pixelsForWriting(image, code, own);
    if (pixels.isNull()) {
        fail(error, QStringLiteral("There is not enough memory to convert the image."));
        return {};
    }
    QByteArray bytes = writer->encode(pixels, code, own, &reason);
    if (bytes.isEmpty()) {
        fail(error, reason.isEmpty() ? QStringLiteral("The image could not be encoded.") : reason);
        return {};
    }
    if (code == FormatCode::Jpeg && !own.iccProfile.isEmpty())
        bytes = profiles::jpegWithProfile(bytes, own.iccProfile);
    return bytes;
}

QImage pixelsForWriting(const QImage &image, FormatCode code, WriteOptions &options)
{
    // Only the caller's profile counts (the document's, from the file): the
    // colour space Qt's readers put on a page is their guess (a PNG's gAMA
    // 1/2.2 becomes a space of its own), and the writers keep it as before.
    const QByteArray profile = options.iccProfile;
    const QColorSpace space = image.colorSpace();
    if (colour::isSrgb(profile) || !colour::isUsable(profile)) {
        options.iccProfile.clear();
        return image;
    }
    // The profile goes in through the encoders, never through a colour space
    // Qt may only half understand.
    QImage pixels = image;
    if (space.isValid())
        pixels.setColorSpace(QColorSpace());
    if (code == FormatCode::Tiff) {
        // Qt's TIFF writer stores a profile only as a colour space it parses.
        const QColorSpace parsed = QColorSpace::fromIccProfile(profile);
        if (parsed.isValid() && parsed.iccProfile() == profile) {
            pixels.setColorSpace(parsed);
            options.iccProfile.clear();
            return pixels;
        }
    } else if (carriesProfile(code)) {
        options.iccProfile = profile;
        return pixels;
    }
    options.iccProfile.clear();
    pixels = colour::convert(pixels, profile);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

bool writeImageFile(const QImage &image, const QString &path, FormatCode code,
                    const WriteOptions &options, QString *error)
{
    if (path.isEmpty())
        return fail(error, QStringLiteral("No file name was given."));
    const QFileInfo target(path);
    if (target.isDir())
        return fail(error,
                    QStringLiteral("\"%1\" is a folder.").arg(QDir::toNativeSeparators(path)));
    if (!options.overwrite && (target.exists() || target.isSymLink()))
        return fail(
            error,
            QStringLiteral("The file \"%1\" already exists.").arg(QDir::toNativeSeparators(path)));

    QString reason;
    const QByteArray bytes = encodeImage(image, code, options, &reason);
    if (bytes.isEmpty())
        return fail(error, reason);

    // Written beside the target and named only when complete: the old file
    // survives any failure, and only a regular file is ever replaced.
    if (!platform::commitFile(path, bytes, options.overwrite, &reason))
        return fail(error, cannotWrite(path, reason));
    if (error)
        error->clear();
    return true;
}

bool writeImageFile(const QImage &image, const QString &path, FormatCode code, int option,
                    bool overwrite, QString *error)
{
    WriteOptions options;
    options.option = option;
    options.overwrite = overwrite;
    return writeImageFile(image, path, code, options, error);
}

QByteArray jpegExifSegment(const QByteArray &jpegHead)
{
    return exif::segmentPayload(jpegHead);
}

QByteArray readJpegHead(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Header segments are at most 64 KiB each and come before the image data;
    // a few of them fit easily in the first 256 KiB.
    return file.read(kJpegHeadBytes);
}

QByteArray readJpegExif(const QString &path)
{
    return exif::segmentPayload(readJpegHead(path));
}

} // namespace lumora::imaging
