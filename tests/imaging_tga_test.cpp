#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// A bare 18-byte header and the pixels in the order given, 24-bit BGR.
QByteArray handMadeTga(quint8 descriptor, const QList<QColor> &storedOrder, int width, int height)
{
    QByteArray tga(18, '\0');
    tga[2] = 2; // uncompressed true colour
    tga[12] = char(width);
    tga[14] = char(height);
    tga[16] = 24;
    tga[17] = char(descriptor);
    for (const QColor &c : storedOrder) {
        tga.append(char(c.blue()));
        tga.append(char(c.green()));
        tga.append(char(c.red()));
    }
    return tga;
}

DecodedImage decodeAs(const QByteArray &bytes, const char *name = "x.tga")
{
    return decodeData(bytes, {}, QString::fromLatin1(name));
}

} // namespace

// The descriptor byte says where the first stored pixel goes: bit 5 set means
// the top row comes first, bit 4 set means the right column does.
TEST(Tga, EveryOriginOfTheDescriptorByte)
{
    const QColor a = Qt::red, b = Qt::green, c = Qt::blue, d = Qt::white;
    const QList<QColor> stored{a, b, c, d}; // 2 x 2, as the file lists them
    struct Case {
        quint8 descriptor;
        QColor topLeft, topRight, bottomLeft, bottomRight;
    };
    const Case cases[] = {
        {0x00, c, d, a, b}, // bottom left: the format's default
        {0x10, d, c, b, a}, // bottom right
        {0x20, a, b, c, d}, // top left
        {0x30, b, a, d, c}, // top right
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(int(k.descriptor));
        const DecodedImage img = decodeAs(handMadeTga(k.descriptor, stored, 2, 2));
        ASSERT_TRUE(img.ok()) << img.error.toStdString();
        const QImage &p = img.pages.front();
        EXPECT_TRUE(near(p.pixel(0, 0), k.topLeft, 0));
        EXPECT_TRUE(near(p.pixel(1, 0), k.topRight, 0));
        EXPECT_TRUE(near(p.pixel(0, 1), k.bottomLeft, 0));
        EXPECT_TRUE(near(p.pixel(1, 1), k.bottomRight, 0));
    }
}

// Conformant files from independent writers, most of them bottom-up, in
// true colour, run-length and colour-mapped forms.
TEST(Tga, FilesFromOtherWritersAreUpright)
{
    TempDir dir;
    const QImage source = quadrants(40, 30);
    const QString png = dir.file("src.png");
    const QString ppm = dir.file("src.ppm");
    ASSERT_TRUE(source.save(png, "PNG"));
    ASSERT_TRUE(source.save(ppm, "PPM"));

    const char *pillow = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1]).convert('RGB')\n"
                         "d = sys.argv[2]\n"
                         "im.save(d + '/pil-bottom.tga')\n"
                         "im.save(d + '/pil-top.tga', orientation=1)\n"
                         "im.save(d + '/pil-rle.tga', compression='tga_rle')\n"
                         "im.convert('RGBA').save(d + '/pil-rgba-rle.tga', compression='tga_rle')\n"
                         "im.quantize(8).save(d + '/pil-palette.tga')\n"
                         "im.quantize(8).save(d + '/pil-palette-rle.tga', compression='tga_rle')\n";
    ASSERT_TRUE(runPillow(pillow, {png, dir.path()}));
    ASSERT_TRUE(runTool("gm", {"convert", png, dir.file("gm.tga")}));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-compress", "RLE", dir.file("gm-rle.tga")}));
    ASSERT_TRUE(runTool("convert", {png, "-orient", "TopLeft", dir.file("im-top.tga")}));
    ASSERT_TRUE(
        runTool("convert", {png, "-orient", "BottomLeft", "-flip", dir.file("im-bottom.tga")}));
    ASSERT_TRUE(runTool("convert",
                        {png, "-orient", "TopLeft", "-compress", "RLE", dir.file("im-rle.tga")}));
    QByteArray netpbm;
    ASSERT_TRUE(runTool("ppmtotga", {"-rgb", ppm}, {}, &netpbm));
    writeFile(dir.file("netpbm.tga"), netpbm);
    ASSERT_TRUE(runTool("ppmtotga", {"-cmap", ppm}, {}, &netpbm));
    writeFile(dir.file("netpbm-cmap.tga"), netpbm);

    const char *names[] = {"pil-bottom.tga",   "pil-top.tga",     "pil-rle.tga",
                           "pil-rgba-rle.tga", "pil-palette.tga", "pil-palette-rle.tga",
                           "gm.tga",           "gm-rle.tga",      "im-top.tga",
                           "im-bottom.tga",    "im-rle.tga",      "netpbm.tga",
                           "netpbm-cmap.tga"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        const DecodedImage img = decodeFile(dir.file(QString::fromLatin1(name)));
        ASSERT_TRUE(img.ok()) << img.error.toStdString();
        EXPECT_EQ(img.format, FormatCode::Tga);
        EXPECT_EQ(img.pages.front().size(), QSize(40, 30));
        EXPECT_TRUE(hasQuadrants(img.pages.front(), 40));
    }
}
