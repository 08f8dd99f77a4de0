#include "explorer/FolderScan.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/NameOrder.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace lumora
{

QString undecodableReason()
{
    return QStringLiteral("The name of this file is not valid text (it was probably written on "
                          "an old system or unpacked from an archive), so it cannot be opened, "
                          "copied, moved or renamed here. Give it a new name in a file manager "
                          "or with convmv.");
}

QStringList undecodableImages(const QString &path, const ExtensionFilter &filter)
{
    // The folder's own listing drops names that do not decode; reading the
    // folder by its bytes finds them.
    QStringList out;
    const QByteArray folder = QFile::encodeName(path);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return out;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QString shown = QFile::decodeName(name);
        if (QFile::encodeName(shown) == name)
            continue; // an ordinary name, listed the ordinary way
        const QString full = path + shown;
        if (!filter.IsImageFile(full))
            continue;
        struct stat st;
        if (::stat((folder + name).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        out << full;
    }
    ::closedir(dir);
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
    out.undecodable = undecodableImages(p, filter);
    // A name Qt did list after all but cannot name again must not appear twice.
    for (const QString &u : std::as_const(out.undecodable))
        out.images.removeAll(u);
    return out;
}

} // namespace lumora
