// Decodes one file with Lumora's decoders and writes the first page as PNG,
// for the corpus comparison in bench/decode-corpus.sh.
//   lumora-decodeone <image> <out.png>
// Prints "OPEN <w> <h>" or "REFUSED <message>"; exit 0 either way, so a crash
// or a timeout is what the script counts as one.
#include "imaging/Decoder.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumora-decodeone <image> <out.png>\n");
        return 2;
    }
    lumora::imaging::applyDecodeLimits();
    lumora::imaging::DecodeOptions options;
    options.allPages = false;
    const auto decoded = lumora::imaging::decodeFile(QString::fromLocal8Bit(argv[1]), options);
    if (!decoded.ok()) {
        std::printf("REFUSED %s\n", decoded.error.toUtf8().constData());
        return 0;
    }
    const QImage page = decoded.pages.front().convertToFormat(QImage::Format_ARGB32);
    if (!page.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::printf("REFUSED cannot write the PNG\n");
        return 0;
    }
    std::printf("OPEN %d %d\n", page.width(), page.height());
    return 0;
}
