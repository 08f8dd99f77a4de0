#pragma once

#include <QString>
#include <QStringList>

namespace lumora
{

// Where the file a user named (on the command line, say) stands in its
// folder's image list. An entry that is the same file, however the two
// spell it, is taken; a file the list lacks (a type the listing leaves out)
// is inserted at its place in the list's name order. Returns the index of
// the named file in `list`, or 0 when `path` is not a file (a folder names
// no image of its own).
int placeNamedFile(QStringList &list, const QString &path);

} // namespace lumora
