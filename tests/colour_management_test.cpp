// Colour management end to end: photos in Adobe RGB, Display P3 (as a
// profile, and as AVIF nclx code points), ProPhoto and CMYK (with and
// without a profile), made with the free profiles Debian ships, against
// ImageMagick's and lcms's own tools converting them to sRGB.
// Every place a person sees a picture is measured in CIE ΔE2000: the
// viewer's pixels, thumbnails, print pages and converted files.

#include "app/ConvertJobs.h"
#include "dialogs/Prompter.h"
#include "explorer/ThumbnailMaker.h"
#include "imaging/ColourManagement.h"
#include "imaging/Decoder.h"
#include "imaging/EmbeddedProfiles.h"
#include "imaging/ImageDocument.h"
#include "imaging/ImageView.h"
#include "imaging/ImageWriter.h"
#include "support/ExternalWriters.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "viewer/ViewerPrint.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace lumora;
using namespace lumora::imaging;
using lumora::test::runTool;
using lumora::test::TempDir;

namespace
{

const QString kIcc = QStringLiteral("/usr/share/color/icc/");
QString icc(const char *name)
{
    return kIcc + QLatin1String(name);
}
// The sRGB the references are converted to: Qt's description (matrix and
// the exact parametric curve). icc-profiles-free's sRGB.icc samples its
// curves in 1024 steps, which lcms inverts poorly in the deep shadows a
// press profile reaches through Lab: up to 6 ΔE off the exact curve there.
QString srgbFile(const TempDir &dir)
{
    const QString path = dir.file(QStringLiteral("srgb.icc"));
    QFile out(path);
    if (!QFile::exists(path) && out.open(QIODevice::WriteOnly))
        out.write(QColorSpace(QColorSpace::SRgb).iccProfile());
    return path;
}

// --- CIE ΔE2000 between two sRGB colours (D65, as the sinks are sRGB).

struct Lab {
    double L, a, b;
};

Lab toLab(QRgb c)
{
    auto linear = [](int v) {
        const double x = v / 255.0;
        return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    const double r = linear(qRed(c)), g = linear(qGreen(c)), b = linear(qBlue(c));
    const double X = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double Y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double Z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    auto f = [](double t) {
        return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116;
    };
    return {116 * f(Y) - 16, 500 * (f(X) - f(Y)), 200 * (f(Y) - f(Z))};
}

double deltaE2000(const Lab &p, const Lab &q)
{
    constexpr double kPi = 3.14159265358979323846;
    auto rad = [](double d) { return d * kPi / 180; };
    const double c1 = std::hypot(p.a, p.b), c2 = std::hypot(q.a, q.b);
    const double cMean7 = std::pow((c1 + c2) / 2, 7);
    const double g = 0.5 * (1 - std::sqrt(cMean7 / (cMean7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * p.a, a2 = (1 + g) * q.a;
    const double c1p = std::hypot(a1, p.b), c2p = std::hypot(a2, q.b);
    auto hue = [&](double b, double a) {
        const double h = std::atan2(b, a) * 180 / kPi;
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hue(p.b, a1), h2 = hue(q.b, a2);
    double dh = 0;
    if (c1p * c2p != 0)
        dh = std::abs(h2 - h1) <= 180 ? h2 - h1 : (h2 - h1 > 180 ? h2 - h1 - 360 : h2 - h1 + 360);
    const double dL = q.L - p.L, dC = c2p - c1p;
    const double dH = 2 * std::sqrt(c1p * c2p) * std::sin(rad(dh / 2));
    const double lMean = (p.L + q.L) / 2, cpMean = (c1p + c2p) / 2;
    double hMean = h1 + h2;
    if (c1p * c2p != 0)
        hMean = std::abs(h1 - h2) <= 180
                    ? (h1 + h2) / 2
                    : (h1 + h2 < 360 ? (h1 + h2 + 360) / 2 : (h1 + h2 - 360) / 2);
    const double t = 1 - 0.17 * std::cos(rad(hMean - 30)) + 0.24 * std::cos(rad(2 * hMean)) +
                     0.32 * std::cos(rad(3 * hMean + 6)) - 0.20 * std::cos(rad(4 * hMean - 63));
    const double theta = 30 * std::exp(-std::pow((hMean - 275) / 25, 2));
    const double cp7 = std::pow(cpMean, 7);
    const double rc = 2 * std::sqrt(cp7 / (cp7 + std::pow(25.0, 7)));
    const double sl = 1 + 0.015 * std::pow(lMean - 50, 2) / std::sqrt(20 + std::pow(lMean - 50, 2));
    const double sc = 1 + 0.045 * cpMean, sh = 1 + 0.015 * cpMean * t;
    const double rt = -std::sin(rad(2 * theta)) * rc;
    return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) +
                     rt * (dC / sc) * (dH / sh));
}

struct Difference {
    double mean = 1e9, max = 1e9;
    bool meetsGoal() const { return mean < 1.0 && max < 3.0; }
};

std::ostream &operator<<(std::ostream &os, const Difference &d)
{
    return os << "mean ΔE2000 " << d.mean << ", max " << d.max;
}

Difference difference(const QImage &got, const QImage &want)
{
    if (got.size() != want.size() || got.isNull())
        return {};
    const QImage a = got.convertToFormat(QImage::Format_RGB32);
    const QImage b = want.convertToFormat(QImage::Format_RGB32);
    Difference d{0, 0};
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const double e = deltaE2000(toLab(a.pixel(x, y)), toLab(b.pixel(x, y)));
            d.mean += e;
            d.max = std::max(d.max, e);
        }
    d.mean /= double(a.width()) * a.height();
    return d;
}

TEST(ColourDeltaE, MatchesPublishedPairs)
{
    // Sharma, Wu and Dalal's test data, pairs 1 and 7 and 17.
    EXPECT_NEAR(deltaE2000({50, 2.6772, -79.7751}, {50, 0, -82.7485}), 2.0425, 1e-4);
    EXPECT_NEAR(deltaE2000({50, 0, 0}, {50, -1, 2}), 2.3669, 1e-4);
    EXPECT_NEAR(deltaE2000({50, 2.5, 0}, {73, 25, -18}), 27.1492, 1e-4);
}

// --- The photos: saturated, smooth areas where every gamut differs, and
// a ramp through the primaries.

QImage photo()
{
    QImage img(96, 72, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const int r = (x * 255) / (img.width() - 1);
            const int g = (y * 255) / (img.height() - 1);
            const int b = 255 - (r + g) / 2;
            img.setPixel(x, y, qRgb(r, g, (b * (x % 24 < 12 ? 1 : 3)) / 3));
        }
    return img;
}

struct Made {
    QString file;      // the photo the program reads
    QString reference; // the same converted to sRGB by another program
};

using Maker = std::function<bool(const TempDir &, Made &)>;

// ImageMagick writes the photo with `options` (the profile among them; BASE
// names the photo again, for a second frame) and
// converts the first frame of what it wrote with its own colour code.
Maker madeByImageMagick(QStringList options, const char *name)
{
    return [options, name](const TempDir &dir, Made &m) {
        const QString kSrgb = srgbFile(dir);
        const QString base = dir.file(QStringLiteral("base.png"));
        m.file = dir.file(QLatin1String(name));
        m.reference = m.file + QStringLiteral(".ref.png");
        QStringList make = {base};
        for (const QString &o : options)
            make << (o == QLatin1String("BASE") ? base : o);
        make << m.file;
        return photo().save(base) && runTool(QStringLiteral("convert"), make) &&
               runTool(QStringLiteral("convert"), {m.file + QStringLiteral("[0]"),
                                                   QStringLiteral("-profile"), kSrgb, m.reference});
    };
}

// ImageMagick assigns the profile (the pixels stay the photo's numbers, now
// meant in that space).
Maker assigned(const QString &profile, const char *name)
{
    return madeByImageMagick(
        {QStringLiteral("-quality"), QStringLiteral("97"), QStringLiteral("-profile"), profile},
        name);
}

// Printed: the photo taken from sRGB to the press profile, with the profile
// kept or dropped.
Maker cmyk(const char *name, bool keepProfile)
{
    return [name, keepProfile](const TempDir &dir, Made &m) {
        const QString kSrgb = srgbFile(dir);
        const QString base = dir.file(QStringLiteral("base.png"));
        const QString press = icc("ghostscript/default_cmyk.icc");
        m.file = dir.file(QLatin1String(name));
        m.reference = m.file + QStringLiteral(".ref.tif");
        QStringList make = {base,
                            QStringLiteral("-quality"),
                            QStringLiteral("97"),
                            QStringLiteral("-profile"),
                            kSrgb,
                            QStringLiteral("-profile"),
                            press};
        if (!keepProfile)
            make << QStringLiteral("+profile") << QStringLiteral("*");
        make << m.file;
        if (!photo().save(base) || !runTool(QStringLiteral("convert"), make))
            return false;
        // lcms's own tool where it can (it refuses to be handed a profile
        // for a 16-bit CMYK TIFF), else ImageMagick.
        if (m.file.endsWith(QLatin1String(".tif")) && keepProfile)
            return runTool(QStringLiteral("tificc"),
                           {QStringLiteral("-o") + kSrgb, m.file, m.reference});
        QStringList back = {m.file};
        if (!keepProfile)
            back << QStringLiteral("-profile") << press;
        back << QStringLiteral("-profile") << kSrgb << m.reference;
        return runTool(QStringLiteral("convert"), back);
    };
}

// Two frames (the photo and its mirror image) of a looping GIF, the profile
// in its ICCRGBG1 application extension; the reference is the first frame.
Maker animatedGif(const QString &profile, const char *name)
{
    return madeByImageMagick({QStringLiteral("("), QStringLiteral("BASE"), QStringLiteral("-flop"),
                              QStringLiteral(")"), QStringLiteral("-profile"), profile,
                              QStringLiteral("-loop"), QStringLiteral("0")},
                             name);
}

// Display P3 as Qt describes it, so the profile is not one of ours.
Maker displayP3(const char *name)
{
    return [name](const TempDir &dir, Made &m) {
        const QString profile = dir.file(QStringLiteral("p3.icc"));
        QFile out(profile);
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(QColorSpace(QColorSpace::DisplayP3).iccProfile()) <= 0)
            return false;
        out.close();
        return assigned(profile, name)(dir, m);
    };
}

// Display P3 told by nclx code points alone (primaries 12, the sRGB curve
// 13), no ICC profile, as phones write AVIF and HEIC. The reference: the
// numbers a reference decoder gives, taken from Display P3 to sRGB by
// ImageMagick. For 4:2:0 that is libheif's own converter: avifdec's libyuv
// smooths the colour planes otherwise, up to 20 ΔE apart on a sharp edge
// in the colour planes.
Maker nclxDisplayP3(const char *name, QStringList encode, bool libheifReference = false)
{
    return [name, encode, libheifReference](const TempDir &dir, Made &m) {
        const QString kSrgb = srgbFile(dir);
        const QString profile = dir.file(QStringLiteral("p3.icc"));
        QFile out(profile);
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(QColorSpace(QColorSpace::DisplayP3).iccProfile()) <= 0)
            return false;
        out.close();
        const QString base = dir.file(QStringLiteral("base.png"));
        const QString decoded = dir.file(QStringLiteral("decoded.png"));
        m.file = dir.file(QLatin1String(name));
        m.reference = m.file + QStringLiteral(".ref.png");
        QStringList args = encode;
        args << base << m.file;
        const QString encoder = args.takeFirst();
        if (!photo().save(base) || !runTool(encoder, args))
            return false;
        const bool referenceDecoded =
            libheifReference
                ? runTool(QStringLiteral("heif-convert"), {m.file, decoded})
                : runTool(QStringLiteral("avifdec"),
                          {QStringLiteral("--depth"), QStringLiteral("8"), m.file, decoded});
        return referenceDecoded &&
               runTool(QStringLiteral("convert"),
                       {decoded, QStringLiteral("-strip"), QStringLiteral("-profile"), profile,
                        QStringLiteral("-profile"), kSrgb, m.reference});
    };
}

struct Case {
    const char *name;
    Maker make;
    // Whether showing the file's numbers unconverted would miss the goal:
    // CMYK is always converted, there is no other way to show inks.
    bool rawMisses = true;
};

const Case kCases[] = {
    {"Adobe RGB JPEG", assigned(icc("colord/AdobeRGB1998.icc"), "adobe.jpg")},
    {"Adobe RGB (compatible) PNG", assigned(icc("compatibleWithAdobeRGB1998.icc"), "adobe.png")},
    {"Display P3 PNG", displayP3("p3.png")},
    {"Display P3 JPEG", displayP3("p3.jpg")},
    {"Display P3 AVIF, nclx, lossless",
     nclxDisplayP3("p3-lossless.avif",
                   {QStringLiteral("avifenc"), QStringLiteral("--lossless"), QStringLiteral("-d"),
                    QStringLiteral("8"), QStringLiteral("--cicp"), QStringLiteral("12/13/0")})},
    {"Display P3 AVIF, nclx, 10-bit 4:2:0 BT.709 matrix",
     nclxDisplayP3("p3-10bit.avif",
                   {QStringLiteral("avifenc"), QStringLiteral("-d"), QStringLiteral("10"),
                    QStringLiteral("-y"), QStringLiteral("420"), QStringLiteral("--min"),
                    QStringLiteral("0"), QStringLiteral("--max"), QStringLiteral("4"),
                    QStringLiteral("--cicp"), QStringLiteral("12/13/1")},
                   true)},
    {"Adobe RGB GIF", assigned(icc("colord/AdobeRGB1998.icc"), "adobe.gif")},
    {"Adobe RGB animated GIF", animatedGif(icc("colord/AdobeRGB1998.icc"), "adobe-anim.gif")},
    {"ProPhoto TIFF", assigned(icc("colord/ProPhotoRGB.icc"), "prophoto.tif")},
    {"ProPhoto PSD", assigned(icc("colord/ProPhotoRGB.icc"), "prophoto.psd")},
    // 187 KB of profile: three APP2 segments to put back together.
    {"CMYK JPEG with profile", cmyk("press.jpg", true), false},
    {"CMYK JPEG without profile", cmyk("bare.jpg", false), false},
    {"CMYK TIFF with profile", cmyk("press.tif", true), false},
    {"CMYK TIFF without profile", cmyk("bare.tif", false), false},
};

// --- The sinks: where a person sees the picture.

QImage viewerPixels(const QString &file)
{
    ImageView view;
    view.resize(200, 160);
    if (!view.document()->LoadFromFile(file).ok())
        return {};
    const QImage shot = view.grab().toImage();
    const QSize size = view.document()->currentImage().size();
    // Smaller than the view, the picture sits centred at its own size.
    return shot.copy(QRect(
        QPoint((view.width() - size.width()) / 2, (view.height() - size.height()) / 2), size));
}

QImage thumbnailPixels(const QString &file)
{
    return makeThumbnail(file).image;
}

QImage printedPixels(const TempDir &dir, const QString &file)
{
    ImageDocument doc;
    if (!doc.LoadFromFile(file).ok())
        return {};
    // One pixel a point, at a whole number of points from the corner, so
    // the page renders back pixel for pixel.
    QImage probe = doc.currentImage();
    probe.setDotsPerMeterX(qRound(72 / 0.0254));
    probe.setDotsPerMeterY(qRound(72 / 0.0254));
    doc.adopt({probe}, doc.ImageFormat(), doc.BitsPerPixel(), file, {}, doc.iccProfile());
    ViewerPrint print;
    const QString pdf = dir.file(QStringLiteral("print.pdf"));
    QFile::remove(pdf);
    print.printer().setOutputFormat(QPrinter::PdfFormat);
    print.printer().setOutputFileName(pdf);
    print.printer().setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                              QMarginsF(36, 36, 36, 36), QPageLayout::Point));
    test::ScriptedPrompter prompter;
    prompter.printAnswers.push_back({true, QPrinter::AllPages, 0, 0, pdf});
    print.Print(nullptr, doc, prompter, 0); // top left, at its own size
    const QString prefix = dir.file(QStringLiteral("page"));
    if (!runTool(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                  QStringLiteral("-singlefile"), pdf, prefix}))
        return {};
    const QImage page(prefix + QStringLiteral(".png"));
    return page.copy(QRect(QPoint(36, 36), probe.size()));
}

QImage convertedPixels(const TempDir &dir, const QString &file)
{
    const QString out = dir.file(QStringLiteral("converted.bmp"));
    ConvertSettings settings;
    settings.format = FormatCode::Bmp;
    settings.overwrite = true;
    const ConvertOutcome done = convertOne({file, out}, settings);
    return done.ok ? QImage(out) : QImage();
}

enum class Sink { Viewer, Thumbnail, Print, Converted };
const char *sinkName(Sink s)
{
    switch (s) {
    case Sink::Viewer:
        return "viewer";
    case Sink::Thumbnail:
        return "thumbnail";
    case Sink::Print:
        return "print";
    case Sink::Converted:
        return "converted BMP";
    }
    return "";
}

QImage pixelsIn(Sink sink, const TempDir &dir, const QString &file)
{
    switch (sink) {
    case Sink::Viewer:
        return viewerPixels(file);
    case Sink::Thumbnail:
        return thumbnailPixels(file);
    case Sink::Print:
        return printedPixels(dir, file);
    case Sink::Converted:
        return convertedPixels(dir, file);
    }
    return {};
}

// The reference in the sink's shape: thumbnails are smaller, and the scaling
// is done the same way on both sides.
QImage referenceFor(const QImage &reference, const QImage &got)
{
    if (got.size() == reference.size() || got.isNull())
        return reference;
    return reference.convertToFormat(QImage::Format_RGB32)
        .scaled(got.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

struct ManagementOff {
    explicit ManagementOff(bool off) { colour::setManagementEnabled(!off); }
    ~ManagementOff() { colour::setManagementEnabled(true); }
};

TEST(ColourManagement, EveryPhotoInEverySinkIsWithinTheGoalOfTheReference)
{
    for (const Case &c : kCases) {
        TempDir dir;
        Made m;
        ASSERT_TRUE(c.make(dir, m)) << c.name;
        const QImage reference(m.reference);
        ASSERT_FALSE(reference.isNull()) << c.name;
        for (Sink sink : {Sink::Viewer, Sink::Thumbnail, Sink::Print, Sink::Converted}) {
            const QImage got = pixelsIn(sink, dir, m.file);
            ASSERT_FALSE(got.isNull()) << c.name << " in the " << sinkName(sink);
            const Difference d = difference(got, referenceFor(reference, got));
            EXPECT_TRUE(d.meetsGoal()) << c.name << " in the " << sinkName(sink) << ": " << d;
        }
    }
}

TEST(ColourManagement, TurnedOffTheSameSinksMissTheGoal)
{
    for (const Case &c : kCases) {
        if (!c.rawMisses)
            continue;
        TempDir dir;
        Made m;
        ASSERT_TRUE(c.make(dir, m)) << c.name;
        const QImage reference(m.reference);
        ManagementOff off(true);
        for (Sink sink : {Sink::Viewer, Sink::Thumbnail, Sink::Print}) {
            const QImage got = pixelsIn(sink, dir, m.file);
            ASSERT_FALSE(got.isNull()) << c.name;
            EXPECT_FALSE(difference(got, referenceFor(reference, got)).meetsGoal())
                << c.name << " in the " << sinkName(sink) << " without colour management";
        }
    }
}

// --- What the decoders hand over, and what Save As keeps.

TEST(ColourManagement, SaveAsKeepsPixelsAndProfileOrConvertsToSrgb)
{
    TempDir dir;
    Made m;
    ASSERT_TRUE(assigned(icc("colord/AdobeRGB1998.icc"), "adobe.png")(dir, m));
    ImageDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(m.file).ok());
    const QByteArray profile = doc.iccProfile();
    ASSERT_FALSE(profile.isEmpty());
    EXPECT_FALSE(colour::isSrgb(profile));
    const QImage original = doc.currentImage().convertToFormat(QImage::Format_RGB32);
    struct Target {
        FormatCode code;
        const char *name;
        bool keeps;
    };
    for (const Target &t :
         {Target{FormatCode::Png, "k.png", true}, Target{FormatCode::Tiff, "k.tif", true},
          Target{FormatCode::Psd, "k.psd", true}, Target{FormatCode::Jpeg, "k.jpg", true},
          Target{FormatCode::Bmp, "c.bmp", false}, Target{FormatCode::Tga, "c.tga", false},
          Target{FormatCode::Pcx, "c.pcx", false}}) {
        const QString out = dir.file(QLatin1String(t.name));
        QString error;
        ASSERT_TRUE(doc.SaveToFile(out, t.code, 95, true, &error)) << t.name << error.toStdString();
        const DecodedImage back = decodeFile(out);
        ASSERT_TRUE(back.ok()) << t.name;
        const QImage pixels = back.pages.first().convertToFormat(QImage::Format_RGB32);
        if (t.keeps) {
            EXPECT_EQ(back.iccProfile, profile) << t.name;
            EXPECT_LT(difference(pixels, original).mean, t.code == FormatCode::Jpeg ? 1.5 : 0.01)
                << t.name << " keeps the file's numbers";
        } else {
            EXPECT_TRUE(back.iccProfile.isEmpty()) << t.name;
            EXPECT_TRUE(difference(pixels, QImage(m.reference)).meetsGoal())
                << t.name << " holds sRGB: " << difference(pixels, QImage(m.reference));
        }
    }
}

TEST(ColourManagement, SrgbProfilesAreRecognisedWhoeverWroteThem)
{
    QFile debian(icc("sRGB.icc"));
    ASSERT_TRUE(debian.open(QIODevice::ReadOnly));
    EXPECT_TRUE(colour::isSrgb(debian.readAll())) << "icc-profiles-free's sRGB";
    EXPECT_TRUE(colour::isSrgb(QColorSpace(QColorSpace::SRgb).iccProfile())) << "Qt's";
    EXPECT_TRUE(colour::isSrgb(colour::srgbProfile())) << "lcms's";
    EXPECT_TRUE(colour::isSrgb({}));
    for (const char *other : {"colord/AdobeRGB1998.icc", "colord/ProPhotoRGB.icc",
                              "colord/Rec709.icc", "ghostscript/default_cmyk.icc"}) {
        QFile f(icc(other));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << other;
        EXPECT_FALSE(colour::isSrgb(f.readAll())) << other;
    }
    // An sRGB picture comes back as the very same image, not a copy.
    const QImage img = photo();
    EXPECT_EQ(colour::convert(img, QColorSpace(QColorSpace::SRgb).iccProfile()).constBits(),
              img.constBits());
    EXPECT_EQ(colour::forScreen(img, {}).constBits(), img.constBits());
}

// A profile split over APP2 segments is put back together by their numbers,
// in whatever order they come; a set that does not add up is no profile.
TEST(ColourManagement, JpegProfileSegmentsAreReassembledAndCheckedBySequence)
{
    QFile f(icc("colord/ProPhotoRGB.icc"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray profile = f.readAll();
    const qsizetype third = profile.size() / 3 + 1;
    auto segment = [&](int seq, int count, const QByteArray &piece) {
        QByteArray s("\xFF\xE2", 2);
        const int length = int(2 + 14 + piece.size());
        s.append(char(length >> 8)).append(char(length & 0xFF));
        s.append("ICC_PROFILE", 12).append(char(seq)).append(char(count)).append(piece);
        return s;
    };
    const QByteArray p1 = profile.left(third), p2 = profile.mid(third, third),
                     p3 = profile.mid(2 * third);
    const QByteArray soi("\xFF\xD8", 2), sos("\xFF\xDA\x00\x02", 4);
    struct Row {
        const char *what;
        QByteArray segments;
        bool found;
    };
    const Row rows[] = {
        {"in order", segment(1, 3, p1) + segment(2, 3, p2) + segment(3, 3, p3), true},
        {"shuffled", segment(3, 3, p3) + segment(1, 3, p1) + segment(2, 3, p2), true},
        {"one missing", segment(1, 3, p1) + segment(3, 3, p3), false},
        {"a number twice", segment(1, 3, p1) + segment(1, 3, p2) + segment(3, 3, p3), false},
        {"counts disagree", segment(1, 3, p1) + segment(2, 2, p2) + segment(3, 3, p3), false},
        {"number zero", segment(0, 3, p1) + segment(2, 3, p2) + segment(3, 3, p3), false},
        {"pieces swapped", segment(1, 3, p2) + segment(2, 3, p1) + segment(3, 3, p3), false},
    };
    for (const Row &r : rows) {
        const profiles::JpegColour c = profiles::jpegColour(soi + r.segments + sos);
        EXPECT_EQ(c.icc == profile, r.found) << r.what;
        if (!r.found) {
            EXPECT_TRUE(c.icc.isEmpty()) << r.what;
        }
    }
    // And what the writer puts in, the reader finds: the 187 KB press
    // profile takes three segments.
    QFile press(icc("ghostscript/default_cmyk.icc"));
    ASSERT_TRUE(press.open(QIODevice::ReadOnly));
    const QByteArray big = press.readAll();
    const QByteArray jpeg = encodeImage(photo(), FormatCode::Jpeg, {}, nullptr);
    EXPECT_EQ(profiles::jpegColour(profiles::jpegWithProfile(jpeg, big)).icc, big);
}

// PNG's own colour chunks: sRGB is sRGB, gAMA and cHRM describe a space.
TEST(ColourManagement, PngGammaAndChromaticitiesAreHonoured)
{
    TempDir dir;
    const QString base = dir.file(QStringLiteral("base.png"));
    ASSERT_TRUE(photo().save(base));
    const QString gamma = dir.file(QStringLiteral("gamma.png"));
    // A gamma of 1.0 (linear light) with Rec. 709 primaries, as some
    // renderers write: far from sRGB in the shadows.
    ASSERT_TRUE(
        runTool(QStringLiteral("convert"),
                {base, QStringLiteral("-set"), QStringLiteral("gamma"), QStringLiteral("1.0"),
                 QStringLiteral("-define"), QStringLiteral("png:include-chunk=gAMA,cHRM"), gamma}));
    const DecodedImage d = decodeFile(gamma);
    ASSERT_TRUE(d.ok());
    ASSERT_FALSE(d.iccProfile.isEmpty());
    const QImage shown = colour::forSrgb(d.pages.first(), d.iccProfile);
    // Linear numbers encoded as sRGB: each one lifted by the sRGB curve.
    const QRgb in = d.pages.first().pixel(40, 30), out = shown.pixel(40, 30);
    auto encoded = [](int v) {
        const double x = v / 255.0;
        const double e = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
        return int(std::lround(e * 255));
    };
    EXPECT_NEAR(qGreen(out), encoded(qGreen(in)), 2);
    EXPECT_NEAR(qRed(out), encoded(qRed(in)), 2);

    const QString srgb = dir.file(QStringLiteral("srgb.png"));
    ASSERT_TRUE(runTool(QStringLiteral("convert"),
                        {base, QStringLiteral("-define"),
                         QStringLiteral("png:include-chunk=sRGB,gAMA,cHRM"), srgb}));
    const DecodedImage s = decodeFile(srgb);
    ASSERT_TRUE(s.ok());
    EXPECT_TRUE(colour::isSrgb(s.iccProfile));
}

TEST(ColourManagement, NclxCodePointsGiveTheirSpaces)
{
    EXPECT_TRUE(colour::profileFromNclx(1, 13).isEmpty()) << "sRGB needs no profile";
    EXPECT_TRUE(colour::profileFromNclx(77, 13).isEmpty()) << "unknown primaries";
    const QByteArray p3 = colour::profileFromNclx(12, 13);
    ASSERT_TRUE(colour::isUsable(p3));
    // Display P3 as Qt knows it, converted both ways: the same numbers.
    const QImage img = photo();
    const Difference d =
        difference(colour::convert(img, p3),
                   colour::convert(img, QColorSpace(QColorSpace::DisplayP3).iccProfile()));
    EXPECT_LT(d.max, 1.0) << d;
    EXPECT_TRUE(colour::isUsable(colour::profileFromNclx(9, 16))) << "BT.2020 PQ";
}

TEST(ColourManagement, HdrSignalsAreToneMappedForTheScreen)
{
    // Greys in BT.2020 with the PQ or HLG curve, on an sRGB screen. The
    // expected values come from the curves of ST 2084 and BT.2100 with 203
    // nits as the screen's white: 32 nits (PQ 0.40) is 16 % of it, sRGB
    // 111; HLG 0.50 is 51 nits, 25 %, sRGB 137; the reference white (PQ
    // 0.58, HLG 0.75) shows just below white, and 1,000 nits and more as white.
    struct Grey {
        int transfer;
        int code;  // the signal, 0..255
        int least; // what the screen shows, sRGB 0..255
        int most;
    };
    const Grey greys[] = {{16, 102, 108, 114}, {16, 148, 245, 254}, {16, 191, 254, 255},
                          {18, 128, 134, 140}, {18, 191, 245, 254}, {18, 230, 254, 255}};
    for (int transfer : {16, 18}) {
        const QByteArray profile = colour::profileFromNclx(9, transfer);
        ASSERT_TRUE(colour::isUsable(profile)) << transfer;
        QImage ramp(256, 1, QImage::Format_RGB32);
        for (int x = 0; x < 256; ++x)
            ramp.setPixel(x, 0, qRgb(x, x, x));
        const QImage shown = colour::convert(ramp, profile);
        ASSERT_FALSE(shown.isNull());
        for (int x = 1; x < 256; ++x)
            EXPECT_GE(qGreen(shown.pixel(x, 0)), qGreen(shown.pixel(x - 1, 0)))
                << "darker for a brighter signal, transfer " << transfer << " at " << x;
        for (const Grey &g : greys) {
            if (g.transfer != transfer)
                continue;
            const int v = qGreen(shown.pixel(g.code, 0));
            EXPECT_GE(v, g.least) << "transfer " << transfer << ", signal " << g.code;
            EXPECT_LE(v, g.most) << "transfer " << transfer << ", signal " << g.code;
        }
    }

    // JPEG XL says PQ in its own colour encoding rather than in nclx: the
    // reference white (58 % signal) shows near white there too, not near
    // black as libjxl's profile for PQ would give it.
    TempDir dir;
    const QString png = dir.file(QStringLiteral("white.png"));
    const QString jxl = dir.file(QStringLiteral("white.jxl"));
    ASSERT_TRUE(runTool(QStringLiteral("convert"),
                        {QStringLiteral("-size"), QStringLiteral("8x8"),
                         QStringLiteral("xc:rgb(58%,58%,57%)"), QStringLiteral("-depth"),
                         QStringLiteral("16"), QStringLiteral("-strip"), QStringLiteral("-define"),
                         QStringLiteral("png:exclude-chunk=gAMA,cHRM,sRGB"),
                         QStringLiteral("PNG48:") + png}));
    ASSERT_TRUE(runTool(QStringLiteral("cjxl"),
                        {png, jxl, QStringLiteral("-d"), QStringLiteral("0"), QStringLiteral("-x"),
                         QStringLiteral("color_space=RGB_D65_202_Rel_PeQ")}));
    const DecodedImage d = decodeFile(jxl);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    const QImage shown = colour::forSrgb(d.pages.first(), d.iccProfile);
    EXPECT_GE(qRed(shown.pixel(4, 4)), 245);
    EXPECT_LE(qRed(shown.pixel(4, 4)), 254);
}

TEST(ColourManagement, GifProfilesGoWithEveryFrame)
{
    TempDir dir;
    Made m;
    ASSERT_TRUE(animatedGif(icc("colord/AdobeRGB1998.icc"), "a.gif")(dir, m));
    QFile file(m.file), profile(icc("colord/AdobeRGB1998.icc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly) && profile.open(QIODevice::ReadOnly));
    const QByteArray gif = file.readAll(), adobe = profile.readAll();
    EXPECT_EQ(profiles::gifProfile(gif), adobe);
    const DecodedImage all = decodeFile(m.file);
    ASSERT_TRUE(all.ok()) << all.error.toStdString();
    EXPECT_EQ(all.pages.size(), 2);
    EXPECT_EQ(all.frameDelays.size(), 2) << "read as an animation";
    EXPECT_EQ(all.iccProfile, adobe);
    DecodeOptions first;
    first.allPages = false;
    EXPECT_EQ(decodeFile(m.file, first).iccProfile, adobe);
    // Cut inside the extension: no profile, and no reading past the end.
    const qsizetype at = gif.indexOf("ICCRGBG1");
    ASSERT_GT(at, 0);
    EXPECT_TRUE(profiles::gifProfile(gif.left(at + 500)).isEmpty());
    EXPECT_TRUE(profiles::gifProfile(gif.left(at - 2)).isEmpty());
    // The profile after the first frame still counts; another application's
    // extension is not a profile.
    QByteArray late = gif;
    late.replace(at, 8, "XMP DATA");
    EXPECT_EQ(profiles::gifProfile(late), adobe) << "the second frame's copy";
    late.replace(late.indexOf("ICCRGBG1"), 8, "XMP DATA");
    EXPECT_TRUE(profiles::gifProfile(late).isEmpty());
}

} // namespace
