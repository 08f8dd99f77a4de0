#pragma once

#include <QString>
#include <QStringList>

namespace lumora
{

// The command line as one text: the program's arguments joined by single
// blanks, so an unquoted path with blanks still names the file.
QString commandLineText(const QStringList &arguments);

// True for an existing file or folder (a pattern with wildcards counts when
// anything matches it); an empty path is false.
bool PathExists(const QString &path);

// Position of `path` in `list` (exact, case-sensitive), or 0 when absent.
int FindImageIndex(const QStringList &list, const QString &path);

// The folder that holds `path` (no trailing separator, "/" at the root).
QString GetParentFolderName(const QString &path);

// The first of this program's top-level windows whose title contains `text`
// (case-sensitive), as its window id; 0 when none. Empty text matches the
// first window.
quintptr FindWin(const QString &text);

} // namespace lumora
