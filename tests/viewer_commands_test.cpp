#include "imaging/Twips.h"
#include "settings/CRegister.h"
#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"
#include "viewer/FullScreenHint.h"
#include "viewer/Preloader.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include <functional>

using namespace lumora;
using lumora::test::ViewerFixture;

namespace
{
QString stored(ViewerFixture &f, const char *name)
{
    settings::CRegister reg(*f.registry);
    return reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE,
                             QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\"),
                             QString::fromLatin1(name), QStringLiteral("<none>"));
}
} // namespace

TEST(ViewerNavigation, NextAndPreviousStopAtTheEndsAndSkipOneEmptyEntry)
{
    ViewerFixture f;
    QStringList list = f.images(3);
    int index = 2;
    f.viewer->ViewImage(list, index);
    f.viewer->ShowNextImage();
    EXPECT_EQ(f.viewer->currentIndex(), 2);

    list[2] = QString();
    index = 1;
    f.viewer->ViewImage(list, index);
    f.viewer->ShowNextImage(); // entry 2 empty: one past the end wraps to 0
    EXPECT_EQ(f.viewer->currentIndex(), 0);
    f.viewer->ShowPreviousImage();
    EXPECT_EQ(f.viewer->currentIndex(), 0);

    list = f.images(3);
    list[1] = QString();
    index = 2;
    f.viewer->ViewImage(list, index);
    f.viewer->ImgX->setZoom(3.0);
    f.viewer->ShowPreviousImage();
    EXPECT_EQ(f.viewer->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.0);
}

TEST(ViewerSlideShow, OwnIndexWrapsAndTheSlideOnScreenIsCurrent)
{
    ViewerFixture f;
    const QStringList list = f.images(5);
    int index = 1;
    f.viewer->ViewImage(list, index);
    f.viewer->ToggleSlideShow();
    EXPECT_TRUE(f.viewer->slideShowRunning());
    EXPECT_TRUE(f.viewer->slideTimer()->isActive());
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(1)); // nothing before one delay

    QStringList shown;
    for (int i = 0; i < 6; ++i) {
        f.viewer->onSlideTimer();
        shown << f.viewer->ImgX->document()->ImageFilePath();
        EXPECT_EQ(f.viewer->windowTitle(),
                  QFileInfo(shown.last()).fileName() + QStringLiteral("- Lumora 2.1"));
        // The slide on screen is the entry the commands act on.
        EXPECT_EQ(f.viewer->pathList().at(f.viewer->currentIndex()), shown.last());
    }
    EXPECT_EQ(shown, (QStringList{list[2], list[3], list[4], list[0], list[1], list[2]}));
    // The status bar counts the slide while the show runs.
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("3/5"));

    f.viewer->ShowNextImage(); // on from the slide on screen
    EXPECT_EQ(f.viewer->currentIndex(), 3);

    f.viewer->ToggleSlideShow();
    EXPECT_FALSE(f.viewer->slideShowRunning());
    EXPECT_FALSE(f.viewer->slideTimer()->isActive());
}

TEST(ViewerSlideShow, StatusCountsTheSlideOnScreenAlsoWhenItIsFitted)
{
    ViewerFixture f;
    const QRect screen = f.viewer->screen()->geometry();
    const QStringList list = f.images(3, screen.width() * 2, screen.height() * 2);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->ToggleSlideShow();
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("1/3"));
    f.viewer->onSlideTimer();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(1));
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("2/3"));
    f.viewer->onSlideTimer();
    f.viewer->ZoomIn(); // a zoom during the show refreshes the same position
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("3/3"));
}

TEST(ViewerFullScreen, NextInFullScreenLoadsTheEntryOnce)
{
    ViewerFixture f(/*fullScreenSetting=*/true);
    const QStringList list = f.images(3, 300, 200);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->preloader().waitForAll();
    QSignalSpy loads(f.viewer->ImgX->document(), &imaging::ImageDocument::changed);
    f.viewer->ShowNextImage();
    EXPECT_TRUE(f.viewer->isFullScreenFlag());
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(1));
    EXPECT_EQ(loads.count(), 1); // the read-ahead copy, not a second decode
    // F on its own still reloads the image, as leaving and entering do.
    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    EXPECT_EQ(loads.count(), 3);
}

TEST(ViewerSlideShow, ZeroDelayNeverAdvancesAndCloseStopsTheShow)
{
    ViewerFixture f;
    f.prompter.inputs.push_back(QStringLiteral("0"));
    f.viewer->PromptSlideShowDelay();
    const QStringList list = f.images(3);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->ToggleSlideShow();
    EXPECT_TRUE(f.viewer->slideShowRunning());
    EXPECT_FALSE(f.viewer->slideTimer()->isActive());
    QTest::qWait(50);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), list.at(0));

    f.prompter.inputs.push_back(QStringLiteral("1000"));
    f.viewer->PromptSlideShowDelay();
    EXPECT_TRUE(f.viewer->slideTimer()->isActive()); // the running show picks up the new pace
    f.viewer->close();
    EXPECT_FALSE(f.viewer->slideTimer()->isActive());
}

TEST(ViewerKeys, KeyTableHandledOncePerPress)
{
    ViewerFixture f;
    const QStringList list = f.images(4);
    int index = 0;
    f.viewer->ViewImage(list, index);
    QWidget *target = f.viewer->ImgX;
    QTest::keyClick(target, Qt::Key_Space);
    EXPECT_EQ(f.viewer->currentIndex(), 1);
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(f.viewer->currentIndex(), 2);
    QTest::keyClick(target, Qt::Key_Backspace);
    EXPECT_EQ(f.viewer->currentIndex(), 1);
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(f.viewer->currentIndex(), 0);

    QTest::keyClick(target, Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.25);
    QTest::keyClick(target, Qt::Key_Equal);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.5625);
    QTest::keyClick(target, Qt::Key_Minus); // the main keyboard's minus too
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.5625 * 0.75);
    QTest::keyClick(target, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.5625 * 0.75 * 0.75);
    QTest::keyClick(target, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.0);
    QTest::keyClick(target, Qt::Key_0); // a plain 0 is no command
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.0);

    // Delete does nothing in windowed mode (the menu's Del shortcut does).
    QTest::keyClick(target, Qt::Key_Return);
    EXPECT_FALSE(f.viewer->isVisible());
    EXPECT_EQ(f.browser.checked, QStringList{list.at(0)});
}

TEST(ViewerMenus, EveryEntryAndButtonRunsItsCommand)
{
    // Each row: a menu entry, its shortcut, the toolbar button doing the
    // same (or none), and what must hold after it ran on the middle one of
    // three 64x48.. pictures.
    const struct {
        const char *entry, *shortcut, *button;
        std::function<void(ViewerFixture &, const QStringList &)> check;
    } rows[] = {
        {"mnuZoomIn", "Ctrl+N", "zoomin32",
         [](ViewerFixture &f, auto &) { EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.25); }},
        {"mnuZoomOut", "Ctrl+U", "zoomiout32",
         [](ViewerFixture &f, auto &) { EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 0.75); }},
        {"mnuNext", "", "next32",
         [](ViewerFixture &f, auto &) { EXPECT_EQ(f.viewer->currentIndex(), 2); }},
        {"mnuPrevious", "", "previous32",
         [](ViewerFixture &f, auto &) { EXPECT_EQ(f.viewer->currentIndex(), 0); }},
        {"mnuRotate1", "", nullptr,
         [](ViewerFixture &f, auto &) { EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 48); }},
        {"mnuRotate2", "", nullptr,
         [](ViewerFixture &f, auto &) {
             EXPECT_EQ(f.viewer->ImgX->document()->ImageHeight(), 65);
         }},
        {"mnuSlideShow", "", "slidshow32",
         [](ViewerFixture &f, auto &) {
             EXPECT_TRUE(f.viewer->slideShowRunning());
             EXPECT_TRUE(f.viewer->actions().slideShowEntry->isChecked());
             EXPECT_TRUE(f.viewer->actions().slideShowButton->isChecked());
         }},
        {"mnuAntiAliasDisplay", "", nullptr,
         [](ViewerFixture &f, auto &) {
             EXPECT_FALSE(f.viewer->ImgX->AntiAliasDisplay());
             EXPECT_FALSE(f.viewer->actions().antiAlias->isChecked());
         }},
        {"mnuFullScreen", "Ctrl+F", "fullscreen32",
         [](ViewerFixture &f, auto &) { EXPECT_TRUE(f.viewer->isFullScreenFlag()); }},
        {"mnuBrowse", "Ctrl+B", "browsed32",
         [](ViewerFixture &f, const QStringList &list) {
             EXPECT_FALSE(f.viewer->isVisible());
             EXPECT_EQ(f.browser.checked, QStringList{list.at(1)});
         }},
        {"mnuExit", "Ctrl+Q", nullptr,
         [](ViewerFixture &f, auto &) { EXPECT_FALSE(f.viewer->isVisible()); }},
        {"mnuSlideShowDelay", "", nullptr,
         [](ViewerFixture &f, auto &) {
             ASSERT_EQ(f.prompter.asked.size(), 1);
             EXPECT_EQ(f.prompter.asked[0].title, QStringLiteral("Slide Show Delay"));
         }},
    };
    for (const auto &row : rows) {
        for (const char *name : {row.entry, row.button}) {
            if (!name)
                continue;
            SCOPED_TRACE(name);
            ViewerFixture f;
            const QStringList list = f.images(3);
            int index = 1;
            f.viewer->ViewImage(list, index);
            f.prompter.inputs.push_back(std::nullopt);
            QAction *a = f.viewer->action(QString::fromLatin1(name));
            ASSERT_NE(a, nullptr);
            if (name == row.entry) {
                EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(row.shortcut)));
            }
            a->trigger();
            row.check(f, list);
        }
    }
}

TEST(ViewerContextMenu, IdsTextsChecksAndCommands)
{
    ViewerFixture f;
    const QStringList list = f.images(3);
    int index = 0;
    f.viewer->ViewImage(list, index);
    f.viewer->ToggleSlideShow();

    QStringList texts;
    QList<int> ids;
    QList<bool> checked;
    QPoint at;
    f.viewer->trackMenu = [&](QMenu &menu, const QPoint &p) {
        at = p;
        for (QAction *a : menu.actions()) {
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            ids << a->data().toInt();
            checked << a->isChecked();
        }
        return 7; // "Next"
    };
    const QPoint pointer = f.viewer->ImgX->mapToGlobal(QPoint(10, 20));
    QTest::mousePress(f.viewer->ImgX, Qt::RightButton, {}, QPoint(10, 20));
    EXPECT_EQ(texts, (QStringList{"Full Screen", "Next", "Previous", "-", "Slide Show",
                                  "Antialias Display", "-", "Rotate +90", "Rotate -90", "-",
                                  "Zoom In", "Zoom Out", "-", "Set As Wallpaper"}));
    EXPECT_EQ(ids, (QList<int>{10, 7, 8, 0, 9, 1, 0, 2, 3, 0, 4, 5, 0, 6}));
    EXPECT_TRUE(checked.at(4)); // the show runs
    EXPECT_TRUE(checked.at(5)); // anti-aliasing on by default
    EXPECT_EQ(at, pointer);
    EXPECT_EQ(f.viewer->currentIndex(), 1);

    f.viewer->ToggleSlideShow();
    f.viewer->trackMenu = [&](QMenu &menu, const QPoint &) {
        EXPECT_FALSE(menu.actions().at(4)->isChecked());
        return 0; // dismissed
    };
    QTest::mousePress(f.viewer->ImgX, Qt::RightButton, {}, QPoint(1, 1));
    EXPECT_EQ(f.viewer->currentIndex(), 1);

    // Rotation and zoom by id.
    f.viewer->runContextCommand(2);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageWidth(), 48);
    f.viewer->runContextCommand(4);
    EXPECT_DOUBLE_EQ(f.viewer->ImgX->Zoom(), 1.25);
}

TEST(ViewerFullScreen, TheKeysThatLeaveShowForAMomentAndWhenThePointerNearsTheTop)
{
    ViewerFixture f;
    const QStringList list = f.images(2, 300, 200);
    int index = 0;
    f.viewer->ViewImage(list, index);
    FullScreenHint *hint = f.viewer->fullScreenHint();
    ASSERT_NE(hint, nullptr);
    EXPECT_FALSE(hint->isVisible()); // windowed: nothing over the picture
    hint->setShownFor(30);
    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    ASSERT_TRUE(f.viewer->isFullScreenFlag());
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains(QStringLiteral("Escape: close")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hint->isVisible(); }, 2000));

    const auto moveTo = [&](int y) {
        QMouseEvent e(QEvent::MouseMove, QPointF(40, y),
                      f.viewer->ImgX->mapToGlobal(QPointF(40, y)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(f.viewer->ImgX, &e);
    };
    moveTo(300);
    EXPECT_FALSE(hint->isVisible());
    moveTo(5);
    EXPECT_TRUE(hint->isVisible());
    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    EXPECT_FALSE(hint->isVisible()); // back in the window it is gone at once
}

TEST(ViewerFullScreen, FTwiceRestoresGeometry510TwipsLowerWithEmptyCaption)
{
    ViewerFixture f;
    const QStringList list = f.images(2, 300, 200);
    int index = 0;
    f.viewer->ViewImage(list, index);
    const QRect before = f.viewer->geometry();
    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    EXPECT_TRUE(f.viewer->isFullScreenFlag());
    EXPECT_FALSE(f.viewer->toolBar()->isVisible());
    EXPECT_FALSE(f.viewer->statusBar()->isVisible());
    EXPECT_TRUE(f.viewer->menu(QStringLiteral("mnuImage"))->menuAction()->isVisible());
    EXPECT_FALSE(f.viewer->menu(QStringLiteral("mnufile"))->menuAction()->isVisible());
    EXPECT_FALSE(f.viewer->menu(QStringLiteral("mnuHelp"))->menuAction()->isVisible());

    // Next stays full screen.
    QTest::keyClick(f.viewer->ImgX, Qt::Key_Space);
    EXPECT_TRUE(f.viewer->isFullScreenFlag());

    QTest::keyClick(f.viewer->ImgX, Qt::Key_F);
    EXPECT_FALSE(f.viewer->isFullScreenFlag());
    EXPECT_TRUE(f.viewer->toolBar()->isVisible());
    EXPECT_TRUE(f.viewer->windowTitle().isEmpty());
    // Back to the windowed geometry of the first entry (not the full-screen
    // one the Next re-entry had), 510 twips lower.
    const Twips t = Twips::forScreen();
    EXPECT_EQ(f.viewer->size(), before.size());
    EXPECT_EQ(f.viewer->geometry().left(), before.left());
    EXPECT_EQ(f.viewer->geometry().top(), t.toPixelsY(t.fromPixelsY(before.top()) + 510));
}

TEST(ViewerSettings, FreshProfileDefaultsAndRoundTrips)
{
    ViewerFixture f(/*fullScreenSetting=*/true); // nothing stored at all
    EXPECT_TRUE(f.viewer->ImgX->AntiAliasDisplay());
    EXPECT_TRUE(f.viewer->action(QStringLiteral("mnuAntiAliasDisplay"))->isChecked());
    EXPECT_EQ(f.viewer->slideTimer()->interval(), 2000);
    const QStringList list = f.images(2);
    int index = 0;
    f.viewer->ViewImage(list, index);
    EXPECT_TRUE(f.viewer->isFullScreenFlag()); // the first image shows full screen

    f.viewer->ToggleAntiAlias();
    EXPECT_EQ(stored(f, "AntiAlias"), QStringLiteral("0"));
    EXPECT_FALSE(f.viewer->action(QStringLiteral("mnuAntiAliasDisplay"))->isChecked());
    f.viewer->ToggleAntiAlias();
    EXPECT_EQ(stored(f, "AntiAlias"), QStringLiteral("-1"));

    for (const char *answer : {"1500", "abc", "", "70000", "2501.5"})
        f.prompter.inputs.push_back(QString::fromLatin1(answer));
    f.viewer->PromptSlideShowDelay();
    EXPECT_EQ(stored(f, "Slide Show Delay"), QStringLiteral("1500"));
    for (int i = 0; i < 3; ++i) {
        f.viewer->PromptSlideShowDelay(); // refused: nothing changes
        EXPECT_EQ(f.viewer->slideTimer()->interval(), 1500);
    }
    f.viewer->PromptSlideShowDelay();
    EXPECT_EQ(stored(f, "Slide Show Delay"), QStringLiteral("2502"));
    ASSERT_FALSE(f.prompter.asked.isEmpty());
    EXPECT_EQ(f.prompter.asked.first().title, QStringLiteral("Slide Show Delay"));
    EXPECT_EQ(f.prompter.asked.first().text,
              QStringLiteral("Delay in Milliseconds(1000=1 Second):"));

    f.viewer->close(); // saves the full-screen state it closed in
    EXPECT_EQ(stored(f, "FullScreen"), QStringLiteral("-1"));

    // A fresh viewer reads them back; a garbage delay loads as the default.
    f.registry->setValue(platform::RegistryRoot::LocalMachine,
                         QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings"),
                         QStringLiteral("FullScreen"), {QStringLiteral("0"), platform::RegSz});
    f.makeViewer();
    EXPECT_EQ(f.viewer->slideTimer()->interval(), 2502);
    EXPECT_FALSE(f.viewer->isFullScreenFlag());
    f.registry->setValue(
        platform::RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings"),
        QStringLiteral("Slide Show Delay"), {QStringLiteral("soon"), platform::RegSz});
    f.makeViewer();
    EXPECT_EQ(f.viewer->slideTimer()->interval(), 2000);
}

TEST(ViewerStatusBar, PanelsFollowEveryChange)
{
    ViewerFixture f;
    QStringList list = f.images(2, 800, 600);
    list << lumora::test::writeImage(f.dir, QStringLiteral("icon.ICO"), 32, 32, Qt::blue, "ico");
    int index = 0;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("1/3"));
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("img0.png"));
    EXPECT_TRUE(f.viewer->statusText(3).endsWith(QStringLiteral(" KB")) ||
                f.viewer->statusText(3).endsWith(QStringLiteral(" Bytes")));
    EXPECT_EQ(f.viewer->statusText(4),
              QStringLiteral("800x600x%1b png").arg(f.viewer->ImgX->document()->BitsPerPixel()));
    EXPECT_EQ(f.viewer->statusText(5), QStringLiteral("100 %"));
    f.viewer->ZoomIn();
    EXPECT_EQ(f.viewer->statusText(5), QStringLiteral("125 %"));

    index = 2;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(f.viewer->statusText(1), QStringLiteral("3/3"));
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("icon.ICO"));
    EXPECT_TRUE(f.viewer->statusText(4).isEmpty());

    f.viewer->removeListEntry(0);
    EXPECT_EQ(f.viewer->pathList(), (QStringList{list.at(1), list.at(2)}));
}

TEST(ViewerStatusBar, ANarrowWindowNeverLetsThePanelsRunIntoEachOther)
{
    ViewerFixture f;
    const QStringList list = f.images(1, 3000, 2000);
    int index = 0;
    f.viewer->ViewImage(list, index);
    QStatusBar *bar = f.viewer->statusBar();
    for (int width : {1000, 520, 380, 260}) {
        f.viewer->resize(width, 400);
        QCoreApplication::processEvents();
        bar->layout()->activate();
        SCOPED_TRACE(f.viewer->width());
        QList<QRect> shown;
        for (int p = 1; p <= 5; ++p) {
            auto *label = bar->findChild<QLabel *>(QStringLiteral("Panel%1").arg(p));
            ASSERT_NE(label, nullptr);
            if (!label->isVisible())
                continue;
            if (p != 2) { // the file name may give way; figures are read whole
                EXPECT_GE(label->width(), label->sizeHint().width()) << "panel " << p;
            }
            for (const QRect &other : shown)
                EXPECT_FALSE(other.intersects(label->geometry())) << "panel " << p;
            shown << label->geometry();
        }
        auto *zoom = bar->findChild<QLabel *>(QStringLiteral("Panel5"));
        EXPECT_TRUE(zoom->isVisible());
        EXPECT_LE(zoom->geometry().right(), bar->width());
    }
}

TEST(ViewerFullScreen, FirstImageOfAFreshProfileFitsTheScreenNotTheUnfittedWindow)
{
    ViewerFixture f(/*fullScreenSetting=*/true);
    const QRect screen = f.viewer->screen()->geometry();
    const QString big = lumora::test::writeImage(f.dir, QStringLiteral("big.png"),
                                                 screen.width() * 2, screen.height() * 2);
    int index = 0;
    f.viewer->ViewImage({big}, index);
    EXPECT_TRUE(f.viewer->isFullScreenFlag());
    EXPECT_NEAR(f.viewer->ImgX->Zoom(), 0.5, 1e-9);
    // Leaving full screen returns to a fitted window, not the default size.
    f.viewer->ToggleFullScreen();
    EXPECT_LE(f.viewer->width(), screen.width());
    EXPECT_GT(f.viewer->width(), 506); // wider than the smallest fitted window
}

// An unreadable file shows its own name and size and no figures, whether it
// is reached by Next or opened directly.
TEST(ViewerStatusBar, AnUnreadableFileReadsTheSameOnEveryRoute)
{
    ViewerFixture f;
    QStringList list = f.images(1, 2000, 50);
    list << f.dir.write(QStringLiteral("broken.jpg"), QByteArray(5000, 'x'));
    int index = 0;
    f.viewer->ViewImage(list, index);
    ASSERT_FALSE(f.viewer->statusText(4).isEmpty());
    f.viewer->ShowNextImage();
    ASSERT_EQ(f.viewer->currentIndex(), 1);
    const QStringList byNext = {f.viewer->statusText(1), f.viewer->statusText(2),
                                f.viewer->statusText(3), f.viewer->statusText(4)};
    EXPECT_EQ(byNext, (QStringList{"2/2", "broken.jpg", "4.9 KB", ""}));

    f.makeViewer();
    index = 1;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ((QStringList{f.viewer->statusText(1), f.viewer->statusText(2),
                           f.viewer->statusText(3), f.viewer->statusText(4)}),
              byNext);
}

// A JPEG cut short shows what could be read, and the status bar says the
// file is damaged, whether it is reached by Next (from the preloader) or
// opened directly; the intact picture before it reads as before.
TEST(ViewerStatusBar, ADamagedFileIsSaidToBeDamagedOnEveryRoute)
{
    ViewerFixture f;
    QStringList list = f.images(1, 400, 300);
    QImage photo(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x ^ y) * 3) % 256));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(photo.save(&buffer, "JPEG", 90));
    list << f.dir.write(QStringLiteral("cut.jpg"), jpeg.left(jpeg.size() / 2));
    int index = 0;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("img0.png"));
    f.viewer->ShowNextImage();
    ASSERT_EQ(f.viewer->currentIndex(), 1);
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("cut.jpg (damaged)"));
    EXPECT_EQ(f.viewer->statusText(4), QStringLiteral("320x240x24b jpg"));
    EXPECT_FALSE(f.viewer->ImgX->document()->damage().isEmpty());
    f.viewer->ShowPreviousImage();
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("img0.png"));

    f.makeViewer();
    index = 1;
    f.viewer->ViewImage(list, index);
    EXPECT_EQ(f.viewer->statusText(2), QStringLiteral("cut.jpg (damaged)"));
}
