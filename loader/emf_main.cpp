// lumora-loader-emf: decodes EMF files and nothing else. libemf2svg, behind
// it, is GPL-2.0-only and may not share a program with ImageMagick, so this
// program is built from the EMF reader and its helpers alone.
#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/ImageEncoders.h"
#include "imaging/MetafileCodecs.h"
#include "loader/LoaderWorker.h"

#include <QBuffer>
#include <QPainter>

namespace
{

using namespace lumora;

bool isEmf(const QByteArray &head)
{
    return imaging::bytes::le32(head, 0) == 1 && imaging::bytes::le32(head, 40) == 0x464D4520;
}

imaging::DecodedImage decodeEmfFile(QIODevice &file, const imaging::DecodeOptions &options,
                                    const QString &)
{
    static const imaging::FormatSpec entry = [] {
        imaging::FormatSpec e{};
        e.code = imaging::FormatCode::Emf;
        e.shortName = "emf";
        e.decode = &imaging::decodeEmf;
        return e;
    }();
    imaging::DecodedImage out = imaging::decodeEmf(file, entry, options);
    // As the codec table's caller does: a picture or a sentence.
    if (out.error.isEmpty() && (out.pages.isEmpty() || out.pages.front().isNull()))
        out.error = imaging::support::damagedMessage();
    if (!out.error.isEmpty())
        out.pages.clear();
    return out;
}

// Fonts, Qt SVG and libemf2svg, loaded by drawing one tiny EMF.
void prepareEmf()
{
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    {
        QPainter painter(&picture);
        painter.drawText(0, 4, QStringLiteral("a"));
    }
    QString error;
    QByteArray emf =
        imaging::encoders::encodeMetafile(picture, imaging::FormatCode::Emf, {}, &error);
    QBuffer buffer(&emf);
    if (buffer.open(QIODevice::ReadOnly))
        decodeEmfFile(buffer, {}, {});
}

loader::Claim claimEmf(const QByteArray &head, const QString &)
{
    return isEmf(head) ? loader::Claim::Mine : loader::Claim::Refused;
}

} // namespace

int main(int argc, char **argv)
{
    return loader::runWorker(argc, argv,
                             {"lumora-loader-emf", {&prepareEmf, &claimEmf, &decodeEmfFile}});
}
