// What lumora-loader decodes: every row of the codec table but EMF.
#include "imaging/Decoder.h"
#include "imaging/ImageEncoders.h"
#include "loader/LoaderWorker.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

namespace lumora::loader
{

namespace
{

namespace enc = imaging::encoders;
using imaging::FormatCode;

QImage tinyPicture()
{
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    return picture;
}

// Encodes a tiny picture with `encode` and decodes it again, which loads
// the libraries, plugins and data files behind that kind. Made by the
// encoders themselves: the writer's commit step (and the file system code
// behind it) has no place in a loader.
void roundTrip(FormatCode code, enc::Encoder encode)
{
    QString error;
    const QByteArray bytes = encode(tinyPicture(), code, {}, &error);
    if (!bytes.isEmpty())
        imaging::decodeDataInProcess(bytes, {},
                                     QStringLiteral("sample.") + imaging::formatShortName(code));
}

// Before the sandbox: only what photos need (Qt's JPEG plugin, libpng), so
// the first photo of `lumora photo.jpg` is not kept waiting for the rest.
void preparePhotos()
{
    imaging::applyDecodeLimits();
    roundTrip(FormatCode::Jpeg, &enc::encodeWithQt);
    roundTrip(FormatCode::Png, &enc::encodePng);
}

// The rest, one kind a step, warmed inside the sandbox while no request
// waits. Loading needs nothing the filter refuses: libraries, plugins,
// ImageMagick's configuration and the fonts are only opened for reading.
void warmFonts()
{
    // Fonts and their configuration, which drawings with text need.
    QImage picture = tinyPicture();
    QPainter painter(&picture);
    painter.drawText(0, 4, QStringLiteral("a"));
}
void warmQtKinds()
{
    for (const FormatCode code : {FormatCode::Tiff, FormatCode::Bmp, FormatCode::Wbmp})
        roundTrip(code, &enc::encodeWithQt);
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "ico").write(tinyPicture());
    imaging::decodeDataInProcess(ico, {}, QStringLiteral("sample.ico"));
    static const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                              "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                              "\x00\x00\x02\x02\x44\x01\x00;";
    imaging::decodeDataInProcess(QByteArray(gif, sizeof(gif) - 1), {},
                                 QStringLiteral("sample.gif"));
}
void warmMagick()
{
    for (const FormatCode code : {FormatCode::Pcx, FormatCode::Tga, FormatCode::Psd})
        roundTrip(code, &enc::encodeWithMagick);
}
void warmMetafiles()
{
    roundTrip(FormatCode::Wmf, &enc::encodeMetafile);
}

Claim claimGeneral(const QByteArray &head, const QString &nameHint)
{
    return imaging::detectFormat(head, nameHint) == imaging::FormatCode::Emf ? Claim::Elsewhere
                                                                             : Claim::Mine;
}

} // namespace

WorkerCodecs generalCodecs()
{
    return {&preparePhotos,
            &claimGeneral,
            &imaging::decodeDeviceInProcess,
            {&warmFonts, &warmQtKinds, &warmMagick, &warmMetafiles}};
}

} // namespace lumora::loader
