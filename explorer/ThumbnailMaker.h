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

// The decode step of the shaped route: the first page at reduced scale,
// fitting `box`, with what the shape and the tooltip need.
struct ThumbnailDecode {
    QImage page;
    QSize original; // the picture's own size
    QString error;  // why there is no page
    QString damage; // the page is what a damaged file held
    bool cancelled = false;
    bool transient = false; // the failure is not the file's (see DecodedImage)
};
ThumbnailDecode decodeForThumbnail(const QString &path, QSize box, const std::atomic_bool *cancel);
// The box the grid's own decode fits: never smaller than any of the three
// shapes needs, so nothing is scaled up afterwards.
QSize gridDecodeBox();

} // namespace lumora
