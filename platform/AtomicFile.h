#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace lumora::platform
{

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
