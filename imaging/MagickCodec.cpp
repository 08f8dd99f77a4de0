#include "imaging/MagickCodec.h"

#include "imaging/ColourManagement.h"

#include "imaging/DecodeSupport.h"
#include "imaging/ReaderWarnings.h"

#include <Magick++.h>

#include <QIODevice>

#include <mutex>

namespace lumora::imaging
{

namespace
{

void setUpMagick()
{
    Magick::InitializeMagick(nullptr);
    using Limits = Magick::ResourceLimits;
    // The pixel cache (8 bytes a pixel at Q16) may use RAM up to our decode
    // budget, spill to mapped files and then to disk, but never beyond: a
    // picture that still does not fit fails instead of exhausting memory.
    Limits::memory(MagickCore::MagickSizeType(kMaxDecodedBytes));
    Limits::map(MagickCore::MagickSizeType(kMaxDecodedBytes) * 2);
    Limits::disk(MagickCore::MagickSizeType(kMaxDecodedBytes) * 4);
    Limits::area(MagickCore::MagickSizeType(kMaxDecodedBytes / 4));
    // Our own check refuses oversized pictures after the ping; these only
    // stop a reader that would allocate for absurd dimensions.
    Limits::width(1u << 18);
    Limits::height(1u << 18);
    // Thumbnail workers already run in parallel; ImageMagick's OpenMP pool
    // on top of them only oversubscribes the cores.
    Limits::thread(1);
}

int magickDepth(const Magick::Image &image)
{
    const int depth = int(image.depth());
    if (image.classType() == MagickCore::PseudoClass && image.colorMapSize() > 0) {
        const size_t colors = image.colorMapSize();
        return colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
    }
    const int alpha = image.matte() ? depth : 0;
    switch (image.colorSpace()) {
    case MagickCore::GRAYColorspace:
    case MagickCore::Rec601LumaColorspace:
    case MagickCore::Rec709LumaColorspace:
        return depth + alpha;
    case MagickCore::CMYKColorspace:
        return depth * 4 + alpha;
    default:
        return depth * 3 + alpha;
    }
}

// ImageMagick hands TGA rows and columns over in the order the file stores
// them and only reports the origin as an orientation. Whether to turn them
// is decided from the file's own descriptor byte (bit 5: first row is the
// top one; bit 4: first column is the right one), not from that report, so
// the picture is the one the file describes whatever the reader's habits.
void uprightTga(Magick::Image &image, quint8 descriptor)
{
    if (!(descriptor & 0x20))
        image.flip();
    if (descriptor & 0x10)
        image.flop();
    image.orientation(MagickCore::TopLeftOrientation);
}

QImage toQImage(Magick::Image &image)
{
    const size_t width = image.columns();
    const size_t height = image.rows();
    const bool alpha = image.matte();
    QImage out(int(width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    // QImage's 32-bit formats are B, G, R, A in memory on little-endian
    // machines and A, R, G, B on big-endian ones.
    const char *map = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "BGRA" : "ARGB";
    image.write(0, 0, width, height, map, Magick::CharPixel, out.bits());
    return out;
}

// A true-colour TGA (types 2 and 10) may carry a colour map that its pixels
// do not use; ImageMagick then takes the map for the pixels and shows noise.
// The map is cut out and the header says there is none, as the format's
// readers that follow its description do.
QByteArray withoutUnusedTgaColourMap(const QByteArray &data)
{
    if (data.size() < 18 || quint8(data.at(1)) != 1)
        return data;
    const int type = quint8(data.at(2));
    if (type != 2 && type != 10)
        return data;
    const int length = quint8(data.at(5)) | quint8(data.at(6)) << 8;
    const int entryBits = quint8(data.at(7));
    const qsizetype mapStart = 18 + quint8(data.at(0));
    const qsizetype mapBytes = qsizetype(length) * ((entryBits + 7) / 8);
    if (mapStart + mapBytes > data.size())
        return data;
    QByteArray out = data;
    out.remove(mapStart, mapBytes);
    out[1] = 0;
    for (int i = 3; i < 8; ++i)
        out[i] = 0;
    return out;
}

// ImageMagick's words for data that stops before the picture does.
bool endedEarly(const QString &message)
{
    return message.contains(QLatin1String("unexpected end-of-file"), Qt::CaseInsensitive) ||
           message.contains(QLatin1String("insufficient image data"), Qt::CaseInsensitive) ||
           message.contains(QLatin1String("Premature end"), Qt::CaseInsensitive);
}

} // namespace

void initMagick()
{
    static std::once_flag once;
    std::call_once(once, setUpMagick);
}

DecodedImage decodeWithMagick(QIODevice &device, const FormatSpec &entry,
                              const DecodeOptions &options)
{
    using namespace support;
    initMagick();
    QByteArray data = device.readAll();
    if (entry.code == FormatCode::Tga)
        data = withoutUnusedTgaColourMap(data);
    if (data.isEmpty())
        return failure(damagedMessage());
    const Magick::Blob blob(data.constData(), size_t(data.size()));
    const bool isPsd = entry.code == FormatCode::Psd;
    try {
        // Dimensions first, so an oversized picture is refused before any
        // pixel is decoded.
        Magick::Image probe;
        probe.quiet(true);
        probe.magick(entry.magickName);
        if (isPsd)
            probe.subRange(1);
        try {
            probe.ping(blob);
        } catch (const Magick::Error &error) {
            // Read on below, where what an early end leaves is kept.
            if (probe.columns() == 0 || probe.rows() == 0 ||
                !endedEarly(QString::fromLocal8Bit(error.what())))
                throw;
        }
        const QSize size(int(qMin<size_t>(probe.columns(), INT_MAX)),
                         int(qMin<size_t>(probe.rows(), INT_MAX)));
        if (size.isEmpty())
            return failure(damagedMessage());
        // PCD's base image is what is read; ping may report a larger scene.
        if (entry.code != FormatCode::Pcd && !fitsBudget(size))
            return failure(tooLargeMessage(size));
        if (isCancelled(options))
            return failure(cancelledMessage());

        Magick::Image image;
        image.quiet(false); // its warnings are how a damaged file is told apart
        image.magick(entry.magickName);
        if (isPsd)
            image.subRange(1); // the merged image comes first; skip the layers
        QString damage;
        try {
            image.read(blob);
        } catch (const Magick::Warning &warning) {
            // The picture is read; only a warning about its data counts.
            damage = damageFromWarnings({QString::fromLocal8Bit(warning.what())});
        } catch (const Magick::Error &error) {
            // A reader that stops at an early end of file (PCX cut short in
            // its palette or its last rows) keeps the picture it had; as
            // ImageMagick's own tools and Pillow do, that is shown, and
            // said to be damaged. Nothing read at all stays a failure.
            if (image.columns() == 0 || image.rows() == 0 ||
                !endedEarly(QString::fromLocal8Bit(error.what())))
                throw;
            damage = truncatedDamage();
        }
        const QSize decodedSize(int(image.columns()), int(image.rows()));
        if (!fitsBudget(decodedSize))
            return failure(tooLargeMessage(decodedSize));
        if (isCancelled(options))
            return failure(cancelledMessage());

        DecodedImage out;
        out.format = entry.code;
        out.bitsPerPixel = magickDepth(image);
        if (entry.code == FormatCode::Tga)
            uprightTga(image, quint8(data.size() > 17 ? data.at(17) : 0));
        QByteArray icc;
        if (const Magick::Blob profile = image.iccColorProfile(); profile.length() >= 132)
            icc =
                QByteArray(static_cast<const char *>(profile.data()), qsizetype(profile.length()));
        if (image.colorSpace() == MagickCore::CMYKColorspace) {
            // The inks through their profile (or the default press profile)
            // rather than ImageMagick's plain ink formula.
            const bool own = colour::profileSpace(icc) == "CMYK" && colour::isUsable(icc);
            const QByteArray press = own ? icc : colour::defaultCmykProfile();
            if (!press.isEmpty()) {
                if (!own)
                    image.iccColorProfile(Magick::Blob(press.constData(), size_t(press.size())));
                const QByteArray srgb = colour::srgbProfile();
                image.profile("ICC", Magick::Blob(srgb.constData(), size_t(srgb.size())));
            }
            icc.clear();
        }
        const QByteArray space4 = colour::profileSpace(icc);
        if ((space4 == "RGB " || space4 == "GRAY") && colour::isUsable(icc))
            out.iccProfile = icc;
        const auto space = image.colorSpace();
        if (space != MagickCore::sRGBColorspace && space != MagickCore::RGBColorspace &&
            space != MagickCore::GRAYColorspace)
            image.colorSpace(MagickCore::sRGBColorspace); // transforms the pixels
        QImage page = toQImage(image);
        if (page.isNull())
            return failure(tooLargeMessage(decodedSize));
        out.originalSize = page.size();
        out.damage = damage;
        out.pages << std::move(page);
        scalePages(out, options);
        return out;
    } catch (const Magick::Exception &) {
        return failure(damagedMessage());
    } catch (const std::exception &) {
        return failure(damagedMessage());
    }
}

} // namespace lumora::imaging
