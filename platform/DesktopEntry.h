#pragma once

#include <QString>
#include <QStringList>

namespace lumora::platform
{

struct XdgDirs;

// Writing and reading the few parts of desktop entries that file-type
// associations need.
namespace DesktopEntry
{

// A program path as one argument of an Exec line or of a registered open
// command: bare when it holds nothing special, otherwise in double quotes
// with '"', '`', '$' and '\' escaped by a backslash.
QString quoteArgument(const QString &path);
// The inverse for a whole command: its arguments, quotes and escapes
// removed. Empty for an unbalanced quote.
QStringList splitCommand(const QString &command);

// A string value as a desktop entry stores it ("\\" for a backslash, "\n",
// "\t", "\r" escaped) and back.
QString escapeValue(const QString &value);
QString unescapeValue(const QString &value);

struct Contents {
    QString programPath; // absolute
    QString iconPath;    // absolute file, or an icon name
    QStringList mimeTypes;
};
// The whole entry, ending in a newline. '%' in the program path is doubled
// as field codes require. Its MimeType line names c.mimeTypes, then
// openWithMimeTypes().
QString build(const Contents &c);

// Types the program opens beyond its associations (WebP, HEIF, AVIF, JPEG XL,
// camera RAW): named in the entry so "Open With" offers it, never made the
// default for them.
const QStringList &openWithMimeTypes();

struct Parsed {
    bool valid = false; // a [Desktop Entry] group was found
    QString exec;       // unescaped
    QString tryExec;
    bool hidden = false;
    QStringList mimeTypes;
};
Parsed parse(const QByteArray &bytes);

// The file a desktop id names: the first of the data folders'
// "applications/<id>", where a '-' in the id may also stand for a sub-folder.
QString findFile(const XdgDirs &dirs, const QString &desktopId);

// Usable as the desktop's tools judge it: the file exists, is not hidden,
// and the program its Exec (or TryExec) names can be run.
bool isUsable(const QString &file);

} // namespace DesktopEntry

} // namespace lumora::platform
