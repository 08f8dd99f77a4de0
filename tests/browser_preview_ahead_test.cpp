#include "support/BrowserFixture.h"
#include "support/QtPrinters.h"
#include "viewer/Preloader.h"

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::BrowserFixture;

TEST(BrowserPreviewAhead, GridNeighboursAreDecodedAheadAndDroppedForTheViewer)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1->ExplorePath(f.photos);
    const QString a = f.file(QStringLiteral("home/Photos/a.png"));
    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    const QString broken = f.file(QStringLiteral("home/Photos/broken.jpg"));

    w.ImageExplore1_CurrSelectedImage(a);
    // Its neighbours in the grid are a folder (never read ahead) and b.jpg.
    EXPECT_EQ(w.previewAhead().held(), QStringList{b});
    w.previewAhead().waitForAll();

    w.ImageExplore1_CurrSelectedImage(b);
    imaging::ImageDocument *doc = w.ImgX->document();
    EXPECT_EQ(doc->ImageFilePath(), b);
    EXPECT_EQ(doc->ImageWidth(), 64);
    EXPECT_EQ(doc->ImageFormat(), imaging::FormatCode::Jpeg);
    QStringList held = w.previewAhead().held();
    held.sort();
    EXPECT_EQ(held, (QStringList{a, broken}));

    // A neighbour that cannot be read is previewed as empty, silently.
    w.previewAhead().waitForAll();
    w.ImageExplore1_CurrSelectedImage(broken);
    EXPECT_TRUE(doc->isEmpty());
    EXPECT_TRUE(f.host.prompts.asked.isEmpty());

    w.ImageExplore1_CurrSelectedImage(b);
    w.ViewPreviewedImage();
    EXPECT_TRUE(w.previewAhead().held().isEmpty());
}
