// The browser window under the offscreen platform: tree notifications,
// preview, zoom buttons, CheckPath, opening items and the viewer round trip.
#include "app/FolderTree.h"
#include "explorer/ImageExplore.h"
#include "imaging/ImageView.h"
#include "imaging/Twips.h"
#include "support/BrowserFixture.h"
#include "support/FileOpsFixture.h"
#include "support/QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>

#include <gtest/gtest.h>

#include <functional>

using namespace lumora;
using lumora::test::BrowserFixture;

namespace
{

bool waitUntil(const std::function<bool()> &done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QPoint centreOf(QTreeView *tree, const QModelIndex &index)
{
    tree->scrollTo(index);
    return tree->visualRect(index).center();
}

QPoint centreOf(QListView *grid, int row)
{
    const QModelIndex idx = grid->model()->index(row, 0);
    grid->scrollTo(idx);
    return grid->visualRect(idx).center();
}

QString currentItem(const frmMain &w)
{
    const int row = w.ImageExplore1->SelectedIndex();
    return row < 0 ? QString() : w.ImageExplore1->itemPath(row + 1);
}

} // namespace

// ------------------------------------------------------------ folder tree

TEST(BrowserTree, NothingListedBeforeTheFirstClickThenKeyboardMovesList)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    FolderTree *tree = w.TV1;

    // The tree's own selection (start-up, programmatic) lists nothing.
    const QModelIndex photos = tree->folderModel()->indexForPath(f.photos);
    ASSERT_TRUE(photos.isValid());
    tree->selectInitialNode(photos);
    tree->expand(photos);
    QTest::keyClick(tree, Qt::Key_Down); // to Trips
    EXPECT_EQ(tree->currentPath(), f.trips + QLatin1Char('/'));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 0);
    EXPECT_FALSE(w.treeClicked());

    // A click lists the clicked folder: sub-folders first, then images.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centreOf(tree, photos));
    EXPECT_TRUE(w.treeClicked());
    EXPECT_EQ(tree->currentPath(), f.photos + QLatin1Char('/'));
    ASSERT_EQ(w.ImageExplore1->itemCount(), 6);
    EXPECT_EQ(w.ImageExplore1->itemPath(1), f.trips);
    EXPECT_EQ(w.ImageExplore1->itemPath(2), f.winter);
    EXPECT_EQ(w.ImageExplore1->itemPath(3), f.file(QStringLiteral("home/Photos/a.png")));

    // From now on a keyboard move lists the folder it lands on, and the
    // keys stay in the tree: the next press moves there too.
    ASSERT_EQ(QApplication::focusWidget(), tree);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(tree->currentPath(), f.trips + QLatin1Char('/'));
    ASSERT_EQ(w.ImageExplore1->itemCount(), 1);
    EXPECT_EQ(w.ImageExplore1->itemPath(1), f.file(QStringLiteral("home/Photos/Trips/t1.png")));
    EXPECT_EQ(QApplication::focusWidget(), tree);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(tree->currentPath(), f.winter + QLatin1Char('/'));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(tree->currentPath(), f.trips + QLatin1Char('/'));

    // Enter on a node lists it again (the grid showed something else meanwhile).
    w.ImageExplore1->ExplorePath(f.photos);
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(w.ImageExplore1->itemCount(), 1);
}

TEST(BrowserTree, EnterListsEvenBeforeAClickAndArrowClicksListNothing)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const QModelIndex photos = w.TV1->folderModel()->indexForPath(f.photos);
    w.TV1->selectInitialNode(photos);
    QTest::keyClick(w.TV1, Qt::Key_Return);
    EXPECT_EQ(w.ImageExplore1->itemCount(), 6);
    EXPECT_FALSE(w.treeClicked());

    // A click on the expand arrow opens the node and lists nothing, but it is
    // the user's first click on the tree: keyboard moves list from then on.
    w.ImageExplore1->ExplorePath(f.trips);
    const QRect r = w.TV1->visualRect(photos);
    QTest::mouseClick(w.TV1->viewport(), Qt::LeftButton, {}, QPoint(r.left() - 8, r.center().y()));
    EXPECT_TRUE(w.TV1->isExpanded(photos));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 1);
    EXPECT_TRUE(w.treeClicked());
    QTest::keyClick(w.TV1, Qt::Key_Down); // into Photos: Trips
    EXPECT_EQ(w.TV1->currentPath(), f.trips + QStringLiteral("/"));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 1);
    QTest::keyClick(w.TV1, Qt::Key_Down); // Winter, empty
    EXPECT_EQ(w.TV1->currentPath(), f.winter + QStringLiteral("/"));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 0);
}

// A key that lands on a folder while another listing runs: the highlighted
// folder, the current one and the listed one stay the same.
TEST(BrowserTree, ArrowKeysDuringASlowListingKeepTreeAndGridTogether)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    FolderTree *tree = w.TV1;
    const QModelIndex photos = tree->folderModel()->indexForPath(f.photos);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centreOf(tree, photos));
    tree->expand(photos);
    // Photos -> Trips -> Winter, the second press while Trips is listed.
    bool pressed = false;
    QObject::connect(w.ImageExplore1, &ImageExplore::listingYield, [&] {
        if (!pressed && tree->currentPath() == f.trips + QLatin1Char('/')) {
            pressed = true;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        }
    });
    QTest::keyClick(tree, Qt::Key_Down);
    ASSERT_TRUE(pressed);
    EXPECT_EQ(tree->currentPath(), f.winter + QLatin1Char('/'));
    const QModelIndexList highlighted = tree->selectionModel()->selectedIndexes();
    ASSERT_EQ(highlighted.size(), 1);
    EXPECT_EQ(highlighted.first(), tree->currentIndex());
    EXPECT_EQ(w.ImageExplore1->shownFolder(), f.winter + QLatin1Char('/'));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 0);
    // The next arrow goes on from the highlighted folder.
    QTest::keyClick(tree, Qt::Key_Up);
    EXPECT_EQ(tree->currentPath(), f.trips + QLatin1Char('/'));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 1);
}

TEST(BrowserTree, ThePreviewShowsTheFirstPictureBeforeTheListingEnds)
{
    BrowserFixture f;
    const QString many = f.dir.mkdir(QStringLiteral("home/Many"));
    for (int i = 0; i < 30; ++i)
        f.picture(QStringLiteral("home/Many/p%1.png").arg(i, 2, 10, QLatin1Char('0')), 40, 30,
                  Qt::blue);
    f.show();
    frmMain &w = *f.main;
    const QString first = f.file(QStringLiteral("home/Many/p00.png"));
    QString previewedMidway;
    QObject::connect(w.ImageExplore1, &ImageExplore::listingYield, [&](int position, int) {
        if (position == 21)
            previewedMidway = w.ImgX->document()->ImageFilePath();
    });
    int announced = 0;
    QObject::connect(w.ImageExplore1, &ImageExplore::CurrSelectedImage,
                     [&](const QString &path) { announced += path == first; });
    w.ImageExplore1->ExplorePath(many);
    EXPECT_EQ(previewedMidway, first);
    EXPECT_EQ(w.ImgX->document()->ImageFilePath(), first);
    EXPECT_EQ(announced, 1); // shown once, not again when the listing ends
}

TEST(BrowserTree, TheStatusLineNeverShowsTheOldFoldersCounts)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const QString many = f.dir.mkdir(QStringLiteral("home/Many"));
    f.dir.mkdir(QStringLiteral("home/Many/s1"));
    f.dir.mkdir(QStringLiteral("home/Many/s2"));
    for (int i = 0; i < 45; ++i)
        f.picture(QStringLiteral("home/Many/m%1.png").arg(i), 8, 8, Qt::gray);
    w.CheckPath(f.file(QStringLiteral("home/Photos/a.png")));
    const QString before = w.lblStatus->text();
    ASSERT_TRUE(before.contains(QStringLiteral("2 folders, 4 images"))) << before.toStdString();

    QStringList seen;
    auto record = [&] { seen << w.lblStatus->text(); };
    QObject::connect(w.ImageExplore1, &ImageExplore::CurrSelectedImage, record);
    QObject::connect(w.ImageExplore1, &ImageExplore::listingYield, record);
    w.CheckPath(many + QStringLiteral("/m0.png"));
    ASSERT_GE(seen.size(), 4);
    for (const QString &text : seen) {
        EXPECT_TRUE(text.startsWith(QDir::toNativeSeparators(many))) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("4 images"))) << text.toStdString();
        if (text.contains(QStringLiteral("images"))) {
            EXPECT_TRUE(text.contains(QStringLiteral("2 folders, 45 images")))
                << text.toStdString();
        }
    }
    EXPECT_TRUE(w.lblStatus->text().contains(QStringLiteral("2 folders, 45 images")));
}

TEST(BrowserTree, TheStatusLineCountsWhatIsLeftAfterADelete)
{
    lumora::test::FileOpsFixture ops; // first: the Trash lives under its XDG_DATA_HOME
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1->setFileOperations(ops.services(f.host.prompts));
    w.CheckPath(f.file(QStringLiteral("home/Photos/a.png")));
    ASSERT_TRUE(w.lblStatus->text().contains(QStringLiteral("2 folders, 4 images")));
    // From the item's menu: nothing announces a new current item afterwards.
    w.ImageExplore1->trackMenu = [](QMenu &menu, const QPoint &) -> QAction * {
        for (QAction *a : menu.actions())
            if (a->objectName() == QStringLiteral("mnuDelete"))
                return a;
        return nullptr;
    };
    QListView *grid = w.ImageExplore1->grid();
    const int row = w.ImageExplore1->SelectedIndex();
    ASSERT_EQ(currentItem(w), f.file(QStringLiteral("home/Photos/a.png")));
    f.host.prompts.answers = {Prompter::Answer::Yes};
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, centreOf(grid, row));
    ASSERT_FALSE(QFile::exists(f.file(QStringLiteral("home/Photos/a.png"))));
    EXPECT_TRUE(w.lblStatus->text().contains(QStringLiteral("2 folders, 3 images")))
        << w.lblStatus->text().toStdString();
}

TEST(BrowserWindowLayout, TheRightPaneKeepsItsButtonsWhateverTheSplitter)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    auto *outer = w.findChild<QSplitter *>(QStringLiteral("Splitter2"));
    ASSERT_NE(outer, nullptr);
    outer->setSizes({5000, 0}); // the handle dragged all the way right
    QCoreApplication::processEvents();
    EXPECT_GT(outer->sizes().value(1), 0);
    EXPECT_TRUE(w.cmdView->isVisible());
    EXPECT_GE(w.cmdView->width(), w.cmdView->sizeHint().width());
    const QRect inPane(w.cmdView->mapTo(w.container, QPoint(0, 0)), w.cmdView->size());
    EXPECT_TRUE(w.container->rect().contains(inPane))
        << "View Image at " << inPane.x() << "+" << inPane.width() << " in a pane "
        << w.container->width();

    // Without a mouse: the handles take the focus and move with the keys,
    // never past what the panes allow.
    for (QSplitter *s : {outer, w.Splitter1}) {
        SCOPED_TRACE(s->objectName().toStdString());
        QSplitterHandle *handle = s->handle(1);
        ASSERT_NE(handle, nullptr);
        EXPECT_NE(handle->focusPolicy() & Qt::TabFocus, 0);
        const bool across = s->orientation() == Qt::Horizontal;
        const Qt::Key forward = across ? Qt::Key_Right : Qt::Key_Down;
        const Qt::Key back = across ? Qt::Key_Left : Qt::Key_Up;
        s->setSizes({300, 300});
        QCoreApplication::processEvents();
        const int first = s->sizes().value(0);
        QTest::keyClick(handle, back);
        EXPECT_EQ(s->sizes().value(0), first - 10);
        QTest::keyClick(handle, forward, Qt::ShiftModifier);
        EXPECT_EQ(s->sizes().value(0), first - 9);
        QTest::keyClick(handle, Qt::Key_Home);
        const int atHome = s->sizes().value(0);
        EXPECT_LT(atHome, first - 9);
        QTest::keyClick(handle, Qt::Key_End);
        EXPECT_GT(s->sizes().value(0), atHome);
        EXPECT_GE(s->sizes().value(0), first - 9);
        EXPECT_GT(s->sizes().value(1), 0);
    }
}

TEST(BrowserTree, DesktopClickListsTheDesktopFolder)
{
    BrowserFixture f;
    // The Desktop as the user's folder settings name it.
    const QString config = f.dir.mkdir(QStringLiteral("config"));
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"" + f.desktop.toUtf8() + "\"\n");
    dirs.close();
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    const QString onDesktop = f.picture(QStringLiteral("Desktop/note.png"), 30, 20, Qt::cyan);

    f.show();
    frmMain &w = *f.main;
    const QModelIndex desktop = w.TV1->model()->index(0, 0);
    ASSERT_EQ(desktop.data().toString(), QStringLiteral("Desktop"));
    QTest::mouseClick(w.TV1->viewport(), Qt::LeftButton, {}, centreOf(w.TV1, desktop));
    ASSERT_EQ(w.ImageExplore1->itemCount(), 1);
    EXPECT_EQ(w.ImageExplore1->itemPath(1), onDesktop);
    // The Desktop place is not a click on a folder of the tree.
    EXPECT_FALSE(w.treeClicked());

    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

// ---------------------------------------------------------------- preview

TEST(BrowserPreviewPane, FolderClearsImageLoadsBrokenClearsSilently)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    imaging::ImageDocument *doc = w.ImgX->document();

    // Listing a folder makes its first item (a sub-folder) current: no preview.
    w.ImageExplore1->ExplorePath(f.photos);
    EXPECT_EQ(currentItem(w), f.trips);
    EXPECT_TRUE(doc->isEmpty());

    // Selecting an image in the grid previews it, whole, in mode 0.
    QTest::mouseClick(w.ImageExplore1->grid()->viewport(), Qt::LeftButton, {},
                      centreOf(w.ImageExplore1->grid(), 2));
    const QString a = f.file(QStringLiteral("home/Photos/a.png"));
    EXPECT_EQ(currentItem(w), a);
    EXPECT_EQ(doc->ImageFilePath(), a);
    EXPECT_EQ(doc->ImageWidth(), 120);
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);

    // An unreadable file leaves the preview empty and asks nothing.
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/broken.jpg")));
    EXPECT_TRUE(doc->isEmpty());
    EXPECT_TRUE(doc->ImageFilePath().isEmpty());
    EXPECT_TRUE(f.host.prompts.asked.isEmpty());

    // A folder item clears what was shown.
    w.ImageExplore1_CurrSelectedImage(a);
    ASSERT_FALSE(doc->isEmpty());
    w.ImageExplore1_CurrSelectedImage(f.winter);
    EXPECT_TRUE(doc->isEmpty());

    // Icons take the picture route and keep their file.
    const QString icon = QStringLiteral(LUMORA_SAMPLES "/blossom.ICO");
    w.ImageExplore1_CurrSelectedImage(icon);
    EXPECT_FALSE(doc->isEmpty());
    EXPECT_EQ(doc->ImageFilePath(), icon);
}

TEST(BrowserPreviewPane, ZoomButtonsStepWithTheirLimits)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;

    // No picture: both buttons do nothing.
    const double before = w.ImgX->Zoom();
    w.cmdZoomIn->click();
    w.cmdZoomOut->click();
    EXPECT_DOUBLE_EQ(w.ImgX->Zoom(), before);

    // A small picture shows at 100 %.
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/b.jpg")));
    ASSERT_DOUBLE_EQ(w.ImgX->Zoom(), 1.0);
    w.cmdZoomIn->click();
    EXPECT_DOUBLE_EQ(w.ImgX->Zoom(), 1.25);
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);
    w.Toolbar_ButtonClick(frmMain::kToolbarZoomIn);
    EXPECT_DOUBLE_EQ(w.ImgX->Zoom(), 1.5625);
    int steps = 2;
    for (double last = 0; last != w.ImgX->Zoom() && steps < 50; ++steps) {
        last = w.ImgX->Zoom();
        w.cmdZoomIn->click();
    }
    EXPECT_EQ(steps - 1, 13); // the fourteenth press did nothing
    EXPECT_NEAR(w.ImgX->Zoom() * 100, 1818.99, 0.01);
    // 64 x 48 px at 18x does not fit the preview: it scrolls.
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);

    // Other toolbar indexes do nothing.
    const double top = w.ImgX->Zoom();
    w.Toolbar_ButtonClick(6);
    w.Toolbar_ButtonClick(1);
    EXPECT_DOUBLE_EQ(w.ImgX->Zoom(), top);

    // A new preview starts again from the shown scale; zoom out runs 19 times.
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/b.jpg")));
    ASSERT_DOUBLE_EQ(w.ImgX->Zoom(), 1.0);
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);
    int outs = 0;
    for (double last = 0; last != w.ImgX->Zoom() && outs < 50; ++outs) {
        last = w.ImgX->Zoom();
        w.Toolbar_ButtonClick(frmMain::kToolbarZoomOut);
    }
    EXPECT_EQ(outs - 1, 19);
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);
}

TEST(BrowserPreviewPane, ALargePhotoStartsAtItsFitSoZoomOutNeverEnlargesIt)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/c.png"))); // 2000 x 1500
    const double fit = w.ImgX->Zoom();
    EXPECT_LT(fit, 1.0);
    EXPECT_LE(2000 * fit, w.ImgX->width() + 1);
    EXPECT_LE(1500 * fit, w.ImgX->height() + 1);
    w.cmdZoomOut->click();
    EXPECT_DOUBLE_EQ(w.ImgX->Zoom(), fit * 0.75);
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);
    w.cmdZoomIn->click();
    w.cmdZoomIn->click();
    EXPECT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);
}

// What the user sees changes with every press: the drawn picture follows the
// zoom while it fits, centred in the preview.
TEST(BrowserPreviewPane, EachZoomPressChangesTheDrawnPicture)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/b.jpg"))); // 64 x 48
    const auto drawn = [&] { return w.ImgX->shownRect(); };
    EXPECT_EQ(drawn().size(), QSize(64, 48));
    w.cmdZoomIn->click();
    ASSERT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Preview);
    EXPECT_EQ(drawn().size(), QSize(80, 60));
    w.cmdZoomIn->click();
    EXPECT_EQ(drawn().size(), QSize(100, 75));
    EXPECT_LE((drawn().center() - w.ImgX->rect().center()).manhattanLength(),
              2); // centred, to rounding
    for (int i = 0; i < 3; ++i)
        w.cmdZoomOut->click();
    // 1.5625 x 0.75^3 = 0.659...: smaller than the picture itself.
    EXPECT_EQ(drawn().size(), QSize(42, 32));
    EXPECT_LE((drawn().center() - w.ImgX->rect().center()).manhattanLength(),
              2); // centred, to rounding

    // A large photo zoomed out shrinks below its fitted size.
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/c.png"))); // 2000 x 1500
    const QSize fitted = drawn().size();
    w.cmdZoomOut->click();
    EXPECT_LT(drawn().width(), fitted.width());
    EXPECT_NEAR(drawn().width(), fitted.width() * 0.75, 1.5);
}

// -------------------------------------------------------------- CheckPath

TEST(BrowserCheckPath, OtherFolderIsShownWithTheFileCurrent)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    w.CheckPath(b);
    EXPECT_EQ(w.TV1->currentPath(), f.photos + QLatin1Char('/'));
    EXPECT_EQ(w.ImageExplore1->itemCount(), 6);
    EXPECT_EQ(currentItem(w), b);
    EXPECT_EQ(w.ImgX->document()->ImageFilePath(), b);
}

TEST(BrowserCheckPath, SameFolderLeavesTheCurrentItemAlone)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.CheckPath(f.file(QStringLiteral("home/Photos/b.jpg")));
    const QString a = f.file(QStringLiteral("home/Photos/a.png"));
    w.ImageExplore1->SelectItem(3, true);
    ASSERT_EQ(currentItem(w), a);
    // A relisting would make the first item current again.
    w.CheckPath(f.file(QStringLiteral("home/Photos/c.png")));
    EXPECT_EQ(currentItem(w), a);
    EXPECT_EQ(w.ImgX->document()->ImageFilePath(), a);
}

TEST(BrowserCheckPath, RefreshImagesUpdatesTheGrid)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const QString a = f.file(QStringLiteral("home/Photos/a.png"));
    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    w.CheckPath(a);
    w.RefreshImages(a, QString());
    EXPECT_EQ(w.ImageExplore1->FindItem(a), -1);
    const QString renamed = f.file(QStringLiteral("home/Photos/b2.jpg"));
    w.RefreshImages(b, renamed);
    EXPECT_EQ(w.ImageExplore1->FindItem(b), -1);
    EXPECT_GT(w.ImageExplore1->FindItem(renamed), 0);
    EXPECT_EQ(w.ImageExplore1->itemCount(), 5);
}

// ----------------------------------------------------- opening and viewer

TEST(BrowserOpen, EnterOnAFolderListsItInTreeAndGrid)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.CheckPath(f.file(QStringLiteral("home/Photos/a.png")));
    w.ImageExplore1->SelectItem(1, true); // Trips
    QTest::keyClick(w.ImageExplore1->grid(), Qt::Key_Return);
    EXPECT_EQ(w.TV1->currentPath(), f.trips + QLatin1Char('/'));
    ASSERT_EQ(w.ImageExplore1->itemCount(), 1);
    EXPECT_EQ(w.ImageExplore1->itemPath(1), f.file(QStringLiteral("home/Photos/Trips/t1.png")));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(f.host.viewersMade, 0);
}

TEST(BrowserOpen, EnterOnAnImageOpensTheViewerOnTheGridsImages)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.CheckPath(f.file(QStringLiteral("home/Photos/a.png")));
    const QString c = f.file(QStringLiteral("home/Photos/c.png"));
    w.ImageExplore1->SelectItem(w.ImageExplore1->FindItem(c), true);
    QTest::keyClick(w.ImageExplore1->grid(), Qt::Key_Return);

    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    const QStringList expected = {f.file(QStringLiteral("home/Photos/a.png")),
                                  f.file(QStringLiteral("home/Photos/b.jpg")),
                                  f.file(QStringLiteral("home/Photos/broken.jpg")), c};
    EXPECT_EQ(viewer->pathList(), expected);
    EXPECT_EQ(viewer->currentIndex(), 3);
    EXPECT_FALSE(viewer->bCommand);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(viewer->ImgX->document()->ImageFilePath(), c);
}

TEST(BrowserOpen, AnEmptyListEntryClearsThePreviewAndOpensNothing)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/a.png")));
    ASSERT_FALSE(w.ImgX->document()->isEmpty());
    w.ImageExplore1_ItemOpened({QString()}, 0, QString());
    EXPECT_TRUE(w.ImgX->document()->isEmpty());
    EXPECT_EQ(f.host.viewersMade, 0);
    EXPECT_TRUE(w.isVisible());
}

TEST(BrowserOpen, PreviewDoubleClickAndViewImageOpenJustThatImage)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    // Nothing previewed: nothing opens.
    w.cmdView->click();
    EXPECT_EQ(f.host.viewersMade, 0);

    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    w.CheckPath(b);
    QTest::mouseDClick(w.ImgX, Qt::LeftButton);
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->pathList(), QStringList{b});
    EXPECT_EQ(viewer->currentIndex(), 0);
    EXPECT_FALSE(w.isVisible());

    viewer->ReturnToBrowser();
    EXPECT_TRUE(w.isVisible());
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/a.png")));
    w.cmdView->click();
    EXPECT_EQ(viewer->pathList(), QStringList{f.file(QStringLiteral("home/Photos/a.png"))});
}

TEST(BrowserOpen, RoundTripFromTheGridBackToTheSameItem)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    w.CheckPath(f.file(QStringLiteral("home/Photos/a.png")));
    QListView *grid = w.ImageExplore1->grid();
    // A double click as the platform delivers it: click, then press as
    // double click, then release.
    const QPoint at = centreOf(grid, w.ImageExplore1->FindItem(b) - 1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(waitUntil([&] { return viewer->isVisible(); }));
    EXPECT_EQ(viewer->pathList().at(viewer->currentIndex()), b);
    EXPECT_FALSE(w.isVisible());

    // "Browse" in the viewer: the browser is back on the same folder and item.
    viewer->action(QStringLiteral("mnuBrowse"))->trigger();
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.TV1->currentPath(), f.photos + QLatin1Char('/'));
    EXPECT_EQ(currentItem(w), b);
    EXPECT_EQ(w.ImgX->document()->ImageFilePath(), b);

    // Closing the viewer (opened from the browser) shows the browser too.
    w.ImageExplore1->SelectItem(3, true);
    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_TRUE(viewer->isVisible() || f.host.existingViewer()->isVisible());
    w.hide();
    f.host.existingViewer()->close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(f.host.terminated, 0);
}

// ------------------------------------------------------ start-up and layout

TEST(BrowserStartup, AFolderWithoutImagesOpensTheBrowserOnIt)
{
    BrowserFixture f;
    f.dir.mkdir(QStringLiteral("home/Photos/Winter/Snow"));
    const QString note = f.dir.write(QStringLiteral("home/Photos/Winter/readme.txt"));
    ASSERT_TRUE(f.main->Form_Load(note));
    frmMain &w = *f.main;
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(f.host.viewersMade, 0);
    EXPECT_EQ(w.TV1->currentPath(), f.winter + QLatin1Char('/'));
    ASSERT_EQ(w.ImageExplore1->itemCount(), 1);
    EXPECT_EQ(w.ImageExplore1->itemPath(1), f.winter + QStringLiteral("/Snow"));
}

TEST(BrowserStartup, AnImageOnTheCommandLineOpensTheViewerOnly)
{
    BrowserFixture f;
    const QString b = f.file(QStringLiteral("home/Photos/b.jpg"));
    ASSERT_TRUE(f.main->Form_Load(b));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->bCommand);
    EXPECT_EQ(viewer->currentIndex(), 1);
    EXPECT_EQ(viewer->pathList().size(), 4);
    EXPECT_FALSE(f.main->isVisible());
}

TEST(BrowserStartup, SwitchesEndAndClosingEndsTheProgram)
{
    {
        BrowserFixture f;
        EXPECT_FALSE(f.main->Form_Load(QStringLiteral("/Associate")));
        EXPECT_FALSE(f.main->isVisible());
    }
    BrowserFixture f;
    ASSERT_TRUE(f.main->Form_Load(QString()));
    EXPECT_TRUE(f.main->isVisible());
    EXPECT_EQ(f.main->ImageExplore1->extensionList(),
              QStringLiteral("jpg gif bmp png psd tif pcx tga wbmp pcd wmf emf ico dib"));
    f.host.viewer();
    f.main->close();
    EXPECT_EQ(f.host.terminated, 1);
    EXPECT_EQ(f.host.existingViewer(), nullptr);
}

TEST(BrowserWindowLayout, MinimumSizeSnapAndPaneRules)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    const Twips tw = Twips::forScreen();
    w.resize(100, 80);
    ASSERT_TRUE(waitUntil([&] { return w.width() < 1000; }));
    QCoreApplication::processEvents();
    EXPECT_GE(tw.fromPixelsX(w.width()), 3700);
    EXPECT_GE(tw.fromPixelsY(w.height()), 2400);
    // Shrunk as far as it goes, every button of the strip and the preview stay.
    EXPECT_GE(w.container->width(),
              w.cmdView->mapTo(w.container, QPoint(0, 0)).x() + w.cmdView->sizeHint().width());
    EXPECT_GE(w.ImgX->height(), w.ImgX->minimumHeight());
    EXPECT_GE(w.height(), 400);

    w.resize(1000, 700);
    ASSERT_TRUE(waitUntil([&] { return w.width() == 1000 && w.height() == 700; }));
    QCoreApplication::processEvents();
    // The outer splitter: window less 300 x 1000 twips.
    const QSize outer = w.frameGeometry().size().expandedTo(w.size());
    EXPECT_EQ(w.Splitter2->width(), tw.toPixelsX(tw.fromPixelsX(outer.width()) - 300));
    EXPECT_EQ(w.Splitter2->height(), tw.toPixelsY(tw.fromPixelsY(outer.height()) - 1000));
    // The inner splitter: container less 20 twips wide, toolbar and 80 twips high.
    ASSERT_TRUE(waitUntil([&] { return w.Toolbar->width() == w.ImgX->width(); }));
    EXPECT_EQ(w.Splitter1->width(), tw.toPixelsX(tw.fromPixelsX(w.container->width()) - 20));
    EXPECT_EQ(w.Splitter1->height(),
              tw.toPixelsY(tw.fromPixelsY(w.container->height()) -
                           tw.fromPixelsY(w.Toolbar->sizeHint().height()) - 80));
    EXPECT_EQ(w.Toolbar->geometry().bottom(), w.container->height() - 1);
    // The grid gets the room, the preview keeps its height.
    EXPECT_GT(w.ImageExplore1->height(), w.ImgX->height() / 2);

    // The toolbar's positions 4, 5 and 7 are the zoom and wallpaper buttons.
    const QList<QAction *> items = w.Toolbar->actions();
    ASSERT_GE(items.size(), 8);
    EXPECT_EQ(w.Toolbar->widgetForAction(items.at(3)), w.cmdZoomIn);
    EXPECT_EQ(w.Toolbar->widgetForAction(items.at(4)), w.cmdZoomOut);
    EXPECT_EQ(w.Toolbar->widgetForAction(items.at(6)), w.cmdWallPaper);
}
