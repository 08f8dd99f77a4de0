#include "imaging/Twips.h"
#include "support/AnimatedGif.h"
#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/AnimationPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ViewerFixture;

TEST(ViewerList, WrapAroundsCorrectTheCallersIndex)
{
    ViewerFixture f;
    const QStringList list = f.images(3);
    int index = 3;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(f.viewer->currentIndex(), 0);
    EXPECT_EQ(f.viewer->windowTitle(), QStringLiteral("img0.png- Lumora 2.1"));
    EXPECT_TRUE(f.viewer->isVisible());

    index = -1;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(2));
    EXPECT_EQ(f.viewer->windowTitle(), QStringLiteral("img2.png- Lumora 2.1"));
}

TEST(ViewerList, EmptyEntryClearsDisplayAndChangesNothingElse)
{
    ViewerFixture f;
    QStringList list = f.images(2);
    int index = 1;
    f.viewer->ViewImage(list, index);
    list.insert(1, QString());
    index = 1;
    f.viewer->ViewImage(list, index);
    EXPECT_TRUE(f.viewer->ImgX->document()->isEmpty());
    EXPECT_EQ(f.viewer->currentIndex(), 1);
    EXPECT_EQ(f.viewer->windowTitle(), QStringLiteral("img1.png- Lumora 2.1"));
    EXPECT_EQ(f.viewer->pathList(), list); // the list is still taken over
}

TEST(ViewerList, BrokenOrVanishedFileLeavesAClearEmptyView)
{
    ViewerFixture f;
    QStringList list = f.images(1);
    list << f.dir.write(QStringLiteral("broken.jpg"),
                        QByteArray("\xFF\xD8\xFF\xE0 not really", 16));
    list << f.dir.file(QStringLiteral("gone.png"));
    list << f.dir.write(QStringLiteral("empty.png"), QByteArray());
    for (int i = 1; i < list.size(); ++i) {
        int index = i;
        f.viewer->ViewImage(list, index);
        EXPECT_EQ(f.viewer->currentIndex(), i);
        EXPECT_TRUE(f.viewer->ImgX->document()->isEmpty());
        EXPECT_FALSE(f.viewer->ImgX->errorText().isEmpty()) << list.at(i).toStdString();
        EXPECT_TRUE(f.viewer->isVisible());
    }
    // Moving on to a good image clears the message.
    int index = 0;
    f.viewer->ViewImage(list, index);
    EXPECT_FALSE(f.viewer->ImgX->document()->isEmpty());
    EXPECT_TRUE(f.viewer->ImgX->errorText().isEmpty());
}

TEST(ViewerList, PictureRouteForIconsKeepsTheFileName)
{
    ViewerFixture f;
    const QString ico =
        lumora::test::writeImage(f.dir, QStringLiteral("small.ico"), 32, 32, Qt::blue, "ico");
    const QString jpg =
        lumora::test::writeImage(f.dir, QStringLiteral("photo.JPG"), 40, 30, Qt::green, "jpg");
    int index = 0;
    f.viewer->ViewImage({ico, jpg}, index);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 32);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFileName(), QStringLiteral("small.ico"));
    index = 1;
    f.viewer->ViewImage({ico, jpg}, index);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFormat(), imaging::FormatCode::Jpeg);
}

TEST(ViewerFitting, SmallImageWindowInTwipsAndScrollMode)
{
    ViewerFixture f;
    const QString small = lumora::test::writeImage(f.dir, QStringLiteral("s.png"), 100, 80);
    int index = 0;
    f.viewer->ViewImage({small}, index);
    const Twips t = Twips::forScreen();
    EXPECT_EQ(f.viewer->width(), t.toPixelsX(7590));
    EXPECT_EQ(f.viewer->height(), t.toPixelsY(4600));
    EXPECT_EQ(f.viewer->ImgX->DisplayMode(), lumora::imaging::DisplayMode::Fits);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.0);

    // Zoom in until the image is larger than the window: scrollable, and the
    // arrows move it by 5; zooming back out makes it fit again.
    for (int i = 0; i < 12; ++i)
        f.viewer->ZoomIn();
    EXPECT_EQ(f.viewer->ImgX->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);
    f.viewer->scrollByKey(Qt::Key_Right);
    f.viewer->scrollByKey(Qt::Key_Down);
    f.viewer->scrollByKey(Qt::Key_Down);
    EXPECT_EQ(f.viewer->ImgX->ScrollX(), 5);
    EXPECT_EQ(f.viewer->ImgX->ScrollY(), 10);
    for (int i = 0; i < 12; ++i)
        f.viewer->ZoomOut();
    EXPECT_EQ(f.viewer->ImgX->DisplayMode(), lumora::imaging::DisplayMode::Fits);
    f.viewer->scrollByKey(Qt::Key_Right);
    EXPECT_EQ(f.viewer->ImgX->ScrollX(), 0); // arrows do nothing while it fits
}

namespace
{

void sendMouse(QWidget *w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void sendWheel(QWidget *w, QPoint at, int notches, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent e(QPointF(at), w->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120 * notches),
                  Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(ViewerMouse, DragWheelAndCtrlWheelMoveAndZoomAroundThePointer)
{
    ViewerFixture f;
    const QString small = lumora::test::writeImage(f.dir, QStringLiteral("s.png"), 100, 80);
    int index = 0;
    f.viewer->ViewImage({small}, index);
    imaging::ImageView *view = f.viewer->ImgX;
    EXPECT_NE(view->cursor().shape(), Qt::OpenHandCursor); // nothing to move yet
    for (int i = 0; i < 12; ++i)
        f.viewer->ZoomIn();
    ASSERT_EQ(view->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);
    EXPECT_EQ(view->cursor().shape(), Qt::OpenHandCursor);

    // An arrow step (5 units) moves about a tenth of the view.
    f.viewer->scrollByKey(Qt::Key_Right);
    EXPECT_NEAR(view->scrollPixels().x(), view->width() / 10.0, view->scrollUnitX());

    // Dragging moves the picture with the hand.
    const QPoint before = view->scrollPixels();
    sendMouse(view, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    EXPECT_EQ(view->cursor().shape(), Qt::ClosedHandCursor);
    sendMouse(view, QEvent::MouseMove, {60, 70}, Qt::LeftButton);
    sendMouse(view, QEvent::MouseButtonRelease, {60, 70}, Qt::NoButton);
    EXPECT_EQ(view->scrollPixels(), before + QPoint(40, 30));
    EXPECT_EQ(view->cursor().shape(), Qt::OpenHandCursor);

    // The wheel scrolls down a notch at a time; with Shift it goes sideways.
    sendWheel(view, {50, 50}, -1, Qt::NoModifier);
    EXPECT_EQ(view->scrollPixels(), before + QPoint(40, 30 + 5 * view->scrollUnitY()));
    sendWheel(view, {50, 50}, -1, Qt::ShiftModifier);
    EXPECT_EQ(view->scrollPixels(),
              before + QPoint(40 + 5 * view->scrollUnitX(), 30 + 5 * view->scrollUnitY()));

    // Ctrl+wheel takes one zoom step and keeps the picture's point under the pointer.
    const QPoint pointer(70, 40);
    const double zoom = view->Zoom();
    const QPointF spot = QPointF(pointer + view->scrollPixels()) / zoom;
    sendWheel(view, pointer, -1, Qt::ControlModifier);
    ASSERT_DOUBLE_EQ(view->Zoom(), zoom * 0.75);
    const QPointF spotAfter = QPointF(pointer + view->scrollPixels()) / view->Zoom();
    EXPECT_NEAR(spotAfter.x(), spot.x(), 1.0);
    EXPECT_NEAR(spotAfter.y(), spot.y(), 1.0);
    sendWheel(view, pointer, 1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view->Zoom(), zoom * 0.75 * 1.25);

    // Ctrl+9 shows the whole picture, never enlarged; Ctrl+0 every pixel.
    QTest::keyClick(view, Qt::Key_9, Qt::ControlModifier);
    EXPECT_EQ(view->DisplayMode(), lumora::imaging::DisplayMode::Fits);
    EXPECT_DOUBLE_EQ(view->Zoom(), 1.0); // 100 x 80 fits the window as it is
    EXPECT_NE(view->cursor().shape(), Qt::OpenHandCursor);
    f.viewer->ZoomIn();
    f.viewer->ZoomIn();
    QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view->Zoom(), 1.0);
}

TEST(ViewerFitting, HugeImageIsCappedToTheScreenAndFitted)
{
    ViewerFixture f;
    const QString big = lumora::test::writeImage(f.dir, QStringLiteral("big.png"), 4000, 3000);
    int index = 0;
    f.viewer->ViewImage({big}, index);
    const QRect screen = f.viewer->screen()->availableGeometry();
    EXPECT_LE(f.viewer->width(), screen.width());
    EXPECT_LE(f.viewer->height(), screen.height());
    EXPECT_NEAR(f.viewer->ImgX->Zoom(), double(f.viewer->width()) / 4000.0, 1e-9);
    // Fitted by width it may still run past the bottom; Ctrl+9 shows all of it.
    QTest::keyClick(f.viewer->ImgX, Qt::Key_9, Qt::ControlModifier);
    EXPECT_EQ(f.viewer->ImgX->DisplayMode(), lumora::imaging::DisplayMode::Fits);
    EXPECT_LE(4000 * f.viewer->ImgX->Zoom(), f.viewer->ImgX->width() + 0.5);
    EXPECT_LE(3000 * f.viewer->ImgX->Zoom(), f.viewer->ImgX->height() + 0.5);
}

TEST(ViewerRotation, QuarterTurnsSwapTheSides)
{
    ViewerFixture f;
    const QString p = lumora::test::writeImage(f.dir, QStringLiteral("r.png"), 120, 60);
    int index = 0;
    f.viewer->ViewImage({p}, index);
    QSignalSpy changed(f.viewer->ImgX, &imaging::ImageView::viewChanged);
    const double zoom = f.viewer->ImgX->Zoom();
    f.viewer->RotatePlus90();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 60);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageHeight(), 120);
    f.viewer->RotateMinus90();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 120);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), zoom);
    EXPECT_GE(changed.count(), 2);
}

TEST(ViewerOpen, ThreeFilesAppendedFirstInCaptionIndexKept)
{
    ViewerFixture f;
    const QStringList list = f.images(2);
    int index = 1;
    f.viewer->ViewImage(list, index);

    test::TempDir other;
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        lumora::test::writeImage(other, QStringLiteral("o%1.png").arg(i), 30, 30);
        names << QStringLiteral("o%1.png").arg(i);
    }
    f.prompter.files.push_back(Prompter::FileChoice{other.path() + QLatin1Char('/'), names, 1});
    EXPECT_TRUE(f.viewer->LoadImage());
    ASSERT_EQ(f.viewer->pathList().size(), 5);
    EXPECT_EQ(f.viewer->pathList().at(2), other.file(QStringLiteral("o0.png")));
    EXPECT_EQ(f.viewer->pathList().at(4), other.file(QStringLiteral("o2.png")));
    // The first file opened is on screen, and so is the entry commands act on.
    EXPECT_EQ(f.viewer->currentIndex(), 2);
    EXPECT_EQ(f.viewer->windowTitle(), QStringLiteral("o0.png- Lumora 2.1"));
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_TRUE(
        f.prompter.asked.first().text.startsWith(QStringLiteral("All Images|*.jpg;*.jpeg;")));
    EXPECT_TRUE(f.prompter.asked.first().text.contains(QStringLiteral(
        "ICO Files  <ICO>|*.ICO|Windows Enhanced Meta File <EMF>|*.emf|All Files|*.*")));

    // Cancelled: false, nothing changes.
    EXPECT_FALSE(f.viewer->LoadImage());
    EXPECT_EQ(f.viewer->pathList().size(), 5);
}

TEST(ViewerDrop, KeepsImagesSkipsFoldersAndOthers)
{
    ViewerFixture f;
    const QStringList list = f.images(3);
    int index = 2;
    f.viewer->ViewImage(list, index);
    const QString folder = f.dir.mkdir(QStringLiteral("folder.png"));
    const QString text = f.dir.write(QStringLiteral("notes.txt"));
    f.viewer->dropFiles({folder, list.at(1), text, list.at(0)});
    EXPECT_EQ(f.viewer->pathList(), (QStringList{list.at(1), list.at(0)}));
    EXPECT_EQ(f.viewer->currentIndex(), 0);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(1));

    f.viewer->dropFiles({folder, text}); // nothing kept, nothing happens
    EXPECT_EQ(f.viewer->pathList().size(), 2);
}

TEST(ViewerBrowser, ReturnAndCloseGoBackOrEnd)
{
    ViewerFixture f;
    const QStringList list = f.images(2);
    int index = 1;
    f.viewer->ViewImage(list, index);
    f.viewer->ReturnToBrowser();
    EXPECT_FALSE(f.viewer->isVisible());
    EXPECT_EQ(f.browser.shown, 1);
    EXPECT_EQ(f.browser.checked, QStringList{list.at(1)});

    // Escape closes; from the browser that means showing the browser again.
    f.viewer->ViewImage(list, index);
    QSignalSpy closed(f.viewer.get(), &frmViwer::viewerClosed);
    QTest::keyClick(f.viewer.get(), Qt::Key_Escape);
    ASSERT_EQ(closed.count(), 1);
    EXPECT_FALSE(closed.first().first().toBool());
    EXPECT_EQ(f.browser.shown, 2);
    EXPECT_TRUE(f.viewer->pathList().isEmpty());

    // From the command line, closing ends the program and leaves the browser hidden.
    f.viewer->bCommand = true;
    f.viewer->ViewImage(list, index);
    f.viewer->close();
    ASSERT_EQ(closed.count(), 2);
    EXPECT_TRUE(closed.last().first().toBool());
    EXPECT_EQ(f.browser.shown, 2);
}

TEST(ViewerMouse, DoubleClickReturnsToTheBrowser)
{
    ViewerFixture f;
    const QStringList list = f.images(2);
    int index = 1;
    f.viewer->ViewImage(list, index);
    QTest::mouseDClick(f.viewer->ImgX, Qt::LeftButton);
    EXPECT_FALSE(f.viewer->isVisible());
    EXPECT_EQ(f.browser.checked, QStringList{list.at(1)});
}

TEST(ViewerWallpaper, ContextCommandWritesTheBmpCopyAndSaysWhenTheDesktopIsUnknown)
{
    ViewerFixture f;
    test::TempDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    qputenv("XDG_CURRENT_DESKTOP", "");
    qputenv("DESKTOP_SESSION", "");
    const QStringList list = f.images(1, 40, 30);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->runContextCommand(6);
    const QString copy = data.file(QStringLiteral("lumora/wallpaper/img0.png"));
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM")); // BMP data under the source's name
    ASSERT_EQ(f.prompter.asked.size(), 1);
    EXPECT_TRUE(f.prompter.asked.first().text.contains(QStringLiteral("cannot be set")));
}

// An animated GIF plays with its own delays; zoom, scroll position and
// rotation stay while it does, and it stands still while the window is hidden.
TEST(ViewerAnimation, PlaysKeepingZoomScrollAndTurnsAndRestsWhileHidden)
{
    ViewerFixture f;
    const QString gif = f.dir.file(QStringLiteral("anim.gif"));
    ASSERT_TRUE(
        lumora::test::writeAnimatedGif(gif, {Qt::red, Qt::green, Qt::blue}, 5, 0, QSize(160, 120)));
    int index = 0;
    f.viewer->ViewImage({gif}, index);
    imaging::ImageDocument *doc = f.viewer->ImgX->document();
    ASSERT_EQ(doc->ImageCount(), 3);
    EXPECT_EQ(doc->frameDelays(), (QList<int>{50, 50, 50}));
    auto *player = f.viewer->ImgX->findChild<AnimationPlayer *>();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(doc->currentIndex(), 0);
    EXPECT_EQ(doc->currentImage().pixel(5, 5), QColor(Qt::red).rgb());
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 1; }, 3000));
    EXPECT_EQ(doc->currentImage().pixel(5, 5), QColor(Qt::green).rgb());
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 0; }, 3000)); // for ever

    // Zoomed in and scrolled: the next frames keep both.
    for (int i = 0; i < 6; ++i)
        f.viewer->ZoomIn();
    ASSERT_EQ(f.viewer->ImgX->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);
    f.viewer->scrollByKey(Qt::Key_Right);
    f.viewer->scrollByKey(Qt::Key_Down);
    const QPoint scrolled = f.viewer->ImgX->scrollPixels();
    const double zoom = f.viewer->ImgX->Zoom();
    ASSERT_NE(scrolled, QPoint());
    const int at = doc->currentIndex();
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() != at; }, 3000));
    EXPECT_EQ(f.viewer->ImgX->scrollPixels(), scrolled);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), zoom);

    // Turned, every frame is turned and it goes on playing.
    f.viewer->RotatePlus90();
    EXPECT_EQ(doc->ImageWidth(), 120);
    const int turnedAt = doc->currentIndex();
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() != turnedAt; }, 3000));
    EXPECT_EQ(doc->ImageWidth(), 120);

    // Hidden, minimised: no frame moves; shown again, it goes on.
    f.viewer->hide();
    EXPECT_FALSE(player->isPlaying());
    const int hiddenAt = doc->currentIndex();
    QTest::qWait(300);
    EXPECT_EQ(doc->currentIndex(), hiddenAt);
    f.viewer->show();
    EXPECT_TRUE(player->isPlaying());
    f.viewer->showMinimized();
    QTest::qWait(50);
    EXPECT_FALSE(player->isPlaying());
    f.viewer->showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->isPlaying(); }, 2000));

    // A still picture next: nothing plays.
    const QString still = lumora::test::writeImage(f.dir, QStringLiteral("still.png"), 40, 30);
    f.viewer->ViewImage({still}, index);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(doc->isAnimation());
}

// The file's loop count is kept: played twice, it rests on its last frame.
// Tiny delays show for 100 ms, as browsers show them.
TEST(ViewerAnimation, PlaysAsManyTimesAsTheFileSaysAndTinyDelaysAreSlowed)
{
    EXPECT_EQ(AnimationPlayer::shownDelay(0), 100);
    EXPECT_EQ(AnimationPlayer::shownDelay(10), 100);
    EXPECT_EQ(AnimationPlayer::shownDelay(19), 100);
    EXPECT_EQ(AnimationPlayer::shownDelay(20), 20);
    EXPECT_EQ(AnimationPlayer::shownDelay(70), 70);

    ViewerFixture f;
    const QString gif = f.dir.file(QStringLiteral("twice.gif"));
    ASSERT_TRUE(lumora::test::writeAnimatedGif(gif, {Qt::red, Qt::green, Qt::blue}, 2, 2));
    int index = 0;
    QElapsedTimer clock;
    clock.start();
    f.viewer->ViewImage({gif}, index);
    imaging::ImageDocument *doc = f.viewer->ImgX->document();
    EXPECT_EQ(doc->playCount(), 2);
    auto *player = f.viewer->ImgX->findChild<AnimationPlayer *>();
    ASSERT_NE(player, nullptr);
    QList<int> seen{doc->currentIndex()};
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (seen.back() != doc->currentIndex())
                seen << doc->currentIndex();
            return player->isFinished();
        },
        5000));
    EXPECT_EQ(seen, (QList<int>{0, 1, 2, 0, 1, 2}));
    EXPECT_EQ(doc->currentIndex(), 2);
    EXPECT_FALSE(player->isPlaying());
    // Five steps of 20 ms at the least.
    EXPECT_GE(clock.elapsed(), 100);

    // A frame of 0 ms is not shown "as fast as possible".
    const QString fast = f.dir.file(QStringLiteral("fast.gif"));
    ASSERT_TRUE(lumora::test::writeAnimatedGif(fast, {Qt::red, Qt::green}, 0));
    f.viewer->ViewImage({fast}, index);
    EXPECT_EQ(doc->frameDelays(), (QList<int>{0, 0}));
    QTest::qWait(40);
    EXPECT_EQ(doc->currentIndex(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 1; }, 3000));
}
