#pragma once

#include <QString>
#include <QStringList>

namespace lumora
{

class ExtensionFilter;

// What a folder shows in the grid: its sub-folders and its image files, each
// as full paths in the one name order. The images are exactly what
// GetImageList returns for the same folder and pattern, so the n-th image item
// of the grid is the n-th path of that list.
struct FolderEntries {
    QStringList folders;
    QStringList images;
    int count() const { return int(folders.size() + images.size()); }
};

// `path` must end with '/'. An unreadable folder gives no entries.
FolderEntries scanFolder(const QString &path, const ExtensionFilter &filter,
                         const QString &searchStr);

} // namespace lumora
