#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace lumora::platform
{

class SysIo;

// Writes `bytes` as the file at path so that the name never holds a partial
// file, even after a crash: the bytes go to an unnamed (or hidden) file in
// the target's folder, are flushed, and only then get the name.
//
// replace = false: nothing at path is ever replaced, even a file that
// appears while the bytes are written (the name is given by link or a
// no-replace rename, which fail when it is taken).
// replace = true: an existing regular file, or the regular file a link
// names, is replaced and keeps its permissions; a name that was free when
// the call began is still only taken if it is free.
// Either way a target that is not a regular file (a device, a pipe, a
// socket, a folder) is refused. error, if given, receives a sentence for the
// user naming the file or the folder at fault. io: the system calls (the
// real ones when null).
bool commitFile(const QString &path, const QByteArray &bytes, bool replace, QString *error,
                SysIo *io = nullptr);

// Replaces the file with `bytes` all at once: written to a temporary file
// beside it, then renamed over it, so a reader sees the old or the new file,
// never a half-written one. A symbolic link is followed and its target
// replaced; an existing file keeps its permissions. Missing folders are made.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);

// The whole file; an empty array for a missing file, std::nullopt for one
// that exists but cannot be read (or is not a plain file, or is larger than
// `limit`).
std::optional<QByteArray> readWholeFile(const QString &path, qint64 limit = 16 << 20);

} // namespace lumora::platform
