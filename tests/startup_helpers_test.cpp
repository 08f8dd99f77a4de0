#include "app/StartupHelpers.h"
#include "explorer/ExtensionFilter.h"
#include "explorer/ExtensionFilterSetting.h"
#include "platform/SqliteRegistryStore.h"
#include "settings/CRegister.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"
#include "viewer/TypeRule.h"

#include <QFile>
#include <QWidget>
#include <gtest/gtest.h>

using namespace lumora;

TEST(CommandLine, ArgumentsJoinedBySingleBlanks)
{
    EXPECT_EQ(commandLineText({QStringLiteral("lumora")}), QString());
    EXPECT_EQ(commandLineText({QStringLiteral("lumora"), QStringLiteral("/tmp/my"),
                               QStringLiteral("photo.jpg")}),
              QStringLiteral("/tmp/my photo.jpg"));
}

TEST(PathExists, FilesFoldersPatternsAndNothing)
{
    test::TempDir dir;
    const QString f = dir.write(QStringLiteral("café x.jpg"));
    const QString d = dir.mkdir(QStringLiteral("sub"));
    EXPECT_TRUE(PathExists(f));
    EXPECT_TRUE(PathExists(d));
    EXPECT_TRUE(PathExists(QStringLiteral("/")));
    EXPECT_TRUE(PathExists(dir.file(QStringLiteral("*.jpg"))));
    EXPECT_FALSE(PathExists(dir.file(QStringLiteral("*.png"))));
    EXPECT_FALSE(PathExists(QString()));
    EXPECT_FALSE(PathExists(dir.file(QStringLiteral("missing.jpg"))));
    // Quotation marks stay part of the text, so a quoted path names nothing.
    EXPECT_FALSE(PathExists(QLatin1Char('"') + f + QLatin1Char('"')));
}

TEST(FindImageIndex, ExactCaseSensitiveElseZero)
{
    const QStringList list = {QStringLiteral("/a/x.jpg"), QStringLiteral("/a/y.jpg"),
                              QStringLiteral("/a/y.jpg")};
    EXPECT_EQ(FindImageIndex(list, QStringLiteral("/a/y.jpg")), 1);
    EXPECT_EQ(FindImageIndex(list, QStringLiteral("/a/Y.jpg")), 0);
    EXPECT_EQ(FindImageIndex({}, QStringLiteral("/a/y.jpg")), 0);
}

TEST(ParentFolder, Forms)
{
    EXPECT_EQ(GetParentFolderName(QStringLiteral("/a/b/c.jpg")), QStringLiteral("/a/b"));
    EXPECT_EQ(GetParentFolderName(QStringLiteral("/a/b/")), QStringLiteral("/a"));
    EXPECT_EQ(GetParentFolderName(QStringLiteral("/c.jpg")), QStringLiteral("/"));
    EXPECT_EQ(GetParentFolderName(QStringLiteral("c.jpg")), QString());
}

TEST(TypeRule, PictureRouteBySubstring)
{
    EXPECT_FALSE(takesPictureRoute(QStringLiteral("/p/photo.JPG")));
    EXPECT_TRUE(takesPictureRoute(QStringLiteral("/p/icon.ICO")));
    EXPECT_TRUE(takesPictureRoute(QStringLiteral("/p/a.cur")));
    EXPECT_TRUE(takesPictureRoute(QStringLiteral("/p/b.dib")));
    EXPECT_TRUE(takesPictureRoute(QStringLiteral("/p/noext")));
    EXPECT_TRUE(takesPictureRoute(QStringLiteral("/p/x.b")));
    EXPECT_FALSE(takesPictureRoute(QStringLiteral("/p.ico/x.png")));
    EXPECT_EQ(viewerCaption(QStringLiteral("/p/photo.jpg")),
              QStringLiteral("photo.jpg- Lumora 2.1"));
}

TEST(ExtensionFilter, SubstringTestAndImageList)
{
    ExtensionFilter ext;
    EXPECT_FALSE(ext.SetExt(QString()));
    ASSERT_TRUE(ext.SetExt(QString::fromLatin1(kExplorerExtensions)));
    test::TempDir dir;
    for (const char *name : {"a.JPG", "b.Wbmp", "c.jpeg", "d.tiff", "e.jp", "f", "img10.png",
                             "img2.png", ".hidden.gif", "x.wbm"})
        dir.write(QString::fromLatin1(name));
    dir.mkdir(QStringLiteral("g.jpg"));

    QString folder = dir.path();
    const QStringList list = ext.GetImageList(folder);
    EXPECT_EQ(folder, dir.path() + QLatin1Char('/'));
    const QStringList expected = {
        folder + QStringLiteral(".hidden.gif"), folder + QStringLiteral("a.JPG"),
        folder + QStringLiteral("b.Wbmp"),      folder + QStringLiteral("img2.png"),
        folder + QStringLiteral("img10.png"),   folder + QStringLiteral("x.wbm")};
    EXPECT_EQ(list, expected);

    QString withSlash = dir.path() + QLatin1Char('/');
    EXPECT_EQ(ext.GetImageList(withSlash), list);

    QString missing = dir.file(QStringLiteral("nope"));
    EXPECT_TRUE(ext.GetImageList(missing).isEmpty());

    // A second list takes effect at once.
    ext.SetExt(QStringLiteral("png"));
    folder = dir.path();
    EXPECT_EQ(ext.GetImageList(folder).size(), 2);
}

// Today's formats come as whole extensions on top of the start-up list,
// whose substring rule stays as it was; the setting's 0 gives the old list.
TEST(ExtensionFilter, TodaysFormatsMatchAsWholeExtensionsBehindTheirSetting)
{
    ExtensionFilter ext;
    ASSERT_TRUE(ext.SetExt(QString::fromLatin1(kExplorerExtensions)));
    EXPECT_TRUE(ext.moreTypes()); // on unless the setting says otherwise
    struct Name {
        const char *name;
        bool withMore;
        bool withoutMore;
    };
    const Name names[] = {
        {"a.heic", true, false},
        {"a.HEIF", true, false},
        {"a.avif", true, false},
        {"a.jxl", true, false},
        {"a.WebP", true, false},
        {"a.cr2", true, false},
        {"a.NEF", true, false},
        {"a.arw", true, false},
        {"a.dng", true, false},
        {"a.orf", true, false},
        {"a.raf", true, false},
        {"a.rw2", true, false},
        {"a.pef", true, false},
        {"a.srw", true, false},
        // Never by substring: "avif" holds "avi", "webp" holds "web".
        {"film.avi", false, false},
        {"page.web", false, false},
        {"a.hei", false, false},
        {"a.heicx", false, false},
        {"a.jx", false, false},
        {"a.webpx", false, false},
        {"a.dn", false, false},
        {"a.heic.txt", false, false},
        // The start-up list and its substring rule, untouched.
        {"c.jpeg", false, false},
        {"d.tiff", false, false},
        {"a.jpg", true, true},
        {"x.wbm", true, true},
        {"/p.webp/x.gif", true, true},
        {"/p.webp/x", false, false},
    };
    for (const bool more : {true, false}) {
        ext.setMoreTypes(more);
        for (const Name &n : names)
            EXPECT_EQ(ext.IsImageFile(QString::fromLatin1(n.name)),
                      more ? n.withMore : n.withoutMore)
                << n.name << (more ? " with" : " without") << " more types";
    }

    test::TempDir dir;
    for (const char *name : {"a.jpg", "b.heic", "c.avi", "d.NEF", "e.webp"})
        dir.write(QString::fromLatin1(name));
    const QString folder = dir.path() + QLatin1Char('/');
    QString listed = folder;
    ext.setMoreTypes(true);
    EXPECT_EQ(ext.GetImageList(listed),
              (QStringList{folder + QStringLiteral("a.jpg"), folder + QStringLiteral("b.heic"),
                           folder + QStringLiteral("d.NEF"), folder + QStringLiteral("e.webp")}));
    ext.setMoreTypes(false);
    EXPECT_EQ(ext.GetImageList(listed), QStringList{folder + QStringLiteral("a.jpg")});
}

TEST(ExtensionFilter, MoreImageTypesIsOnUnlessTheStoredValueSaysZero)
{
    test::TempDir dir;
    platform::SqliteRegistryStore store(dir.file("registry.db"));
    settings::CRegister reg(store);
    const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\");
    EXPECT_TRUE(moreImageTypesListed(nullptr));
    EXPECT_TRUE(moreImageTypesListed(&store));
    ASSERT_TRUE(reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, key,
                                   QStringLiteral("More Image Types"), QStringLiteral("0")));
    EXPECT_FALSE(moreImageTypesListed(&store));
    ASSERT_TRUE(reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, key,
                                   QStringLiteral("More Image Types"), QStringLiteral("1")));
    EXPECT_TRUE(moreImageTypesListed(&store));
}

TEST(FindWin, SubstringOfThisProgramsWindowTitles)
{
    QWidget a, b;
    a.setWindowTitle(QStringLiteral("photo.jpg- Lumora 2.1"));
    b.setWindowTitle(QStringLiteral("Lumora"));
    EXPECT_EQ(FindWin(QStringLiteral("photo.jpg")), quintptr(a.winId()));
    EXPECT_EQ(FindWin(QStringLiteral("nothing like it")), quintptr(0));
    EXPECT_EQ(FindWin(QStringLiteral("lumora")), quintptr(0)); // case-sensitive
    EXPECT_NE(FindWin(QString()), quintptr(0));                // empty text: the first window
}
