#include "viewer/modMain.h"

#include "dialogs/Prompter.h"
#include "imaging/Codec.h"
#include "imaging/ImageDocument.h"
#include "imaging/PhotoCodecs.h"
#include "platform/ShellFolders.h"
#include "platform/Wallpaper.h"

#include <QFileInfo>

#include <array>

namespace lumora
{

namespace
{

// The save dialog's file types, in the order the dialog lists them.
constexpr std::array kSaveOrder{
    imaging::FormatCode::Jpeg, imaging::FormatCode::Png, imaging::FormatCode::Psd,
    imaging::FormatCode::Tiff, imaging::FormatCode::Pcx, imaging::FormatCode::Tga,
    imaging::FormatCode::Wbmp, imaging::FormatCode::Bmp, imaging::FormatCode::Wmf,
    imaging::FormatCode::Emf,
};

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
    if (index < 1 || index > int(kSaveOrder.size()))
        return {};
    const imaging::FormatCode code = kSaveOrder[std::size_t(index - 1)];
    formatCode = int(code);
    return QString::fromLatin1(imaging::formatShortName(code));
}

QString saveDialogFilter()
{
    QStringList parts;
    for (const imaging::FormatCode code : kSaveOrder) {
        const imaging::FormatSpec *row = imaging::formatRow(code);
        parts << QString::fromLatin1(row->saveFilterName)
              << QStringLiteral("*.") + QString::fromLatin1(row->shortName);
    }
    return parts.join(QLatin1Char('|'));
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
    // Today's formats by whole extension only: "avif" would make ".avi" an image.
    return kImageTypes.toLower().contains(ext) || imaging::isPhotoExtension(ext);
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

    const Result<> set = setter.setWallpaper(target);
    if (!set.ok()) {
        prompter.message(parent, set.error(), Prompter::Icon::Warning);
        return false;
    }
    return true;
}

} // namespace lumora
