#include "explorer/ThumbnailMaker.h"
#include "explorer/ThumbnailShape.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

QString saveImage(const test::TempDir &dir, const QString &name, int w, int h, const char *format,
                  QColor color = Qt::red)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    const QString path = dir.file(name);
    QImageWriter writer(path, format);
    EXPECT_TRUE(writer.write(img)) << writer.errorString().toStdString();
    return path;
}

} // namespace

TEST(ThumbnailShape, RoundsHalvesToEven)
{
    EXPECT_EQ(roundHalfEven(31.5), 32);
    EXPECT_EQ(roundHalfEven(30.5), 30);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(104.49), 104);
    EXPECT_EQ(roundHalfEven(186.67), 187);
}

TEST(ThumbnailShape, ThreeShapesByRatio)
{
    struct Case {
        QSize original, scaled, canvas;
        QPoint offset;
        bool square;
    };
    const Case cases[] = {
        {{400, 300}, {140, 105}, {140, 105}, {0, 0}, false},
        {{300, 400}, {140, 187}, {140, 187}, {0, 0}, false},
        {{1000, 500}, {140, 70}, {140, 140}, {0, 35}, true},
        {{500, 1000}, {70, 140}, {140, 140}, {35, 0}, true},
        // Exactly 1.8 already takes the white square: 140 x 77.78 -> 78, y 31.
        {{180, 100}, {140, 78}, {140, 140}, {0, 31}, true},
        {{179, 100}, {140, 78}, {140, 78}, {0, 0}, false},
        {{100, 100}, {140, 140}, {140, 140}, {0, 0}, false},
    };
    for (const Case &c : cases) {
        const ThumbnailGeometry g = thumbnailGeometry(c.original);
        SCOPED_TRACE(
            QStringLiteral("%1x%2").arg(c.original.width()).arg(c.original.height()).toStdString());
        EXPECT_EQ(g.scaled, c.scaled);
        EXPECT_EQ(g.canvas, c.canvas);
        EXPECT_EQ(g.offset, c.offset);
        EXPECT_EQ(g.onWhiteSquare, c.square);
    }
    EXPECT_FALSE(thumbnailGeometry(QSize(0, 50)).valid());
}

TEST(ThumbnailShape, LongPictureSitsCentredOnWhite)
{
    QImage wide(1000, 500, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    const QImage t = shapeThumbnail(wide, wide.size());
    ASSERT_EQ(t.size(), QSize(140, 140));
    EXPECT_EQ(t.pixelColor(70, 34), QColor(Qt::white));
    EXPECT_EQ(t.pixelColor(70, 35), QColor(Qt::blue));
    EXPECT_EQ(t.pixelColor(70, 104), QColor(Qt::blue));
    EXPECT_EQ(t.pixelColor(70, 105), QColor(Qt::white));

    QImage tall(500, 1000, QImage::Format_RGB32);
    tall.fill(Qt::blue);
    const QImage u = shapeThumbnail(tall, tall.size());
    EXPECT_EQ(u.pixelColor(34, 70), QColor(Qt::white));
    EXPECT_EQ(u.pixelColor(35, 70), QColor(Qt::blue));
    EXPECT_EQ(u.pixelColor(105, 70), QColor(Qt::white));
}

TEST(ThumbnailShape, ReducedDecodeUsesTheFullSizeForTheShape)
{
    // A 1/8 decode of 4000 x 3001 is 500 x 376; the shape still follows the
    // original's proportions: 140 x nearest(105.035) = 105.
    QImage small(500, 376, QImage::Format_RGB32);
    small.fill(Qt::green);
    EXPECT_EQ(shapeThumbnail(small, QSize(4000, 3001)).size(), QSize(140, 105));
    // Thumbnails are held compactly.
    EXPECT_EQ(shapeThumbnail(small, QSize(4000, 3001)).format(), QImage::Format_RGB888);
}

TEST(ThumbnailMaker, RealFilesGetTheirShapes)
{
    test::TempDir dir;
    EXPECT_EQ(makeThumbnail(saveImage(dir, "a.png", 400, 300, "png")).image.size(),
              QSize(140, 105));
    EXPECT_EQ(makeThumbnail(saveImage(dir, "b.png", 300, 400, "png")).image.size(),
              QSize(140, 187));
    const ThumbnailResult wide = makeThumbnail(saveImage(dir, "c.bmp", 1000, 500, "bmp"));
    ASSERT_TRUE(wide.ok()) << wide.error.toStdString();
    EXPECT_EQ(wide.image.size(), QSize(140, 140));
    EXPECT_EQ(wide.image.pixelColor(70, 10), QColor(Qt::white));

    // A 12-megapixel JPEG goes through the reduced-scale decode.
    const ThumbnailResult photo = makeThumbnail(saveImage(dir, "d.jpg", 4000, 3000, "jpeg"));
    ASSERT_TRUE(photo.ok()) << photo.error.toStdString();
    EXPECT_EQ(photo.image.size(), QSize(140, 105));
    const QColor c = photo.image.pixelColor(70, 50);
    EXPECT_GT(c.red(), 200);
    EXPECT_LT(c.green(), 60);
    // An upright photo keeps 140 wide: 140 x 187, through the reduced decode too.
    const ThumbnailResult upright = makeThumbnail(saveImage(dir, "e.jpg", 3000, 4000, "jpeg"));
    ASSERT_TRUE(upright.ok()) << upright.error.toStdString();
    EXPECT_EQ(upright.image.size(), QSize(140, 187));
}

TEST(ThumbnailMaker, UnreadableFileGivesAReason)
{
    test::TempDir dir;
    const QString bad = dir.write("broken.jpg", QByteArray("\xFF\xD8\xFF\xE0 not really a jpeg"));
    const ThumbnailResult r = makeThumbnail(bad);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error.isEmpty());
    const ThumbnailResult missing = makeThumbnail(dir.file("gone.png"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.error.isEmpty());
}

TEST(ThumbnailMaker, IconCursorAndDibTakeThePictureRoute)
{
    EXPECT_TRUE(usesPictureRoute("/x/x.ICO"));
    EXPECT_TRUE(usesPictureRoute("/x/y.cur"));
    EXPECT_TRUE(usesPictureRoute("/x/z.dib"));
    EXPECT_FALSE(usesPictureRoute("/x/a.jpg"));
    EXPECT_FALSE(usesPictureRoute("/x/b.bmp"));
    EXPECT_FALSE(usesPictureRoute("/x/c.png"));

    test::TempDir dir;
    // The picture as loaded: a 32 x 32 icon stays 32 x 32, where the same
    // picture as a PNG is shaped 140 wide.
    const ThumbnailResult ico = makeThumbnail(saveImage(dir, "x.ICO", 32, 32, "ico"));
    ASSERT_TRUE(ico.ok()) << ico.error.toStdString();
    EXPECT_EQ(ico.image.size(), QSize(32, 32));
    EXPECT_EQ(makeThumbnail(saveImage(dir, "x.png", 32, 32, "png")).image.size(), QSize(140, 140));

    // A DIB is BMP data under another name; 64 x 20 would take the white
    // square on the other route.
    const ThumbnailResult dib = makeThumbnail(saveImage(dir, "z.dib", 64, 20, "bmp"));
    ASSERT_TRUE(dib.ok()) << dib.error.toStdString();
    EXPECT_EQ(dib.image.size(), QSize(64, 20));
}

namespace
{

// One icon file holding a 16 px page first and a 64 px page second, put
// together from two single-page icons Qt's writer made.
QByteArray twoPageIcon()
{
    QByteArray pages[2];
    int side[2] = {16, 64};
    for (int i = 0; i < 2; ++i) {
        QImage img(side[i], side[i], QImage::Format_ARGB32);
        img.fill(i == 0 ? Qt::red : Qt::blue);
        QBuffer buf(&pages[i]);
        buf.open(QIODevice::WriteOnly);
        EXPECT_TRUE(QImageWriter(&buf, "ico").write(img));
    }
    QByteArray out = pages[0].left(4); // reserved, type
    out.append(char(2)).append(char(0));
    quint32 offset = 6 + 2 * 16;
    QByteArray data;
    for (const QByteArray &p : pages) {
        QByteArray entry = p.mid(6, 16);
        const QByteArray body = p.mid(6 + 16);
        for (int b = 0; b < 4; ++b)
            entry[12 + b] = char((offset >> (8 * b)) & 0xff);
        out += entry;
        data += body;
        offset += quint32(body.size());
    }
    return out + data;
}

} // namespace

TEST(ThumbnailMaker, AnIconIsThumbnailedFromItsLargestPage)
{
    test::TempDir dir;
    const QString path = dir.write(QStringLiteral("two.ico"), twoPageIcon());
    ASSERT_EQ(QImage(path).size(), QSize(16, 16)) << "the file's first page is the small one";
    const ThumbnailResult r = makeThumbnail(path);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(64, 64));
    EXPECT_EQ(QColor(r.image.pixel(32, 32)), QColor(Qt::blue));
}
