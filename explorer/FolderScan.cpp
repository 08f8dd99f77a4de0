#include "explorer/FolderScan.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/NameOrder.h"

#include <QDir>

namespace lumora
{

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
    return out;
}

} // namespace lumora
