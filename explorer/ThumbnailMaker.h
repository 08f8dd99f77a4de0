#pragma once

#include <QImage>
#include <QString>

#include <atomic>

namespace lumora
{

// What a worker hands back for one file: a picture or the reason there is
// none. With a picture, `error` is a note about it (a damaged file) or empty.
struct ThumbnailResult {
    QImage image;
    QString error;
    bool ok() const { return !image.isNull(); }
};

// Icon, cursor and DIB files are taken as pictures as loaded (no shaping);
// every other file is decoded at reduced scale and shaped. The two routes
// stay apart on purpose: they are the type rule of the program.
bool usesPictureRoute(const QString &path);

// Thread-safe and widget-free: runs on the worker pool.
ThumbnailResult makeThumbnail(const QString &path, const std::atomic_bool *cancel = nullptr);

// The two routes, exposed for the grid's own checks.
ThumbnailResult loadPictureThumbnail(const QString &path, const std::atomic_bool *cancel);
ThumbnailResult decodeShapedThumbnail(const QString &path, const std::atomic_bool *cancel);

} // namespace lumora
