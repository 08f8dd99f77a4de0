#include "app/NamedFile.h"
#include "support/TempDir.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

struct Folder {
    test::TempDir dir;
    QStringList list; // as the folder's image list spells it

    explicit Folder(const QStringList &names)
    {
        for (const QString &n : names) {
            dir.write(n, QByteArray("x"));
            list << dir.file(n);
        }
    }
};

} // namespace

TEST(NamedFile, AFileTheListLacksGoesToItsPlaceInNameOrder)
{
    Folder f({"img2.jpg", "img10.jpg", "zz.png"});
    f.dir.write("img3.jpeg", QByteArray("x"));
    QStringList list = f.list;
    EXPECT_EQ(placeNamedFile(list, f.dir.file("img3.jpeg")), 1);
    EXPECT_EQ(list, (QStringList{f.list[0], f.dir.file("img3.jpeg"), f.list[1], f.list[2]}));

    f.dir.write("A.cur", QByteArray("x"));
    f.dir.write("zzz.cur", QByteArray("x"));
    list = f.list;
    EXPECT_EQ(placeNamedFile(list, f.dir.file("A.cur")), 0);
    EXPECT_EQ(list.first(), f.dir.file("A.cur"));
    list = f.list;
    EXPECT_EQ(placeNamedFile(list, f.dir.file("zzz.cur")), 3);
    EXPECT_EQ(list.last(), f.dir.file("zzz.cur"));

    QStringList empty;
    EXPECT_EQ(placeNamedFile(empty, f.dir.file("A.cur")), 0);
    EXPECT_EQ(empty, QStringList{f.dir.file("A.cur")});
}

TEST(NamedFile, TheSameFileSpelledOtherwiseIsNotAddedTwice)
{
    Folder f({"a.png", "b.png", "c.png"});
    f.dir.mkdir("sub");
    ASSERT_TRUE(QFile::link(f.dir.path(), f.dir.file("alias")));
    for (const QString &spelling :
         {f.dir.file("sub/../b.png"), f.dir.file("alias/b.png"), f.dir.path() + "//b.png"}) {
        QStringList list = f.list;
        EXPECT_EQ(placeNamedFile(list, spelling), 1) << spelling.toStdString();
        EXPECT_EQ(list, f.list) << spelling.toStdString();
    }
    QStringList list = f.list;
    EXPECT_EQ(placeNamedFile(list, f.list[2]), 2); // the listing's own spelling
}

TEST(NamedFile, AFolderOrAMissingFileNamesNoEntry)
{
    Folder f({"a.png", "b.png"});
    f.dir.mkdir("m.png");
    QStringList list = f.list;
    EXPECT_EQ(placeNamedFile(list, f.dir.file("m.png")), 0);
    EXPECT_EQ(placeNamedFile(list, f.dir.file("gone.png")), 0);
    EXPECT_EQ(list, f.list);
}
