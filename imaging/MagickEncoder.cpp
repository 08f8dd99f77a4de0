#include "imaging/Codec.h"
#include "imaging/ImageEncoders.h"
#include "imaging/MagickCodec.h"
#include "imaging/WritePixels.h"

#include <Magick++.h>

#include <QFile>
#include <QTemporaryDir>

#include <limits>
#include <list>
#include <vector>

namespace lumora::imaging::encoders
{

namespace
{

QByteArray failed(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return {};
}

const char *coderName(FormatCode code)
{
    const FormatSpec *row = formatRow(code);
    return row ? row->magickName : nullptr;
}

// A coder asked for by name can be missing or read-only in a given
// ImageMagick build; it would then fall back to another format without a word.
bool canWrite(const char *coder)
{
    try {
        return Magick::CoderInfo(coder).isWritable();
    } catch (const Magick::Exception &) {
        return false;
    }
}

// The first bytes each coder must have produced.
bool looksRight(FormatCode code, const QByteArray &bytes)
{
    switch (code) {
    case FormatCode::Psd:
        return bytes.startsWith("8BPS");
    case FormatCode::Pcx:
        return bytes.size() >= 128 && uchar(bytes[0]) == 0x0A;
    case FormatCode::Tga:
        return bytes.size() >= 18 &&
               (uchar(bytes[2]) == 2 || uchar(bytes[2]) == 10 || uchar(bytes[2]) == 3 ||
                uchar(bytes[2]) == 11 || uchar(bytes[2]) == 1 || uchar(bytes[2]) == 9);
    default:
        return false;
    }
}

// ImageMagick wants tightly packed samples; QImage rows may be padded.
template <typename Sample> std::vector<Sample> packed(const QImage &image, int channels)
{
    const int w = image.width();
    const int h = image.height();
    std::vector<Sample> out(size_t(w) * size_t(h) * size_t(channels));
    const size_t rowSamples = size_t(w) * size_t(channels);
    for (int y = 0; y < h; ++y) {
        const auto *src = reinterpret_cast<const Sample *>(image.constScanLine(y));
        Sample *dst = out.data() + size_t(y) * rowSamples;
        if (channels == 4) {
            std::copy(src, src + rowSamples, dst);
        } else {
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < channels; ++c)
                    dst[size_t(x) * size_t(channels) + size_t(c)] = src[size_t(x) * 4 + size_t(c)];
        }
    }
    return out;
}

// Photoshop stores the merged picture of a document with transparency
// composed on white, and readers (ImageMagick, GIMP) take the white out
// again; straight colours there come back wrong wherever alpha is partial.
template <typename Sample> std::vector<Sample> mattedOnWhite(std::vector<Sample> rgba)
{
    constexpr quint32 full = std::numeric_limits<Sample>::max();
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const quint64 a = rgba[i + 3];
        for (size_t c = 0; c < 3; ++c)
            rgba[i + c] =
                Sample((quint64(rgba[i + c]) * a + quint64(full) * (full - a) + full / 2) / full);
    }
    return rgba;
}

Magick::Image fromSamples(const QImage &source, const char *map, bool deep, bool matted,
                          int channels)
{
    Magick::Image out;
    if (deep) {
        auto samples = packed<quint16>(source, channels);
        if (matted)
            samples = mattedOnWhite(std::move(samples));
        out.read(size_t(source.width()), size_t(source.height()), map, Magick::ShortPixel,
                 samples.data());
        out.depth(16);
    } else {
        auto samples = packed<quint8>(source, channels);
        if (matted)
            samples = mattedOnWhite(std::move(samples));
        out.read(size_t(source.width()), size_t(source.height()), map, Magick::CharPixel,
                 samples.data());
        out.depth(8);
    }
    return out;
}

// A list of images goes through a file: writing one to a blob trips an
// assertion in this ImageMagick release. The file is private to this call;
// the bytes still reach the target through the caller's atomic commit.
QByteArray writeList(std::list<Magick::Image> &images, const char *coder)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    const QString path = dir.filePath(QStringLiteral("list"));
    Magick::writeImages(images.begin(), images.end(),
                        std::string(coder) + ":" + QFile::encodeName(path).toStdString(), true);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

QByteArray encodeWithMagick(const QImage &image, FormatCode code, const WriteOptions &options,
                            QString *error)
{
    const char *coder = coderName(code);
    if (!coder)
        return failed(error, QStringLiteral("This format is not written by ImageMagick."));
    initMagick();
    if (!canWrite(coder))
        return failed(error, QStringLiteral("ImageMagick cannot write %1 files here.")
                                 .arg(QString::fromLatin1(coder)));

    // PSD holds alpha and 16-bit samples; TGA holds alpha at 8 bits; PCX has
    // neither, so its pictures are composed on white.
    QImage source;
    bool alpha = false;
    bool deep = false;
    switch (code) {
    case FormatCode::Psd:
        alpha = image.hasAlphaChannel();
        deep = pixels::isDeep(image);
        source = image;
        break;
    case FormatCode::Tga:
        alpha = image.hasAlphaChannel();
        source = pixels::atEightBits(image);
        break;
    default:
        source = pixels::flattenedOnWhite(image);
        break;
    }
    if (deep)
        source = source.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    else
        source = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (source.isNull())
        return failed(error, QStringLiteral("There is not enough memory to convert the image."));

    const int channels = alpha ? 4 : 3;
    const char *map = alpha ? "RGBA" : "RGB";
    try {
        // A PSD with alpha: the merged picture on white, then the layer.
        const bool psdLayers = code == FormatCode::Psd && alpha;
        Magick::Image out = fromSamples(source, map, deep, psdLayers, channels);
        out.quiet(true);
        out.magick(coder);
        // Always colour (and alpha when there is some): ImageMagick would
        // otherwise pick grey or palette forms that some readers refuse.
        out.type(alpha ? MagickCore::TrueColorMatteType : MagickCore::TrueColorType);
        if (code == FormatCode::Tga) {
            // Rows stored top first, with the descriptor saying so.
            out.orientation(MagickCore::TopLeftOrientation);
            out.compressType(MagickCore::NoCompression);
        }
        if (code == FormatCode::Psd)
            out.compressType(MagickCore::RLECompression);
        // The profile the pixels are in (resource 1039 of a PSD).
        if (code == FormatCode::Psd && !options.iccProfile.isEmpty())
            out.iccColorProfile(
                Magick::Blob(options.iccProfile.constData(), size_t(options.iccProfile.size())));
        QByteArray bytes;
        if (psdLayers) {
            Magick::Image layer = fromSamples(source, map, deep, false, channels);
            layer.quiet(true);
            layer.magick(coder);
            layer.type(MagickCore::TrueColorMatteType);
            std::list<Magick::Image> images{out, layer};
            bytes = writeList(images, coder);
        } else {
            Magick::Blob blob;
            out.write(&blob, coder);
            bytes = QByteArray(static_cast<const char *>(blob.data()), qsizetype(blob.length()));
        }
        if (!looksRight(code, bytes))
            return failed(error, QStringLiteral("ImageMagick did not write a %1 file.")
                                     .arg(QString::fromLatin1(coder)));
        return bytes;
    } catch (const Magick::Exception &e) {
        return failed(error, QStringLiteral("The image could not be encoded: %1.")
                                 .arg(QString::fromLocal8Bit(e.what())));
    } catch (const std::exception &e) {
        return failed(error, QStringLiteral("The image could not be encoded: %1.")
                                 .arg(QString::fromLocal8Bit(e.what())));
    }
}

} // namespace lumora::imaging::encoders
