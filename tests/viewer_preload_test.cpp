#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/Preloader.h"

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
