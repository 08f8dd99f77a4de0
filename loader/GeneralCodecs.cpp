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

// One tiny picture of every kind, decoded once before the sandbox closes, so
// Qt's image plugins, ImageMagick's coder modules and configuration, and
// libwmf's fonts are loaded while the process may still open what it needs.
void prepareGeneral()
{
    imaging::applyDecodeLimits();
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    {
        // Fonts and their configuration, which drawings with text need.
        QPainter painter(&picture);
        painter.drawText(0, 4, QStringLiteral("a"));
    }
    QList<QPair<QByteArray, QString>> samples;
    using imaging::FormatCode;
    // Made by the encoders themselves: the writer's commit step (and the
    // file system code behind it) has no place in a loader.
    namespace enc = imaging::encoders;
    const QList<QPair<FormatCode, enc::Encoder>> kinds = {
        {FormatCode::Jpeg, &enc::encodeWithQt},    {FormatCode::Png, &enc::encodePng},
        {FormatCode::Tiff, &enc::encodeWithQt},    {FormatCode::Bmp, &enc::encodeWithQt},
        {FormatCode::Wbmp, &enc::encodeWithQt},    {FormatCode::Pcx, &enc::encodeWithMagick},
        {FormatCode::Tga, &enc::encodeWithMagick}, {FormatCode::Psd, &enc::encodeWithMagick},
        {FormatCode::Wmf, &enc::encodeMetafile}};
    for (const auto &[code, encode] : kinds) {
        QString error;
        const QByteArray bytes = encode(picture, code, {}, &error);
        samples.append({bytes, QStringLiteral("sample.") + imaging::formatShortName(code)});
    }
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "ico").write(picture);
    samples.append({ico, QStringLiteral("sample.ico")});
    static const char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                              "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                              "\x00\x00\x02\x02\x44\x01\x00;";
    samples.append({QByteArray(gif, sizeof(gif) - 1), QStringLiteral("sample.gif")});
    for (const auto &[bytes, name] : samples) {
        if (!bytes.isEmpty())
            imaging::decodeDataInProcess(bytes, {}, name);
    }
}

Claim claimGeneral(const QByteArray &head, const QString &nameHint)
{
    return imaging::detectFormat(head, nameHint) == imaging::FormatCode::Emf ? Claim::Elsewhere
                                                                             : Claim::Mine;
}

} // namespace

WorkerCodecs generalCodecs()
{
    return {&prepareGeneral, &claimGeneral, &imaging::decodeDeviceInProcess};
}

} // namespace lumora::loader
