#pragma once

#include <QByteArray>
#include <QImage>
#include <QPointF>

// Colour management with Little CMS 2: pictures that embed a profile are
// converted to sRGB (or to the screen's profile) for what a person sees,
// while the document keeps the file's pixels and profile for saving.
//
// Pictures without a profile and sRGB pictures cost nothing: the profile is
// recognised once (by its bytes) and the pixels are handed back untouched.
// Everything here is safe to call from several threads at once.
namespace lumora::imaging::colour
{

// Whether pictures are converted at all (the "Colour Management" setting).
// Set once at start-up and when the setting changes; the thumbnails, the
// viewer, the preview and prints read it. On by default.
void setManagementEnabled(bool on);
bool managementEnabled();

// The profile what is shown on screen is converted to: the display's own
// (see platform::DisplayProfile), or empty for sRGB.
void setScreenProfile(const QByteArray &icc);
QByteArray screenProfile();

// Whether the profile describes sRGB (or is empty): then a conversion would
// change nothing. Decided once per distinct profile by its primaries, white
// point and tone curves, so any vendor's sRGB profile qualifies.
bool isSrgb(const QByteArray &icc);
// Whether lcms can use the profile at all.
bool isUsable(const QByteArray &icc);
// The profile's colour space as the ICC header names it ("RGB ", "CMYK",
// "GRAY"), empty for something that is no profile.
QByteArray profileSpace(const QByteArray &icc);

// The picture's pixels converted from the `source` profile to the `target`
// profile (empty target: sRGB). Hands the picture back unchanged (no copy)
// when the source is empty, sRGB or unusable, or equals the target. The
// result is 8 bits a channel, or 16 for a deeper picture; alpha is kept.
QImage convert(const QImage &image, const QByteArray &source, const QByteArray &target = {});
// For the screen: convert() to screenProfile() when management is on, else
// the picture as it is.
QImage forScreen(const QImage &image, const QByteArray &source);
// For sRGB sinks (thumbnail cache, prints): convert() to sRGB when
// management is on.
QImage forSrgb(const QImage &image, const QByteArray &source);

// One row of CMYK samples, 8 bits each in C, M, Y, K order where 255 is full
// ink (`inverted`: 0 is full ink, as Adobe's JPEGs store them), converted to
// an RGB32 row through the profile, or through defaultCmykProfile() when it
// is empty or unusable. `out` holds `count` pixels.
void cmykRowToSrgb(const uchar *cmyk, QRgb *out, int count, const QByteArray &profile,
                   bool inverted);
// The same for a whole picture of `width` x `height` with rows `stride`
// bytes apart; null on a budget failure.
QImage cmykToSrgb(const uchar *cmyk, int width, int height, qsizetype stride,
                  const QByteArray &profile, bool inverted);
// The CMYK profile for CMYK pictures that embed none: a SWOP-like press
// profile from the system (Ghostscript's), empty when none is installed
// (then the plain ink formula is used).
QByteArray defaultCmykProfile();

// sRGB as an ICC profile (lcms's own).
QByteArray srgbProfile();

// An RGB profile from chromaticities (CIE xy of the white point and the three
// primaries) and a pure power-law gamma (the exponent that decodes, e.g. 2.2),
// as PNG's cHRM and gAMA describe a picture. Empty when the values make no
// profile.
QByteArray profileFromChromaticities(QPointF white, QPointF red, QPointF green, QPointF blue,
                                     double gamma);

// An RGB profile for a coding-independent code point (nclx, as HEIF and AVIF
// carry it): H.273 colour primaries (1 BT.709/sRGB, 5 and 6 BT.601, 9
// BT.2020, 11 DCI-P3, 12 Display P3) and transfer characteristics (1, 6, 14,
// 15 BT.709; 4 gamma 2.2; 5 gamma 2.8; 8 linear; 13 sRGB; 16 PQ and 18 HLG
// tone-mapped for an SDR screen: 203 nits as white, highlights rolled off
// above 90 % of it). Empty for
// sRGB itself (primaries 1 or 2 with transfer 13 or 2) and for code points
// it does not know: either way the picture is taken as sRGB.
QByteArray profileFromNclx(int primaries, int transfer);

} // namespace lumora::imaging::colour
