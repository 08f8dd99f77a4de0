#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora::imaging;
using namespace lumora::test;

// A file cut short still shows what could be read, and the result says it
// is damaged: that is what the viewer's status, the thumbnail's tooltip and
// lumora-convert's warning are made from. Files made by other writers.
namespace
{

struct Case {
    const char *name; // the file the writers below made
    double keep;      // the fraction of its bytes left
    bool topReadable; // the top half still decodes to its colours
};

void writeSamples(TempDir &dir)
{
    // Quadrants with a fine texture, so that most of every file is pixel
    // data and a cut lands in it, not in the header.
    QImage source = quadrants(240, 160);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb c = source.pixel(x, y);
            const int d = ((x * 7) ^ (y * 13)) % 17 - 8;
            source.setPixel(x, y,
                            qRgb(qBound(0, qRed(c) + d, 255), qBound(0, qGreen(c) - d, 255),
                                 qBound(0, qBlue(c) + d, 255)));
        }
    const QString png = dir.file("src.png");
    ASSERT_TRUE(source.save(png, "PNG"));
    const char *pillow = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1]).convert('RGB')\n"
                         "d = sys.argv[2]\n"
                         "im.save(d + '/pil.jpg', quality=95)\n"
                         "im.save(d + '/pil-progressive.jpg', quality=95, progressive=True)\n"
                         "im.save(d + '/pil.png')\n"
                         "im.save(d + '/pil.bmp')\n"
                         "im.quantize(8).save(d + '/pil8.pcx')\n"
                         "im.save(d + '/pil.gif')\n";
    ASSERT_TRUE(runPillow(pillow, {png, dir.path()}));
    ASSERT_TRUE(runTool("convert", {png, "-quality", "95", dir.file("im.jpg")}));
    ASSERT_TRUE(runTool(
        "convert", {png, "-compress", "RLE", "-colors", "8", "bmp3:" + dir.file("im-rle8.bmp")}));
}

} // namespace

TEST(Damage, CutShortFilesShowWhatIsThereAndSaySo)
{
    TempDir dir;
    writeSamples(dir);
    const Case cases[] = {
        {"pil.jpg", 0.6, true},  {"im.jpg", 0.6, true},       {"pil-progressive.jpg", 0.8, false},
        {"pil.bmp", 0.7, false}, {"im-rle8.bmp", 0.7, false}, {"pil8.pcx", 0.98, true},
        {"pil.gif", 0.7, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray whole = readAllOf(dir.file(QString::fromLatin1(c.name)));
        ASSERT_FALSE(whole.isEmpty());
        const DecodedImage intact = decodeData(whole, {}, QString::fromLatin1(c.name));
        ASSERT_TRUE(intact.ok()) << intact.error.toStdString();
        EXPECT_FALSE(intact.damaged()) << intact.damage.toStdString();

        const QByteArray cut = whole.left(qsizetype(whole.size() * c.keep));
        for (bool thumbnail : {false, true}) {
            SCOPED_TRACE(thumbnail ? "thumbnail" : "full size");
            DecodeOptions options;
            if (thumbnail)
                options.scaledSize = QSize(48, 32);
            const DecodedImage d = decodeData(cut, options, QString::fromLatin1(c.name));
            ASSERT_TRUE(d.ok()) << d.error.toStdString();
            EXPECT_TRUE(d.damaged());
            EXPECT_FALSE(d.damage.isEmpty());
            if (c.topReadable && !thumbnail) {
                const QImage &p = d.pages.front();
                EXPECT_TRUE(near(p.pixel(p.width() / 4, p.height() / 8), kTopLeft, 40));
                EXPECT_TRUE(near(p.pixel(3 * p.width() / 4, p.height() / 8), kTopRight, 40));
            }
        }
    }
}
