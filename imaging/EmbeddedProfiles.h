#pragma once

#include <QByteArray>

class QIODevice;

// Finding the ICC profile a file embeds, straight from its bytes: the
// readers either drop it, hand it over only where Qt can parse it, or join
// split JPEG profiles without checking the pieces.
namespace lumora::imaging::profiles
{

// What a JPEG's header segments (before the image data) say about colour.
struct JpegColour {
    QByteArray icc;     // reassembled APP2 ICC_PROFILE chunks; empty if none or inconsistent
    int components = 0; // from the frame header: 1 grey, 3 YCbCr/RGB, 4 CMYK/YCCK
    bool adobe = false; // an APP14 "Adobe" segment: CMYK samples are stored inverted
};
// `head` is the file's start; the header segments of any real photo fit
// in a few hundred KiB (the caller passes what it has).
JpegColour jpegColour(const QByteArray &head);

// The profile a PNG describes: its iCCP chunk inflated, nothing for an sRGB
// chunk (that is sRGB), or a profile made from gAMA and cHRM. Empty for a
// PNG that says nothing about colour, or sRGB. The device is read from its
// start and left at its start.
QByteArray pngProfile(QIODevice &device);

// The JPEG with the profile as APP2 ICC_PROFILE segments (split into as
// many as it needs) after its JFIF and EXIF segments; any it had are
// replaced.
QByteArray jpegWithProfile(const QByteArray &jpeg, const QByteArray &icc);

// A PSD's (or PSB's) image resource 1039.
QByteArray psdProfile(const QByteArray &data);

// A GIF's ICC profile: the data of its "ICCRGBG1" application extension
// (authentication code "012"), wherever among the frames it stands. Empty
// for a GIF without one, or one cut off inside it.
QByteArray gifProfile(const QByteArray &data);

} // namespace lumora::imaging::profiles
