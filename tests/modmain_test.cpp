#include "viewer/modMain.h"

#include "imaging/Decoder.h"
#include "imaging/ImageDocument.h"
#include "imaging/ImageWriter.h"
#include "platform/Wallpaper.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ScriptedPrompter;
using lumora::test::TempDir;

namespace
{

// Sets an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QString &value) : m_name(name), m_old(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv()
    {
        if (m_old.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, m_old);
    }

private:
    const char *m_name;
    QByteArray m_old;
};

// Stands in for the desktop: remembers what it was asked to show.
class RecordingSetter : public platform::WallpaperSetter
{
public:
    Result<> answer;
    QStringList shown;
    Result<> setWallpaper(const QString &imagePath) override
    {
        shown.push_back(imagePath);
        return answer;
    }
};

QImage filled(int w, int h, QColor color)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    return img;
}

QImage readBmp(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.peek(2) != "BM")
        return {};
    QImageReader reader(&f, "bmp");
    return reader.read();
}

const QString kRefusal =
    QStringLiteral("this picture is hidden or system file.we can not put it as wallpaper");

class WallpaperTest : public testing::Test
{
protected:
    TempDir data;
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path()};
    imaging::ImageDocument doc;
    ScriptedPrompter prompter;
    RecordingSetter setter;

    QString folder() const { return data.path() + QStringLiteral("/lumora/wallpaper/"); }
    void show(const QImage &img, const QString &source)
    {
        doc.adopt({img}, imaging::FormatCode::Jpeg, 24, source);
    }
};

} // namespace

// Every entry of the save dialog must write what it promises: the entry's
// pattern, the extension handed back and the bytes written all name one format.
TEST(ModMain, EverySaveEntryWritesTheFormatItNames)
{
    int code = 42;
    EXPECT_EQ(GetSaveFormat(3, code), QStringLiteral("psd"));
    EXPECT_EQ(code, 9); // the numbers the status bar and the save table share

    const QStringList filter = saveDialogFilter().split(QLatin1Char('|'));
    ASSERT_EQ(filter.size(), 20);
    QImage picture(5, 3, QImage::Format_RGB32);
    picture.fill(qRgb(200, 40, 90));
    for (int i = 1; i <= 10; ++i) {
        const QString ext = GetSaveFormat(i, code);
        SCOPED_TRACE(ext.toStdString());
        EXPECT_EQ(filter[2 * i - 1], QStringLiteral("*.") + ext);
        EXPECT_TRUE(
            filter[2 * i - 2].contains(QLatin1Char('<') + ext.toUpper() + QLatin1Char('>')));
        QString error;
        const QByteArray bytes =
            imaging::encodeImage(picture, imaging::FormatCode(code), {}, &error);
        ASSERT_FALSE(bytes.isEmpty()) << error.toStdString();
        EXPECT_EQ(imaging::detectFormat(bytes, QStringLiteral("x.") + ext),
                  imaging::FormatCode(code));
    }
    code = 42;
    EXPECT_EQ(GetSaveFormat(0, code), QString());
    EXPECT_EQ(GetSaveFormat(11, code), QString());
    EXPECT_EQ(GetSaveFormat(-1, code), QString());
    EXPECT_EQ(code, 42);
}

TEST(ModMain, SupportedImageIsASubstringTestOfTheExtension)
{
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/README")));
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/trailing.")));
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics.d/noext")));
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/HOLIDAY.JPG")));
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/pointer.cur")));
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/old.Dib")));
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/fragment.mp"))); // inside "bmp"
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/photo.jpeg")));
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/notes.txt")));
    // Today's formats, dropped on the viewer, by whole extension only.
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/phone.HEIC")));
    EXPECT_TRUE(IsSupportedImage(QStringLiteral("/pics/camera.nef")));
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/film.avi")));
    EXPECT_FALSE(IsSupportedImage(QStringLiteral("/pics/page.web")));
}

TEST(ModMain, SpecialFolderIsTheDesktopWithATrailingSlash)
{
    TempDir dir;
    const QString desktop = dir.mkdir(QStringLiteral("My Desktop"));
    dir.write(QStringLiteral("cfg/user-dirs.dirs"),
              QByteArray("XDG_DESKTOP_DIR=\"") + QFile::encodeName(desktop) + "\"\n");
    ScopedEnv cfg("XDG_CONFIG_HOME", dir.file(QStringLiteral("cfg")));
    EXPECT_EQ(GetSpecialFolderPath(0), desktop + QLatin1Char('/'));
    EXPECT_EQ(GetSpecialFolderPath(12345), QString());

    QDir(desktop).removeRecursively();
    EXPECT_EQ(GetSpecialFolderPath(0), QString());
}

TEST(ModMain, WindowsFolderHasExactlyOneTrailingSlashAndExists)
{
    TempDir dir;
    ScopedEnv dataHome("XDG_DATA_HOME", dir.path() + QLatin1Char('/'));
    const QString folder = GetWindowsFolder();
    EXPECT_EQ(folder, dir.path() + QStringLiteral("/lumora/wallpaper/"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(WallpaperTest, CopyIsBmpDataUnderTheSourceNameAndIsShown)
{
    show(filled(40, 30, Qt::red), QStringLiteral("/elsewhere/holiday photo.jpg"));
    ASSERT_TRUE(SetAsWallpaper(doc, prompter, setter));
    const QString target = folder() + QStringLiteral("holiday photo.jpg");
    EXPECT_EQ(setter.shown, QStringList{target});
    EXPECT_TRUE(prompter.asked.isEmpty());
    const QImage copy = readBmp(target);
    ASSERT_FALSE(copy.isNull()) << "no BMP data at " << target.toStdString();
    EXPECT_EQ(copy.size(), QSize(40, 30));
    EXPECT_EQ(QColor(copy.pixel(5, 5)), QColor(Qt::red));

    // The same name again replaces the earlier copy.
    show(filled(20, 10, Qt::blue), QStringLiteral("/other/holiday photo.jpg"));
    ASSERT_TRUE(SetAsWallpaper(doc, prompter, setter));
    const QImage second = readBmp(target);
    EXPECT_EQ(second.size(), QSize(20, 10));
    EXPECT_EQ(QColor(second.pixel(1, 1)), QColor(Qt::blue));
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("holiday photo.jpg")});
}

TEST_F(WallpaperTest, NothingHappensWithoutACurrentImage)
{
    EXPECT_FALSE(SetAsWallpaper(doc, prompter, setter));
    EXPECT_TRUE(setter.shown.isEmpty());
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(WallpaperTest, HiddenTargetIsRefusedWithTheMessage)
{
    // A dot-named copy that is not there yet is written like any other.
    show(filled(8, 8, Qt::green), QStringLiteral("/src/.secret.png"));
    ASSERT_TRUE(SetAsWallpaper(doc, prompter, setter));
    EXPECT_TRUE(prompter.asked.isEmpty());
    EXPECT_EQ(readBmp(folder() + QStringLiteral(".secret.png")).size(), QSize(8, 8));
    EXPECT_EQ(setter.shown, QStringList{folder() + QStringLiteral(".secret.png")});

    // Once it exists it is a hidden file, and is refused and left alone.
    show(filled(5, 5, Qt::red), QStringLiteral("/src/.secret.png"));
    EXPECT_FALSE(SetAsWallpaper(doc, prompter, setter));
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, kRefusal);
    EXPECT_EQ(prompter.asked[0].icon, Prompter::Icon::None);
    EXPECT_EQ(prompter.asked[0].buttons, Prompter::Buttons::Ok);
    EXPECT_TRUE(prompter.asked[0].title.isEmpty());
    EXPECT_EQ(readBmp(folder() + QStringLiteral(".secret.png")).size(), QSize(8, 8));

    // Marked hidden by the user in the folder's .hidden list.
    QDir().mkpath(folder());
    const QImage before = filled(3, 3, Qt::white);
    before.save(folder() + QStringLiteral("listed.jpg"), "bmp");
    QFile list(folder() + QStringLiteral(".hidden"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("other.png\nlisted.jpg\n");
    list.close();
    show(filled(8, 8, Qt::green), QStringLiteral("/src/listed.jpg"));
    EXPECT_FALSE(SetAsWallpaper(doc, prompter, setter));
    ASSERT_EQ(prompter.asked.size(), 2);
    EXPECT_EQ(prompter.asked[1].text, kRefusal);
    EXPECT_EQ(readBmp(folder() + QStringLiteral("listed.jpg")).size(), QSize(3, 3))
        << "the hidden file was touched";
    EXPECT_EQ(setter.shown.size(), 1);
}

TEST_F(WallpaperTest, FailedSaveIsReportedAndTheWallpaperStays)
{
    // A folder where the copy should go cannot be replaced by a file.
    QDir().mkpath(folder() + QStringLiteral("photo.jpg"));
    show(filled(8, 8, Qt::green), QStringLiteral("/src/photo.jpg"));
    EXPECT_FALSE(SetAsWallpaper(doc, prompter, setter));
    EXPECT_TRUE(setter.shown.isEmpty());
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_TRUE(prompter.asked[0].text.contains(QStringLiteral("could not be saved")))
        << prompter.asked[0].text.toStdString();
    EXPECT_NE(prompter.asked[0].text, kRefusal);
}

TEST_F(WallpaperTest, DesktopThatCannotBeToldIsReported)
{
    setter.answer = fail(QStringLiteral("The wallpaper of this desktop (LXDE) cannot be set."));
    show(filled(8, 8, Qt::green), QStringLiteral("/src/photo.jpg"));
    EXPECT_FALSE(SetAsWallpaper(doc, prompter, setter));
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, setter.answer.error());
    EXPECT_EQ(prompter.asked[0].icon, Prompter::Icon::Warning);
}
