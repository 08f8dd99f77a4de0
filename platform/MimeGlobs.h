#pragma once

#include <QString>
#include <QStringList>

namespace lumora::platform
{

// The MIME type the shared MIME database gives a file name extension, read
// from the "mime/globs2" files of the data folders: the "*.ext" pattern with
// the highest weight, the earlier folder winning a tie. "" when none has it.
// `ext` is written without the dot.
QString mimeTypeForExtension(const QStringList &dataDirs, const QString &ext);

} // namespace lumora::platform
