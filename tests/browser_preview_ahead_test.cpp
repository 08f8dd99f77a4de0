#include "support/AnimatedGif.h"
#include "support/BrowserFixture.h"
#include "support/QtPrinters.h"
#include "viewer/Preloader.h"

#include <QDialog>
#include <QTimer>

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

// The preview plays an animated GIF, read ahead or not, and holds its frame
// while a dialog of the program is open; the grid's thumbnail stays the
// first frame.
TEST(BrowserPreviewAhead, AnimationPlaysAndHoldsUnderADialog)
{
    BrowserFixture f;
    const QString gif = f.file(QStringLiteral("home/Photos/anim.gif"));
    ASSERT_TRUE(lumora::test::writeAnimatedGif(gif, {Qt::red, Qt::green, Qt::blue}, 4));
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1->ExplorePath(f.photos);
    const QString a = f.file(QStringLiteral("home/Photos/a.png"));
    imaging::ImageDocument *doc = w.ImgX->document();
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "read ahead" : "read on the spot");
        if (ahead) {
            w.ImageExplore1_CurrSelectedImage(a); // anim.gif is its neighbour
            ASSERT_TRUE(w.previewAhead().held().contains(gif));
            w.previewAhead().waitForAll();
        }
        w.ImageExplore1_CurrSelectedImage(gif);
        ASSERT_EQ(doc->ImageFilePath(), gif);
        ASSERT_TRUE(doc->isAnimation());
        EXPECT_EQ(doc->currentIndex(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 1; }, 3000));
        w.ImageExplore1_CurrSelectedImage(a);
        EXPECT_FALSE(doc->isAnimation());
    }

    w.ImageExplore1_CurrSelectedImage(gif);
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 1; }, 3000));
    QDialog dialog(&w);
    int openedOn = -1;
    bool moved = true;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::qWait(150); // the frame shown when the dialog opened may finish its 40 ms
        openedOn = doc->currentIndex();
        QTest::qWait(300);
        moved = doc->currentIndex() != openedOn;
        dialog.reject();
    });
    dialog.exec();
    EXPECT_GE(openedOn, 0);
    EXPECT_FALSE(moved);
    const int after = doc->currentIndex();
    EXPECT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() != after; }, 3000));
}
