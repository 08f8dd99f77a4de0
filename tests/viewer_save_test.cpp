// Save As in the viewer, driven through the scripted prompts: which file type
// the dialog offers, which format is written, and that a failure is told.
#include "imaging/Decoder.h"
#include "imaging/ImageDocument.h"
#include "imaging_samples.h"
#include "support/AnimatedGif.h"
#include "support/PixelCompare.h"
#include "support/QtPrinters.h"
#include "support/ViewerFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace lumora;
using namespace lumora::test;
using imaging::FormatCode;

namespace
{

const char kFilter[] =
    "Joint Photographic Experts Group  <JPG>|*.jpg|Portable Network Graphics  <PNG>|*.png|"
    "Photoshop  <PSD>|*.psd|Tagged Image File  <TIF>|*.tif|ZSoft PaintBrush  <PCX>|*.pcx|"
    "Truevision Targa  <TGA>|*.tga|Wireless Bitmap  <WBMP>|*.wbmp|Windows Bitmap  <BMP>|*.bmp|"
    "Windows Metafile  <WMF>|*.wmf|Windows Enhanced Metafile  <EMF>|*.emf";

Prompter::FileChoice choose(const QString &folder, const QString &name, int filterIndex)
{
    Prompter::FileChoice c;
    c.folder = folder.endsWith('/') ? folder : folder + '/';
    c.fileNames = {name};
    c.filterIndex = filterIndex;
    return c;
}

void show(ViewerFixture &f, const QString &path)
{
    int index = 0;
    f.viewer->ViewImage({path}, index);
    ASSERT_FALSE(f.viewer->ImgX->document()->isEmpty()) << path.toStdString();
}

// Opens Save As, answering the dialog with `answer`; returns what was asked.
Prompter::SaveRequest saveAs(ViewerFixture &f, std::optional<Prompter::FileChoice> answer)
{
    f.prompter.files.push_back(std::move(answer));
    const qsizetype before = f.prompter.saveRequests.size();
    f.viewer->action(QStringLiteral("mnuSaveAs"))->trigger();
    if (f.prompter.saveRequests.size() != before + 1) {
        ADD_FAILURE() << "Save As did not open the dialog";
        f.prompter.files.pop_back();
        return {};
    }
    return f.prompter.saveRequests.back();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(ViewerSaveAs, JpegOffersTheJpegEntryAndBmpChoiceWritesBmp)
{
    ViewerFixture f;
    const QString jpg = writeFile(f.dir.file("photo.jpg"), encodeWithQt(quadrants(40, 30), "jpeg"));
    show(f, jpg);
    const QString caption = f.viewer->windowTitle();

    const QString out = f.dir.mkdir("out");
    const Prompter::SaveRequest asked = saveAs(f, choose(out, "copy.bmp", 8));
    EXPECT_EQ(asked.filter, QString::fromLatin1(kFilter));
    EXPECT_EQ(asked.filterIndex, 1);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("jpg"));
    EXPECT_TRUE(asked.confirmOverwrite);
    EXPECT_EQ(asked.initialPath, f.dir.file("photo.jpg")); // next to the image
    EXPECT_EQ(f.viewer->Dialog.Flags, 8388614u);
    EXPECT_EQ(f.viewer->Dialog.Mode, 0);

    // The BMP entry decides the format, whatever the name says.
    const imaging::DecodedImage written = imaging::decodeFile(out + "/copy.bmp");
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(written.format, FormatCode::Bmp);
    EXPECT_TRUE(hasQuadrants(written.pages.front(), 24)); // a small JPEG's colours
    EXPECT_EQ(filesIn(out), QStringList{"copy.bmp"});

    // The viewer goes on showing the same file.
    EXPECT_EQ(f.viewer->windowTitle(), caption);
    EXPECT_EQ(f.viewer->pathList(), QStringList{jpg});
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), jpg);
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFormat(), FormatCode::Jpeg);

    // The name is used exactly as returned: nothing is appended.
    saveAs(f, choose(out, "noextension", 2));
    EXPECT_EQ(imaging::decodeFile(out + "/noextension").format, FormatCode::Png);
    EXPECT_TRUE(f.prompter.asked.size() == 2); // two dialogs, no message
}

TEST(ViewerSaveAs, OwnFormatIsPreselectedForPsdAndEmf)
{
    ViewerFixture f;
    const QString psd =
        writeFile(f.dir.file("layers.psd"), encodeWithMagick(quadrants(20, 20), "PSD"));
    show(f, psd);
    Prompter::SaveRequest asked = saveAs(f, std::nullopt);
    EXPECT_EQ(asked.filterIndex, 3);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("psd"));

    const QString emf = f.dir.file("drawing.emf");
    QFile::copy(QStringLiteral(LUMORA_TEST_DATA "/bitmap.emf"), emf);
    show(f, emf);
    asked = saveAs(f, std::nullopt);
    EXPECT_EQ(asked.filterIndex, 10);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("emf"));
}

TEST(ViewerSaveAs, GifAndIconKeepTheEntryUsedLast)
{
    ViewerFixture f;
    const QString gif =
        writeFile(f.dir.file("anim.gif"), encodeWithMagick(quadrants(16, 16), "GIF"));
    const QString ico = writeFile(f.dir.file("app.ico"), encodeWithQt(quadrants(32, 32), "ico"));
    const QString jpg = writeFile(f.dir.file("photo.jpg"), encodeWithQt(quadrants(16, 16), "jpeg"));

    // Before any choice: PNG, which holds a GIF's or icon's transparency.
    show(f, gif);
    Prompter::SaveRequest asked = saveAs(f, std::nullopt);
    EXPECT_EQ(asked.filterIndex, 2);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("png"));

    // A JPEG saved as TGA: the TGA entry is what GIF and ICO get next.
    show(f, jpg);
    saveAs(f, choose(f.dir.path(), "photo.tga", 6));
    ASSERT_EQ(imaging::decodeFile(f.dir.file("photo.tga")).format, FormatCode::Tga);
    show(f, gif);
    asked = saveAs(f, std::nullopt);
    EXPECT_EQ(asked.filterIndex, 6);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("tga"));
    EXPECT_EQ(asked.initialPath, f.dir.file("anim.tga"));
    // A cancelled dialog changes nothing, so the icon still gets TGA.
    show(f, ico);
    asked = saveAs(f, std::nullopt);
    EXPECT_EQ(asked.filterIndex, 6);
}

TEST(ViewerSaveAs, CancelWritesNothing)
{
    ViewerFixture f;
    const QStringList list = f.images(2);
    int index = 1;
    f.viewer->ViewImage(list, index);
    const QStringList before = filesIn(f.dir.path());
    saveAs(f, std::nullopt);
    EXPECT_EQ(filesIn(f.dir.path()), before);
    EXPECT_EQ(f.viewer->currentIndex(), 1);
    for (const auto &a : f.prompter.asked)
        EXPECT_NE(a.kind, QStringLiteral("message"));
}

TEST(ViewerSaveAs, SavesThePageShownAsItIsShown)
{
    ViewerFixture f;
    const QImage first = quadrants(30, 20);
    QImage second(30, 20, QImage::Format_RGB32);
    second.fill(qRgb(10, 200, 90));
    const QString tif = writeFile(f.dir.file("pages.tif"), multiPageTiff({first, second}));
    show(f, tif);
    ASSERT_EQ(f.viewer->ImgX->document()->ImageCount(), 2);
    f.viewer->ImgX->document()->SetCurrentImage(1);
    saveAs(f, choose(f.dir.path(), "page2.png", 2));
    const imaging::DecodedImage page2 = imaging::decodeFile(f.dir.file("page2.png"));
    ASSERT_TRUE(page2.ok());
    EXPECT_EQ(comparePixels(second, page2.pages.front()).maxDiff, 0);

    // Turned a quarter on screen, turned in the file.
    f.viewer->ImgX->document()->SetCurrentImage(0);
    f.viewer->RotatePlus90();
    saveAs(f, choose(f.dir.path(), "turned.png", 2));
    const imaging::DecodedImage turned = imaging::decodeFile(f.dir.file("turned.png"));
    ASSERT_TRUE(turned.ok());
    EXPECT_EQ(turned.pages.front().size(), QSize(20, 30));
    EXPECT_EQ(
        comparePixels(f.viewer->ImgX->document()->currentImage(), turned.pages.front()).maxDiff, 0);
}

TEST(ViewerSaveAs, FailedSaveTellsWhyAndKeepsTheOldFile)
{
    ViewerFixture f;
    // Noise: a PNG of it is far larger than the file-size limit set below.
    QImage noisy(300, 300, QImage::Format_RGB32);
    quint32 seed = 7;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x) {
            seed = seed * 1664525u + 1013904223u;
            noisy.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    const QString source = f.dir.file("noise.png");
    ASSERT_TRUE(noisy.save(source));
    show(f, source);
    const QString existing = f.dir.write("existing.png", "old picture");

    struct rlimit saved {
    };
    getrlimit(RLIMIT_FSIZE, &saved);
    auto *previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 32 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    saveAs(f, choose(f.dir.path(), "existing.png", 2));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QFile old(existing);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old picture"));
    ASSERT_EQ(f.prompter.asked.size(), 2);
    const ScriptedPrompter::Asked &box = f.prompter.asked.back();
    EXPECT_EQ(box.kind, QStringLiteral("message"));
    EXPECT_TRUE(box.title.isEmpty()) << "a box without a title of its own shows \"Lumora\"";
    EXPECT_EQ(box.icon, Prompter::Icon::Critical);
    EXPECT_TRUE(box.text.contains(existing)) << box.text.toStdString();
    EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), source);

    // A folder that has gone away names the reason too.
    saveAs(f, choose(f.dir.file("gone"), "x.png", 2));
    EXPECT_TRUE(f.prompter.asked.back().text.contains("does not exist"));
}

TEST(ViewerSaveAs, EncryptedImageWarnsBeforeALossyFormatAndSurvivesALosslessOne)
{
    ViewerFixture f;
    const QImage plain = quadrants(24, 16);
    const QString png = writeFile(f.dir.file("secret.png"), encodeWithQt(plain, "png"));
    show(f, png);
    imaging::ImageDocument *doc = f.viewer->ImgX->document();
    ASSERT_TRUE(doc->EncryptImage(QStringLiteral("k e y")).ok());
    ASSERT_TRUE(doc->isEncrypted());
    const QString out = f.dir.mkdir("out");

    // JPEG: the user is warned and saying No writes nothing.
    f.prompter.answers.push_back(Prompter::Answer::No);
    saveAs(f, choose(out, "lost.jpg", 1));
    ASSERT_FALSE(f.prompter.asked.isEmpty());
    const auto warning = f.prompter.asked.back();
    EXPECT_EQ(warning.kind, QStringLiteral("message"));
    EXPECT_EQ(warning.buttons, Prompter::Buttons::YesNoDefaultNo);
    EXPECT_EQ(warning.icon, Prompter::Icon::Warning);
    EXPECT_TRUE(warning.text.contains(QStringLiteral("never be decrypted")))
        << warning.text.toStdString();
    EXPECT_TRUE(filesIn(out).isEmpty());

    // Yes saves it all the same; WBMP is warned about too.
    f.prompter.answers.push_back(Prompter::Answer::Yes);
    saveAs(f, choose(out, "lost.jpg", 1));
    EXPECT_EQ(filesIn(out), QStringList{"lost.jpg"});
    const qsizetype asked = f.prompter.asked.size();
    f.prompter.answers.push_back(Prompter::Answer::No);
    saveAs(f, choose(out, "lost.wbmp", 7));
    EXPECT_EQ(f.prompter.asked.size(), asked + 2);

    // PNG keeps it without a question, and the copy opens back to the
    // original pixels under the same key.
    saveAs(f, choose(out, "kept.png", 2));
    EXPECT_EQ(f.prompter.asked.size(), asked + 3); // only the dialog
    show(f, out + "/kept.png");
    doc = f.viewer->ImgX->document();
    ASSERT_TRUE(doc->isEncrypted());
    ASSERT_TRUE(doc->DecryptImage(QStringLiteral("k e y")).ok());
    EXPECT_EQ(comparePixels(plain, doc->currentImage()).maxDiff, 0);
}

// An animation stands still while Save As is open, and the frame on screen
// when it opened is the one written; it plays on afterwards. The slide
// show's prompts hold it the same way.
TEST(ViewerSaveAs, AnimationHoldsUnderThePromptAndTheShownFrameIsWritten)
{
    ViewerFixture f;
    const QString gif = f.dir.file("anim.gif");
    ASSERT_TRUE(writeAnimatedGif(gif, {Qt::red, Qt::green, Qt::blue, Qt::yellow}, 3));
    show(f, gif);
    imaging::ImageDocument *doc = f.viewer->ImgX->document();
    ASSERT_TRUE(doc->isAnimation());
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() == 2; }, 3000));

    int openedOn = -1;
    bool moved = false;
    f.prompter.duringPrompt = [&](const ScriptedPrompter::Asked &) {
        openedOn = doc->currentIndex();
        QTest::qWait(250); // several frames of 30 ms
        moved = doc->currentIndex() != openedOn;
    };
    saveAs(f, choose(f.dir.path(), "frame.png", 2));
    ASSERT_GE(openedOn, 0);
    EXPECT_FALSE(moved);
    const imaging::DecodedImage saved = imaging::decodeFile(f.dir.file("frame.png"));
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    EXPECT_EQ(saved.pages.size(), 1);
    EXPECT_EQ(comparePixels(doc->ImageItem(openedOn), saved.pages.front()).maxDiff, 0);
    EXPECT_EQ(comparePixels(doc->ImageItem((openedOn + 1) % 4), saved.pages.front()).maxDiff, 255);

    f.prompter.duringPrompt = {};
    const int after = doc->currentIndex();
    EXPECT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() != after; }, 3000));

    // Held by hand as a command that works between prompts does.
    {
        auto hold = f.viewer->pauseSlideShow();
        const int held = doc->currentIndex();
        QTest::qWait(200);
        EXPECT_EQ(doc->currentIndex(), held);
    }
    const int released = doc->currentIndex();
    EXPECT_TRUE(QTest::qWaitFor([&] { return doc->currentIndex() != released; }, 3000));
}
