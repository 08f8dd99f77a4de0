#include "imaging/Decoder.h"
#include "imaging/ImageDocument.h"

#include "imaging_samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>

using namespace lumora::imaging;
using lumora::Result;
using namespace lumora::test;

namespace
{

QList<QImage> solidPages(const QList<QColor> &colours, QSize size)
{
    QList<QImage> pages;
    for (const QColor &c : colours) {
        QImage page(size, QImage::Format_RGB32);
        page.fill(c);
        pages << page;
    }
    return pages;
}

} // namespace

TEST(ImageDocument, LoadFromFileSetsFileFormatDepthAndPage)
{
    TempDir dir;
    const QString path =
        writeFile(dir.file("three.tif"),
                  multiPageTiff(solidPages({Qt::red, Qt::green, Qt::blue}, QSize(30, 20))));
    ImageDocument doc;
    QSignalSpy changed(&doc, &ImageDocument::changed);
    const Result<> r = doc.LoadFromFile(path, 1);
    ASSERT_TRUE(r.ok()) << r.error().toStdString();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(doc.state(), ImageDocument::State::Loaded);
    EXPECT_EQ(doc.ImageCount(), 3);
    EXPECT_EQ(doc.currentIndex(), 1);
    EXPECT_EQ(doc.currentImage().pixel(0, 0), QColor(Qt::green).rgb());
    EXPECT_EQ(doc.ImageFormat(), FormatCode::Tiff);
    EXPECT_EQ(doc.BitsPerPixel(), 24);
    EXPECT_EQ(doc.ImageFileName(), QStringLiteral("three.tif"));
    EXPECT_EQ(doc.ImageFilePath(), QDir(dir.path()).absoluteFilePath("three.tif"));
    EXPECT_EQ(doc.ImageWidth(), 30);
    EXPECT_EQ(doc.ImageHeight(), 20);

    doc.SetCurrentImage(2);
    EXPECT_EQ(doc.currentImage().pixel(0, 0), QColor(Qt::blue).rgb());
    EXPECT_EQ(changed.count(), 2);
    doc.SetCurrentImage(7); // out of range: ignored, no notice
    doc.SetCurrentImage(2); // unchanged: no notice
    EXPECT_EQ(doc.currentIndex(), 2);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_TRUE(doc.ImageItem(3).isNull());
    EXPECT_EQ(doc.ImageItem(0).pixel(0, 0), QColor(Qt::red).rgb());

    // A page beyond the end falls back to the last one.
    ASSERT_TRUE(doc.LoadFromFile(path, 9).ok());
    EXPECT_EQ(doc.currentIndex(), 2);
}

TEST(ImageDocument, FailedLoadKeepsThePreviousImage)
{
    TempDir dir;
    const QString good = writeFile(dir.file("good.png"), encodeWithQt(quadrants(40, 30), "png"));
    const QString bad = dir.write("bad.jpg", "not a jpeg at all");
    ImageDocument doc;

    const Result<> first = doc.LoadFromFile(bad);
    EXPECT_FALSE(first.ok());
    EXPECT_FALSE(first.error().isEmpty());
    EXPECT_EQ(doc.state(), ImageDocument::State::Failed);
    EXPECT_TRUE(doc.isEmpty());

    ASSERT_TRUE(doc.LoadFromFile(good).ok());
    QSignalSpy changed(&doc, &ImageDocument::changed);
    const Result<> failed = doc.LoadFromFile(bad);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(doc.lastError(), failed.error());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(doc.state(), ImageDocument::State::Loaded);
    EXPECT_EQ(doc.ImageFileName(), QStringLiteral("good.png"));
    EXPECT_EQ(doc.ImageFormat(), FormatCode::Png);
    EXPECT_TRUE(hasQuadrants(doc.currentImage(), 0));
    EXPECT_FALSE(doc.LoadFromFile(dir.file("vanished.png")).ok());
    EXPECT_EQ(doc.ImageWidth(), 40);
}

TEST(ImageDocument, RotateTurnsEveryPageByQuarterTurns)
{
    ImageDocument doc;
    doc.adopt({quadrants(40, 20), quadrants(40, 20)}, FormatCode::Png, 24,
              QStringLiteral("/x/a.png"));
    QSignalSpy changed(&doc, &ImageDocument::changed);

    doc.Rotate(90.0f);
    EXPECT_EQ(changed.count(), 1);
    for (int i = 0; i < 2; ++i) {
        const QImage page = doc.ImageItem(i);
        ASSERT_EQ(page.size(), QSize(20, 40));
        // Clockwise: the old top-left corner is now top right.
        EXPECT_TRUE(near(page.pixel(15, 5), kTopLeft, 0));
        EXPECT_TRUE(near(page.pixel(5, 5), kBottomLeft, 0));
    }
    EXPECT_EQ(doc.ImageWidth(), 20);

    doc.Rotate(-90.0f);
    EXPECT_TRUE(hasQuadrants(doc.currentImage(), 0));
    doc.Rotate(180.0f);
    EXPECT_TRUE(near(doc.currentImage().pixel(5, 5), kBottomRight, 0));
    const int before = int(changed.count());
    doc.Rotate(360.0f);
    EXPECT_EQ(changed.count(), before); // a full turn changes nothing
}

TEST(ImageDocument, PictureRouteResetAndThumbnailHelpers)
{
    TempDir dir;
    ImageDocument doc;
    QSignalSpy changed(&doc, &ImageDocument::changed);
    const QString ico = writeFile(dir.file("a.ico"), encodeWithQt(quadrants(32, 32), "ico"));
    QString error;
    const QImage picture = loadPicture(ico, &error);
    ASSERT_FALSE(picture.isNull()) << error.toStdString();
    doc.setSourcePath(ico);
    ASSERT_TRUE(doc.LoadFromPicture(picture).ok());
    EXPECT_EQ(doc.ImageFileName(), QStringLiteral("a.ico"));
    EXPECT_EQ(doc.ImageCount(), 1);
    EXPECT_EQ(doc.ImageWidth(), 32);
    EXPECT_FALSE(doc.LoadFromPicture(QImage()).ok());
    EXPECT_EQ(doc.ImageWidth(), 32);

    // Thumbnail steps: proportional resize, then a white square canvas.
    doc.adopt({quadrants(300, 100)}, FormatCode::Png, 24, QStringLiteral("/x/wide.png"));
    doc.Resize(140, 0);
    EXPECT_EQ(doc.currentImage().size(), QSize(140, 47));
    doc.Fill(Qt::white);
    doc.Canvas(140, 140, 0, 47, QColor());
    const QImage thumb = doc.Picture();
    EXPECT_EQ(thumb.size(), QSize(140, 140));
    EXPECT_EQ(thumb.pixel(70, 10), QColor(Qt::white).rgb());
    EXPECT_TRUE(near(thumb.pixel(20, 60), kTopLeft, 8));

    const int before = int(changed.count());
    doc.ResetImages();
    EXPECT_EQ(changed.count(), before + 1);
    EXPECT_TRUE(doc.isEmpty());
    EXPECT_EQ(doc.state(), ImageDocument::State::Empty);
    EXPECT_EQ(doc.ImageWidth(), 0);
    EXPECT_TRUE(doc.ImageFileName().isEmpty());
    EXPECT_TRUE(doc.Picture().isNull());
}

TEST(ImageDocument, SaveToFileWritesBmpAtomicallyAndRefusesFormatsWithoutAWriter)
{
    TempDir dir;
    ImageDocument doc;
    doc.adopt({quadrants(33, 21)}, FormatCode::Png, 24, QStringLiteral("/x/a.png"));
    const QString target = dir.write("out.bmp", "old contents");

    QString error;
    ASSERT_TRUE(doc.SaveToFile(target, FormatCode::Bmp, 0, true, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    const DecodedImage back = decodeFile(target);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_EQ(back.format, FormatCode::Bmp);
    EXPECT_EQ(back.pages.front().size(), QSize(33, 21));
    EXPECT_TRUE(hasQuadrants(back.pages.front(), 0));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.bmp"}); // no leftovers

    EXPECT_FALSE(doc.SaveToFile(target, FormatCode::Bmp, 0, false, &error));
    EXPECT_TRUE(error.contains(QLatin1String("already exists")));

    for (FormatCode code :
         {FormatCode::Gif, FormatCode::Ico, FormatCode::Pcd, FormatCode::Unknown}) {
        const QString other = dir.file(QStringLiteral("out%1.x").arg(int(code)));
        error.clear();
        EXPECT_FALSE(doc.SaveToFile(other, code, 0, true, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(QFile::exists(other));
    }

    EXPECT_FALSE(
        doc.SaveToFile(dir.file("missing/folder/x.bmp"), FormatCode::Bmp, 0, true, &error));
    EXPECT_FALSE(error.isEmpty());
    ImageDocument empty;
    EXPECT_FALSE(empty.SaveToFile(dir.file("empty.bmp"), FormatCode::Bmp, 0, true, &error));
}
