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
    // Image files whose names are not valid text (bytes that are not UTF-8,
    // from old disks and archives), in the file service's form (each stray
    // byte a lone surrogate, platform::pathFromBytes): they are listed last,
    // shown with replacement characters and a red cross, never decoded, and
    // the file commands work on their real bytes.
    QStringList undecodable;
    int count() const { return int(folders.size() + images.size() + undecodable.size()); }
};

// Why an undecodable entry cannot be used, for its tooltip and messages.
QString undecodableReason();

// `path` must end with '/'. An unreadable folder gives no entries.
FolderEntries scanFolder(const QString &path, const ExtensionFilter &filter,
                         const QString &searchStr);

// The image files of `path` whose names are not valid text, in that form.
QStringList undecodableImages(const QString &path, const ExtensionFilter &filter);

} // namespace lumora
