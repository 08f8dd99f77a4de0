#include "explorer/FolderScan.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/NameOrder.h"
#include "platform/FileOperations.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

namespace lumora
{

QString undecodableReason()
{
    return QStringLiteral("The name of this file is not valid text (it was probably written on "
                          "an old system or unpacked from an archive), so it cannot be shown or "
                          "opened here. It can be copied, moved, renamed or deleted; give it a "
                          "new name to see it.");
}

namespace
{

struct Undecodable {
    QString path;  // the service's form: each stray byte a lone surrogate
    QString lossy; // what Qt makes of the name, U+FFFD for each stray byte
};

std::vector<Undecodable> undecodableEntries(const QString &path, const ExtensionFilter &filter)
{
    // The folder's own listing drops or alters names that do not decode;
    // reading the folder by its bytes finds them.
    std::vector<Undecodable> out;
    const QByteArray folder = platform::pathBytes(path);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QString lossy = QFile::decodeName(name);
        if (QFile::encodeName(lossy) == name)
            continue; // an ordinary name, listed the ordinary way
        const QString full = platform::pathFromBytes(folder + name);
        if (!filter.IsImageFile(platform::displayPath(full)))
            continue;
        struct stat st;
        if (::stat((folder + name).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        out.push_back({full, path + lossy});
    }
    ::closedir(dir);
    return out;
}

} // namespace

QStringList undecodableImages(const QString &path, const ExtensionFilter &filter)
{
    QStringList out;
    for (const Undecodable &u : undecodableEntries(path, filter))
        out << u.path;
    sortByName(out);
    return out;
}

FolderEntries scanFolder(const QString &path, const ExtensionFilter &filter,
                         const QString &searchStr)
{
    FolderEntries out;
    QDir dir(path);
    // Hidden entries are listed like any other.
    QStringList names = dir.entryList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    sortByName(names);
    out.folders.reserve(names.size());
    for (const QString &n : names)
        out.folders << path + n;
    QString p = path;
    out.images = filter.GetImageList(p, searchStr);
    for (const Undecodable &u : undecodableEntries(p, filter)) {
        out.undecodable << u.path;
        // Qt may list such a name in its altered form, which names no file
        // (or another one, whose name really has U+FFFD in it).
        struct stat st;
        if (::lstat(QFile::encodeName(u.lossy).constData(), &st) != 0)
            out.images.removeAll(u.lossy);
    }
    sortByName(out.undecodable);
    return out;
}

} // namespace lumora
