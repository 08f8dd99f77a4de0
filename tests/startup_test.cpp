#include "support/BrowserFixture.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::BrowserFixture;

TEST(StartupCommandLine, AFolderViewsTheFirstImageOfItsParent)
{
    BrowserFixture f;
    ASSERT_TRUE(f.main->Form_Load(f.trips));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->currentIndex(), 0);
    EXPECT_EQ(viewer->pathList().first(), f.photos + QStringLiteral("/a.png"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("a.png- Lumora 2.1"));
    EXPECT_FALSE(f.main->isVisible());
}

TEST(StartupCommandLine, SwitchesAreExactAndQuotedPathsNameNothing)
{
    for (const QString &text :
         {QStringLiteral("/associate"), QStringLiteral("/DEASSOCIATE"),
          QLatin1Char('"') + QStringLiteral("/tmp") + QLatin1Char('"'), QString()}) {
        BrowserFixture f;
        ASSERT_TRUE(f.main->Form_Load(text)) << text.toStdString();
        EXPECT_TRUE(f.main->isVisible()) << text.toStdString();
        EXPECT_EQ(f.host.viewersMade, 0);
    }
    BrowserFixture f;
    EXPECT_FALSE(f.main->Form_Load(QStringLiteral("/DeAssociate")));
    EXPECT_EQ(f.host.viewersMade, 0);
}

// The file the user opened is shown, at its place in the folder's name
// order, and Next/Previous go on from there.
TEST(StartupCommandLine, TheNamedFileIsShownAtItsPlaceInTheList)
{
    BrowserFixture f;
    // Listed: a.png b.jpg broken.jpg c.png. ".jpeg" and ".cur" are not.
    const QString jpeg = f.picture(QStringLiteral("home/Photos/bb.jpeg"), 20, 20, Qt::white);
    ASSERT_TRUE(f.main->Form_Load(jpeg));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->pathList(), (QStringList{f.photos + "/a.png", f.photos + "/b.jpg", jpeg,
                                               f.photos + "/broken.jpg", f.photos + "/c.png"}));
    EXPECT_EQ(viewer->currentIndex(), 2);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("bb.jpeg- Lumora 2.1"));
    EXPECT_EQ(viewer->ImgX->document()->ImageWidth(), 20);
    viewer->ShowNextImage();
    EXPECT_EQ(viewer->ImgX->document()->ImageFileName(), QStringLiteral("broken.jpg"));
    viewer->ShowPreviousImage();
    viewer->ShowPreviousImage();
    EXPECT_EQ(viewer->ImgX->document()->ImageFileName(), QStringLiteral("b.jpg"));

    BrowserFixture g;
    QImage cursor(32, 32, QImage::Format_ARGB32);
    cursor.fill(Qt::magenta);
    const QString ico = g.file(QStringLiteral("home/Photos/0pointer.ico"));
    ASSERT_TRUE(cursor.save(ico, "ICO"));
    const QString cur = g.file(QStringLiteral("home/Photos/0pointer.cur"));
    ASSERT_TRUE(QFile::rename(ico, cur));
    ASSERT_TRUE(g.main->Form_Load(cur));
    ASSERT_NE(g.host.existingViewer(), nullptr);
    EXPECT_EQ(g.host.existingViewer()->currentIndex(), 0);
    EXPECT_EQ(g.host.existingViewer()->pathList().value(0), cur);
    EXPECT_EQ(g.host.existingViewer()->pathList().size(), 5);
    EXPECT_EQ(g.host.existingViewer()->windowTitle(), QStringLiteral("0pointer.cur- Lumora 2.1"));
}

TEST(StartupCommandLine, BlanksAndAccentsAndRelativePaths)
{
    BrowserFixture f;
    const QString odd =
        f.picture(QStringLiteral("home/Photos/Winter/rosée du matin.png"), 30, 20, Qt::cyan);
    ASSERT_TRUE(f.main->Form_Load(odd));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("rosée du matin.png- Lumora 2.1"));
    EXPECT_EQ(viewer->ImgX->document()->ImageWidth(), 30);

    BrowserFixture g;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(g.photos);
    ASSERT_TRUE(g.main->Form_Load(QStringLiteral("b.jpg")));
    QDir::setCurrent(saved);
    ASSERT_NE(g.host.existingViewer(), nullptr);
    EXPECT_EQ(g.host.existingViewer()->pathList().value(g.host.existingViewer()->currentIndex()),
              g.photos + QStringLiteral("/b.jpg"));
}

TEST(StartupCommandLine, ABrokenImageStillOpensTheViewerWithAMessage)
{
    BrowserFixture f;
    ASSERT_TRUE(f.main->Form_Load(f.file(QStringLiteral("home/Photos/broken.jpg"))));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->ImgX->document()->isEmpty());
    EXPECT_TRUE(viewer->ImgX->errorText().contains(QStringLiteral("broken.jpg")));
    viewer->ShowNextImage(); // and the user can move on
    EXPECT_EQ(viewer->ImgX->document()->ImageFileName(), QStringLiteral("c.png"));
}
