#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

#include <functional>

namespace lumora
{

// PNG files of the desktop's thumbnail cache, read and written with libpng
// directly: the text chunks that say whose thumbnail a file is are looked at
// before any pixel is decoded, so a stale or foreign file costs almost nothing.
// Thread-safe; no widgets.
namespace thumbpng
{

using TextMap = QHash<QByteArray, QByteArray>;
using TextList = QList<QPair<QByteArray, QByteArray>>;

enum class Verdict { Accept, Reject, Undecided };
// Asked with the image size and the text seen so far: first before the pixels
// (text that follows them is not known yet), once more after them when the
// first answer was Undecided; Undecided the second time counts as Reject.
using Check = std::function<Verdict(QSize size, const TextMap &text)>;

enum class ReadStatus { Ok, Missing, Rejected, Damaged };
struct ReadResult {
    ReadStatus status = ReadStatus::Missing;
    QImage image; // Format_RGB32 when every pixel is opaque, else Format_ARGB32
    TextMap text;
};

// Largest side accepted at all; anything bigger is refused before decoding.
inline constexpr int kMaxSide = 1024;

ReadResult read(const QString &path, const Check &check);

// An 8-bit RGB (RGBA when some pixel is not opaque), non-interlaced PNG with uncompressed tEXt
// chunks placed before the image data. Empty on failure.
QByteArray encode(const QImage &image, const TextList &text);

} // namespace thumbpng
} // namespace lumora
