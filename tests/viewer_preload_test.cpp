#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/FirstPicture.h"
#include "viewer/Preloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QThread>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ViewerFixture;

TEST(ViewerPreload, HoldsOnlyTheNeighboursAndNextUsesThem)
{
    ViewerFixture f;
    const QStringList list = f.images(5, 300, 200);
    int index = 2;
    f.viewer->ViewImage(list, index);
    QStringList held = f.viewer->preloader().held();
    held.sort();
    EXPECT_EQ(held, (QStringList{list.at(1), list.at(3)}));

    f.viewer->preloader().waitForAll();
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(3));
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 303);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFormat(), imaging::FormatCode::Png);
    held = f.viewer->preloader().held();
    held.sort();
    EXPECT_EQ(held, (QStringList{list.at(2), list.at(4)}));
}

TEST(ViewerPreload, AFileChangedAfterPreloadingIsReadAgain)
{
    ViewerFixture f;
    const QStringList list = f.images(3, 300, 200);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->preloader().waitForAll();
    QThread::msleep(20); // a different modification time
    lumora::test::writeImage(f.dir, QStringLiteral("img1.png"), 123, 45, Qt::blue);
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 123);
    EXPECT_EQ(f.viewer->ImgX->document()->currentImage().pixelColor(5, 5), QColor(Qt::blue));
}

TEST(ViewerPreload, VanishedNeighbourGivesTheClearEmptyView)
{
    ViewerFixture f;
    const QStringList list = f.images(3, 300, 200);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->preloader().waitForAll();
    QFile::remove(list.at(1));
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->currentIndex(), 1);
    EXPECT_TRUE(f.viewer->ImgX->document()->isEmpty());
    EXPECT_FALSE(f.viewer->ImgX->errorText().isEmpty());
}

TEST(ViewerPreload, DisabledHoldsNothing)
{
    ViewerFixture f;
    f.viewer->setPreloading(false);
    const QStringList list = f.images(3);
    int index = 1;
    f.viewer->ViewImage(list, index);
    EXPECT_TRUE(f.viewer->preloader().held().isEmpty());
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(2));
}

namespace
{

QDateTime modifiedTime(const QString &path)
{
    return QFileInfo(path).lastModified();
}

} // namespace

TEST(ViewerFirstPicture, TheViewerShowsTheDecodeStartedAtStartUpAndDecodesItNoMore)
{
    ViewerFixture f;
    const QString photo =
        lumora::test::writeImage(f.dir, QStringLiteral("photo.bmp"), 300, 200, Qt::red, "BMP");
    const QString other = lumora::test::writeImage(f.dir, QStringLiteral("other.bmp"), 120, 80);
    // Spelt as a terminal may spell it; the viewer names it by the listing.
    std::unique_ptr<Preloader> first =
        decodeFirstPicture(f.dir.path() + QStringLiteral("/./photo.bmp"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->held(), QStringList{QFileInfo(photo).canonicalFilePath()});
    first->waitForAll();
    // The same bytes' worth of another colour, with the old time: only a
    // viewer that takes the early decode still shows red.
    const QDateTime stamp = modifiedTime(photo);
    lumora::test::writeImage(f.dir, QStringLiteral("photo.bmp"), 300, 200, Qt::blue, "BMP");
    QFile file(photo);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    file.close();

    f.firstPicture = first.get();
    f.makeViewer();
    int index = 1;
    f.viewer->ViewImage({other, photo}, index);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), photo);
    EXPECT_EQ(f.viewer->ImgX->document()->currentImage().pixelColor(5, 5), QColor(Qt::red));
    EXPECT_TRUE(first->held().isEmpty());
    // Only the first load looks there: a reload reads the file.
    f.viewer->ReloadCurrentImage();
    EXPECT_EQ(f.viewer->ImgX->document()->currentImage().pixelColor(5, 5), QColor(Qt::blue));
}

TEST(ViewerFirstPicture, OnlyAFileTheViewerDecodesStartsAndAnotherFirstFileLetsItGo)
{
    ViewerFixture f;
    const QStringList list = f.images(2, 300, 200);
    const QString icon = f.dir.write("pointer.ico", QByteArray(40, '\0'));
    for (const QString &none :
         {QString(), f.dir.path(), f.dir.file("missing.png"), icon, list.at(0) + " " + list.at(1)})
        EXPECT_EQ(decodeFirstPicture(none), nullptr) << none.toStdString();

    std::unique_ptr<Preloader> first = decodeFirstPicture(list.at(1));
    ASSERT_NE(first, nullptr);
    f.firstPicture = first.get();
    f.makeViewer();
    int index = 0;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 300);
    EXPECT_TRUE(first->held().isEmpty()) << "the decode nobody takes is let go";
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(1));
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 301);
}
