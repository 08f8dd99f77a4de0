#include "viewer/modMain.h"

#include "dialogs/Prompter.h"
#include "imaging/ImageDocument.h"
#include "platform/ShellFolders.h"
#include "platform/Wallpaper.h"

#include <QFileInfo>

#include <array>

namespace lumora
{

namespace
{

struct SaveFormat {
    const char *extension;
    int code;
};

// Position in the save dialog's type list -> extension and format code.
constexpr std::array<SaveFormat, 10> kSaveFormats{{
    {"jpg", 1},
    {"png", 2},
    {"psd", 9},
    {"tif", 3},
    {"pcx", 4},
    {"tga", 5},
    {"wbmp", 10},
    {"bmp", 6},
    {"wmf", 7},
    {"emf", 8},
}};

const QString kImageTypes =
    QStringLiteral("JPG GIF BMP PNG PSD TIF PCX TGA WBMP PCD WMF EMF ICO CUR DIB");

const QString kHiddenTarget =
    QStringLiteral("this picture is hidden or system file.we can not put it as wallpaper");

} // namespace

QString GetSpecialFolderPath(int code)
{
    const QString folder = platform::specialFolderPath(code);
    if (folder.isEmpty())
        return {};
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString GetSaveFormat(int index, int &formatCode)
{
    if (index < 1 || index > int(kSaveFormats.size()))
        return {};
    const SaveFormat &f = kSaveFormats[std::size_t(index - 1)];
    formatCode = f.code;
    return QString::fromLatin1(f.extension);
}

bool IsSupportedImage(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString ext = name.mid(dot + 1).toLower();
    if (ext.isEmpty())
        return false;
    return kImageTypes.toLower().contains(ext);
}

QString GetWindowsFolder()
{
    const QString folder = platform::wallpaperFolder();
    if (folder.isEmpty())
        return {};
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool SetAsWallpaper(imaging::ImageDocument &doc, Prompter &prompter, QWidget *parent)
{
    const auto setter = platform::createWallpaperSetter();
    return SetAsWallpaper(doc, prompter, *setter, parent);
}

bool SetAsWallpaper(imaging::ImageDocument &doc, Prompter &prompter,
                    platform::WallpaperSetter &setter, QWidget *parent)
{
    if (doc.isEmpty() || doc.currentImage().isNull())
        return false;
    QString name = QFileInfo(doc.ImageFilePath()).fileName();
    // A picture that never came from a file (pasted, say) still gets a copy.
    if (name.isEmpty())
        name = QStringLiteral("wallpaper.bmp");

    const QString folder = GetWindowsFolder();
    if (folder.isEmpty()) {
        prompter.message(
            parent,
            QStringLiteral("The wallpaper folder cannot be created, so the picture cannot be "
                           "put as wallpaper."),
            Prompter::Icon::Warning);
        return false;
    }
    const QString target = folder + name;
    // The refusal protects an existing hidden copy; a name that starts with a
    // dot but is not there yet is written like any other.
    if (QFileInfo::exists(target) && platform::isHiddenFile(target)) {
        prompter.message(parent, kHiddenTarget, Prompter::Icon::None, Prompter::Buttons::Ok);
        return false;
    }

    QString error;
    if (!doc.SaveToFile(target, imaging::FormatCode::Bmp, 0, true, &error)) {
        prompter.message(
            parent,
            QStringLiteral("The picture could not be saved as the wallpaper copy \"%1\", so the "
                           "wallpaper was not changed.\n%2")
                .arg(target, error),
            Prompter::Icon::Warning);
        return false;
    }

    const platform::WallpaperResult set = setter.setWallpaper(target);
    if (!set.ok) {
        prompter.message(parent, set.error, Prompter::Icon::Warning);
        return false;
    }
    return true;
}

} // namespace lumora
