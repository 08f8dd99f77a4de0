#include "imaging/Decoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace lumora::imaging {

const char *formatShortName(FormatCode code)
{
    switch (code) {
    case FormatCode::Jpeg: return "jpg";
    case FormatCode::Png: return "png";
    case FormatCode::Tiff: return "tif";
    case FormatCode::Pcx: return "pcx";
    case FormatCode::Tga: return "tga";
    case FormatCode::Bmp: return "bmp";
    case FormatCode::Wmf: return "wmf";
    case FormatCode::Emf: return "emf";
    case FormatCode::Psd: return "psd";
    case FormatCode::Wbmp: return "wbmp";
    case FormatCode::Gif: return "gif";
    case FormatCode::Ico: return "ico";
    case FormatCode::Cur: return "cur";
    case FormatCode::Pcd: return "pcd";
    case FormatCode::Dib: return "dib";
    case FormatCode::Unknown: break;
    }
    return "";
}

void applyDecodeLimits()
{
    QImageReader::setAllocationLimit(int(kMaxDecodedBytes >> 20));
}

FormatCode detectFormat(const QByteArray &, const QString &)
{
    return FormatCode::Unknown;
}

DecodedImage decodeData(const QByteArray &data, const DecodeOptions &options, const QString &)
{
    DecodedImage out;
    QBuffer buf;
    buf.setData(data);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf);
    reader.setAutoTransform(true);
    out.originalSize = reader.size();
    if (options.scaledSize.isValid())
        reader.setScaledSize(reader.size().scaled(options.scaledSize, Qt::KeepAspectRatioByExpanding));
    QImage img = reader.read();
    if (img.isNull()) {
        out.error = reader.errorString();
        return out;
    }
    out.bitsPerPixel = img.depth();
    out.pages << img;
    return out;
}

DecodedImage decodeFile(const QString &path, const DecodeOptions &options)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        DecodedImage out;
        out.error = QStringLiteral("Cannot open the file: %1").arg(f.errorString());
        return out;
    }
    return decodeData(f.readAll(), options, path);
}

} // namespace lumora::imaging
