#include "imaging/ColourManagement.h"

#include <lcms2.h>

#include <QColorSpace>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

namespace lumora::imaging::colour
{

namespace
{

std::atomic_bool g_enabled{true};

QMutex g_screenMutex;
QByteArray g_screen; // guarded by g_screenMutex

struct ProfileCloser {
    void operator()(void *p) const
    {
        if (p)
            cmsCloseProfile(p);
    }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

// lcms's sRGB, declared a version 2 profile as the sRGB files everyone
// converts with are: between a version 2 press profile and a version 4
// sRGB, lcms's perceptual intent rescales the black point, and CMYK photos
// would come out lighter in the shadows than in every other program.
cmsHPROFILE createSrgb()
{
    cmsHPROFILE p = cmsCreate_sRGBProfile();
    if (p)
        cmsSetProfileVersion(p, 2.1);
    return p;
}

Profile openProfile(const QByteArray &icc)
{
    if (icc.size() < 132)
        return Profile(createSrgb()); // empty or no profile: sRGB
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

QByteArray saveProfile(cmsHPROFILE p)
{
    cmsUInt32Number size = 0;
    if (!p || !cmsSaveProfileToMem(p, nullptr, &size) || size == 0)
        return {};
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(p, out.data(), &size))
        return {};
    return out;
}

double srgbDecode(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

bool closeXyz(const cmsCIEXYZ *a, const cmsCIEXYZ *b)
{
    constexpr double kTolerance = 0.002; // well below a visible difference
    return a && b && std::abs(a->X - b->X) < kTolerance && std::abs(a->Y - b->Y) < kTolerance &&
           std::abs(a->Z - b->Z) < kTolerance;
}

bool srgbCurve(const cmsToneCurve *curve)
{
    if (!curve)
        return false;
    for (int i = 1; i <= 16; ++i) {
        const double v = i / 16.0;
        if (std::abs(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v)) - srgbDecode(v)) > 0.003)
            return false;
    }
    return true;
}

// sRGB's colorants and curves, whoever made the profile: comparing bytes
// would miss every vendor's variant of the same space.
bool describesSrgb(cmsHPROFILE p)
{
    if (!p || cmsGetColorSpace(p) != cmsSigRgbData || !cmsIsMatrixShaper(p))
        return false;
    const Profile reference(createSrgb());
    for (const cmsTagSignature tag :
         {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        if (!closeXyz(static_cast<const cmsCIEXYZ *>(cmsReadTag(p, tag)),
                      static_cast<const cmsCIEXYZ *>(cmsReadTag(reference.get(), tag))))
            return false;
    }
    for (const cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        if (!srgbCurve(static_cast<const cmsToneCurve *>(cmsReadTag(p, tag))))
            return false;
    }
    return true;
}

// A grey profile as the RGB profile with its tone curve on all three
// channels: the neutral axis is all a grey picture uses, and pictures with
// alpha or a palette then need no grey-specific layout.
Profile greyAsRgb(cmsHPROFILE grey)
{
    const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(grey, cmsSigGrayTRCTag));
    if (!curve)
        return {};
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {
        {0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}}; // sRGB's
    cmsToneCurve *curves[3] = {const_cast<cmsToneCurve *>(curve), const_cast<cmsToneCurve *>(curve),
                               const_cast<cmsToneCurve *>(curve)};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

struct Facts {
    bool usable = false;
    bool srgb = false;
    QByteArray space;
};

class Cache
{
public:
    ~Cache()
    {
        for (cmsHTRANSFORM t : std::as_const(m_transforms))
            cmsDeleteTransform(t);
    }

    Facts facts(const QByteArray &icc)
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_facts.constFind(icc);
        if (it != m_facts.constEnd())
            return *it;
        Facts f;
        if (icc.size() >= 132) {
            f.space = icc.mid(16, 4);
            const Profile p = openProfile(icc);
            f.usable = p != nullptr;
            f.srgb = f.usable && describesSrgb(p.get());
        }
        if (m_facts.size() > 64)
            m_facts.clear();
        m_facts.insert(icc, f);
        return f;
    }

    // A transform kept for the pair of profiles and pixel layouts; null when
    // lcms cannot make one. Transforms made without lcms's one-pixel cache
    // may run on several threads at once.
    cmsHTRANSFORM transform(const QByteArray &source, const QByteArray &target, cmsUInt32Number in,
                            cmsUInt32Number out, cmsUInt32Number flags)
    {
        const Key key{source, target, in, out, flags};
        QMutexLocker lock(&m_mutex);
        auto it = m_transforms.constFind(key);
        if (it != m_transforms.constEnd())
            return *it;
        Profile from = openProfile(source);
        Profile to = openProfile(target);
        if (from && cmsGetColorSpace(from.get()) == cmsSigGrayData)
            from = greyAsRgb(from.get());
        if (to && cmsGetColorSpace(to.get()) != cmsSigRgbData)
            to.reset(); // a screen is RGB; anything else is a wrong profile
        cmsHTRANSFORM t = nullptr;
        if (from && to)
            t = cmsCreateTransform(from.get(), in, to.get(), out, INTENT_PERCEPTUAL,
                                   flags | cmsFLAGS_NOCACHE);
        if (m_transforms.size() > 32) {
            for (cmsHTRANSFORM old : std::as_const(m_transforms))
                cmsDeleteTransform(old);
            m_transforms.clear();
        }
        if (t)
            m_transforms.insert(key, t);
        return t;
    }

private:
    struct Key {
        QByteArray source, target;
        cmsUInt32Number in, out, flags;
        bool operator==(const Key &o) const
        {
            return in == o.in && out == o.out && flags == o.flags && source == o.source &&
                   target == o.target;
        }
    };
    friend size_t qHash(const Key &k, size_t seed)
    {
        return qHashMulti(seed, k.source, k.target, k.in, k.out, k.flags);
    }

    QMutex m_mutex;
    QHash<QByteArray, Facts> m_facts;
    QHash<Key, cmsHTRANSFORM> m_transforms;
};

Cache &cache()
{
    static Cache c;
    return c;
}

bool sameProfile(const QByteArray &a, const QByteArray &b)
{
    return a == b || (isSrgb(a) && isSrgb(b));
}

} // namespace

void setManagementEnabled(bool on)
{
    g_enabled = on;
}

bool managementEnabled()
{
    return g_enabled;
}

void setScreenProfile(const QByteArray &icc)
{
    const bool rgb = icc.isEmpty() || (isUsable(icc) && profileSpace(icc) == "RGB ");
    QMutexLocker lock(&g_screenMutex);
    g_screen = rgb && !isSrgb(icc) ? icc : QByteArray();
}

QByteArray screenProfile()
{
    QMutexLocker lock(&g_screenMutex);
    return g_screen;
}

bool isSrgb(const QByteArray &icc)
{
    return icc.isEmpty() || cache().facts(icc).srgb;
}

bool isUsable(const QByteArray &icc)
{
    return !icc.isEmpty() && cache().facts(icc).usable;
}

QByteArray profileSpace(const QByteArray &icc)
{
    return icc.isEmpty() ? QByteArray() : cache().facts(icc).space;
}

QImage convert(const QImage &image, const QByteArray &source, const QByteArray &target)
{
    if (image.isNull() || sameProfile(source, target) || !isUsable(source))
        return image;
    const QByteArray space = profileSpace(source);
    if (space != "RGB " && space != "GRAY")
        return image; // CMYK and the like were converted when decoded
    const bool deep = image.depth() > 32 || image.format() == QImage::Format_Grayscale16;
    const bool alpha = image.hasAlphaChannel();
    QImage work;
    cmsUInt32Number layout = 0;
    if (deep) {
        work = image.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
        layout = TYPE_RGBA_16;
    } else {
        work = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        layout = TYPE_BGRA_8; // QRgb in memory on a little-endian machine
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
        layout = TYPE_ARGB_8;
#endif
    }
    cmsHTRANSFORM t = cache().transform(source, target.isEmpty() ? QByteArray() : target, layout,
                                        layout, alpha ? cmsFLAGS_COPY_ALPHA : 0);
    if (!t || work.isNull())
        return image;
    if (work.constBits() == image.constBits())
        work.detach();
    if (work.isNull())
        return image;
    // Extra channels are left as they are without COPY_ALPHA: opaque stays
    // opaque in place.
    cmsDoTransformLineStride(t, work.constBits(), work.bits(), cmsUInt32Number(work.width()),
                             cmsUInt32Number(work.height()), cmsUInt32Number(work.bytesPerLine()),
                             cmsUInt32Number(work.bytesPerLine()), 0, 0);
    work.setColorSpace(isSrgb(target) ? QColorSpace(QColorSpace::SRgb) : QColorSpace());
    return work;
}

QImage forScreen(const QImage &image, const QByteArray &source)
{
    if (!managementEnabled())
        return image;
    const QByteArray screen = screenProfile();
    if (screen.isEmpty())
        return source.isEmpty() ? image : convert(image, source);
    // A screen of its own takes unprofiled pictures as the sRGB they are meant as.
    return convert(image, source.isEmpty() ? srgbProfile() : source, screen);
}

QImage forSrgb(const QImage &image, const QByteArray &source)
{
    if (!managementEnabled() || source.isEmpty())
        return image;
    return convert(image, source);
}

QByteArray defaultCmykProfile()
{
    static const QByteArray profile = [] {
        for (const char *path : {"/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                 "/usr/share/ghostscript/iccprofiles/default_cmyk.icc"}) {
            QFile file(QString::fromLatin1(path));
            if (file.size() < (1 << 20) && file.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = file.readAll();
                if (bytes.size() >= 132 && bytes.mid(16, 4) == "CMYK")
                    return bytes;
            }
        }
        return QByteArray();
    }();
    return profile;
}

void cmykRowToSrgb(const uchar *cmyk, QRgb *out, int count, const QByteArray &profile,
                   bool inverted)
{
    QByteArray chosen =
        profileSpace(profile) == "CMYK" && isUsable(profile) ? profile : defaultCmykProfile();
    const cmsUInt32Number in = inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
    const cmsUInt32Number outLayout = TYPE_ARGB_8;
#else
    const cmsUInt32Number outLayout = TYPE_BGRA_8;
#endif
    // 23 points a side keep every press picture within what other readers
    // give; lcms's high-resolution table cost each loader about 1.5 s on its
    // first CMYK picture, which a fuzzed TIFF of 123 bytes made plain.
    cmsHTRANSFORM t = chosen.isEmpty() ? nullptr
                                       : cache().transform(chosen, QByteArray(), in, outLayout,
                                                           cmsFLAGS_GRIDPOINTS(23));
    if (t) {
        for (int i = 0; i < count; ++i)
            out[i] = 0xFF000000u;
        cmsDoTransform(t, cmyk, out, cmsUInt32Number(count));
        return;
    }
    // No press profile at all: the plain ink formula.
    for (int i = 0; i < count; ++i) {
        const uchar *p = cmyk + 4 * i;
        auto ink = [&](int v) { return inverted ? v : 255 - v; };
        const int white = ink(p[3]);
        out[i] = qRgb(ink(p[0]) * white / 255, ink(p[1]) * white / 255, ink(p[2]) * white / 255);
    }
}

QImage cmykToSrgb(const uchar *cmyk, int width, int height, qsizetype stride,
                  const QByteArray &profile, bool inverted)
{
    QImage out(width, height, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < height; ++y)
        cmykRowToSrgb(cmyk + stride * y, reinterpret_cast<QRgb *>(out.scanLine(y)), width, profile,
                      inverted);
    out.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return out;
}

QByteArray srgbProfile()
{
    static const QByteArray bytes = [] {
        const Profile p(createSrgb());
        return saveProfile(p.get());
    }();
    return bytes;
}

QByteArray profileFromChromaticities(QPointF white, QPointF red, QPointF green, QPointF blue,
                                     double gamma)
{
    for (const QPointF &p : {white, red, green, blue})
        if (!(p.x() > 0 && p.x() < 1 && p.y() > 0 && p.y() < 1))
            return {};
    if (!(gamma > 0.1 && gamma < 10))
        return {};
    const cmsCIExyY w = {white.x(), white.y(), 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {red.x(), red.y(), 1.0}, {green.x(), green.y(), 1.0}, {blue.x(), blue.y(), 1.0}};
    cmsToneCurve *curve = cmsBuildGamma(nullptr, gamma);
    if (!curve)
        return {};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    const Profile p(cmsCreateRGBProfile(&w, &primaries, curves));
    cmsFreeToneCurve(curve);
    return p ? saveProfile(p.get()) : QByteArray();
}

namespace
{

// An HDR signal (PQ, or HLG shown on a 1000-nit display) for a screen
// without HDR: the reference white of 203 nits becomes the screen's white,
// so a photo's tones below it look as they would in SDR, and the highlights
// above it are rolled off smoothly instead of clipped. The curve gives the
// light relative to that white, for lcms to take to the screen's space.
cmsToneCurve *hdrToneCurve(bool pq)
{
    constexpr int kSamples = 4096;
    constexpr double kReferenceNits = 203.0;
    constexpr double kKnee = 0.9; // where the roll-off starts, of white
    std::vector<float> table(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const double v = double(i) / (kSamples - 1);
        double nits;
        if (pq) {
            // SMPTE ST 2084.
            constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
            constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
            const double p = std::pow(v, 1 / m2);
            nits = 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
        } else {
            // ITU-R BT.2100 HLG: the scene light, then the display's gamma
            // of 1.2 for a 1000-nit peak (per channel, a close enough stand-in
            // for the luminance-based system gamma).
            constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
            const double scene = v <= 0.5 ? v * v / 3 : (std::exp((v - c) / a) + b) / 12;
            nits = 1000 * std::pow(scene, 1.2);
        }
        const double x = nits / kReferenceNits;
        const double shown =
            x <= kKnee ? x : kKnee + (1 - kKnee) * (1 - std::exp(-(x - kKnee) / (1 - kKnee)));
        table[size_t(i)] = float(shown);
    }
    return cmsBuildTabulatedToneCurveFloat(nullptr, kSamples, table.data());
}

} // namespace

QByteArray profileFromNclx(int primaries, int transfer)
{
    struct Space {
        int code;
        double wx, wy, rx, ry, gx, gy, bx, by;
    };
    static constexpr Space kSpaces[] = {
        {1, 0.3127, 0.3290, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060},
        {2, 0.3127, 0.3290, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060}, // unspecified
        {5, 0.3127, 0.3290, 0.640, 0.330, 0.290, 0.600, 0.150, 0.060},
        {6, 0.3127, 0.3290, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070},
        {9, 0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046},
        {11, 0.3140, 0.3510, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060},
        {12, 0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060},
    };
    const Space *space = nullptr;
    for (const Space &s : kSpaces)
        if (s.code == primaries)
            space = &s;
    if (!space)
        return {};
    // Parametric type 4: Y = (aX + b)^g above d, cX below.
    const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    const double bt709[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    cmsToneCurve *curve = nullptr;
    switch (transfer) {
    case 2:
    case 13:
        if (primaries <= 2)
            return {}; // plain sRGB
        curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
        break;
    case 1:
    case 6:
    case 14:
    case 15:
        curve = cmsBuildParametricToneCurve(nullptr, 4, bt709);
        break;
    case 16:
    case 18:
        curve = hdrToneCurve(transfer == 16);
        break;
    case 4:
        curve = cmsBuildGamma(nullptr, 2.2);
        break;
    case 5:
        curve = cmsBuildGamma(nullptr, 2.8);
        break;
    case 8:
        curve = cmsBuildGamma(nullptr, 1.0);
        break;
    default:
        return {};
    }
    if (!curve)
        return {};
    const cmsCIExyY w = {space->wx, space->wy, 1.0};
    const cmsCIExyYTRIPLE p = {
        {space->rx, space->ry, 1.0}, {space->gx, space->gy, 1.0}, {space->bx, space->by, 1.0}};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfile(&w, &p, curves));
    cmsFreeToneCurve(curve);
    return profile ? saveProfile(profile.get()) : QByteArray();
}

} // namespace lumora::imaging::colour
