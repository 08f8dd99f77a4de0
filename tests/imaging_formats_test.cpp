// Today's formats (WebP, HEIF, AVIF, JPEG XL, camera RAW), each made at test
// time by its own encoder and decoded through the loader processes, then
// compared with the format's reference decoder.
#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTransform>
#include <QtEndian>

#include <cmath>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

enum class Source { Rgb8, Rgba8, Rgb16, Rgba16, Jpeg, Dng };

struct FormatCase {
    const char *name; // the file is name + "." + suffix
    const char *suffix;
    FormatCode format;
    Source source;
    // The encoder and the reference decoder: "{in}" and "{out}" are the paths.
    QStringList encode;
    QStringList reference;
    // What the picture's pixels must look like, relative to the source
    // (0 upright, else degrees clockwise; a negative value mirrors left-right).
    int turn = 0;
    // A profile the encoder was asked to keep.
    bool keepsIcc = false;
    int orientation = 1; // EXIF orientation of a JPEG or DNG source
};

constexpr int kWidth = 256;
constexpr int kHeight = 192;

// Smooth photo-like gradients inside the four quadrant colours, so a
// wrong turn or mirror shows and lossy encoders keep the colours.
QImage photo(bool alpha, bool deep)
{
    const QImage::Format format = deep ? (alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64)
                                       : (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QImage image(kWidth, kHeight, format);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool right = x >= kWidth / 2, bottom = y >= kHeight / 2;
            const QColor base =
                bottom ? (right ? kBottomRight : kBottomLeft) : (right ? kTopRight : kTopLeft);
            const double shade = qMin(1.0, 1.0 + 0.08 * std::sin(x / 17.0) * std::cos(y / 13.0));
            QColor c = QColor::fromRgbF(float(base.redF() * shade), float(base.greenF() * shade),
                                        float(base.blueF() * shade),
                                        alpha ? float(1.0 - 0.7 * x / kWidth) : 1.0f);
            image.setPixelColor(x, y, c);
        }
    }
    return image;
}

bool run(QStringList command, const QString &in, const QString &out, QString *log)
{
    for (QString &part : command)
        part.replace(QStringLiteral("{in}"), in).replace(QStringLiteral("{out}"), out);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.takeFirst(), command);
    const bool done = process.waitForFinished(120000);
    *log = QString::fromLocal8Bit(process.readAll());
    return done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           QFile::exists(out);
}

// Root mean square difference of premultiplied ARGB, 0..1: colours under
// full transparency do not count, as no one sees them.
double rmse(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (const int shift : {0, 8, 16, 24}) {
                const double d = (int((p[col] >> shift) & 0xFF) - int((q[col] >> shift) & 0xFF));
                sum += d * d;
            }
        }
    }
    return std::sqrt(sum / (4.0 * x.width() * x.height())) / 255.0;
}

QImage turned(const QImage &image, int turn)
{
    if (turn < 0)
        return image.mirrored(true, false);
    return turn ? image.transformed(QTransform().rotate(turn)) : image;
}

// A little-endian TIFF directory, written entry by entry.
class Ifd
{
public:
    // A tag added again replaces its earlier value.
    void add(quint16 tag, quint16 type, quint32 count, QByteArray value)
    {
        m_entries.removeIf([tag](const Entry &e) { return e.tag == tag; });
        m_entries.append({tag, type, count, value});
    }
    void shorts(quint16 tag, QList<quint16> values)
    {
        QByteArray b;
        for (quint16 v : values)
            b.append(le(v));
        add(tag, 3, quint32(values.size()), b);
    }
    void longs(quint16 tag, QList<quint32> values)
    {
        QByteArray b;
        for (quint32 v : values)
            b.append(le(v));
        add(tag, 4, quint32(values.size()), b);
    }
    void bytes(quint16 tag, QByteArray values) { add(tag, 1, quint32(values.size()), values); }
    void text(quint16 tag, const char *s)
    {
        add(tag, 2, quint32(strlen(s) + 1), QByteArray(s, qsizetype(strlen(s) + 1)));
    }
    void rationals(quint16 tag, quint16 type, QList<double> values)
    {
        QByteArray b;
        for (double v : values) {
            b.append(le(quint32(qint32(std::lround(v * 10000)))));
            b.append(le(quint32(10000)));
        }
        add(tag, type, quint32(values.size()), b);
    }
    // The directory at `at`, values beyond four bytes placed after it.
    QByteArray write(quint32 at, quint32 next) const
    {
        QList<Entry> sorted = m_entries;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
        QByteArray dir = le(quint16(sorted.size()));
        QByteArray extra;
        const quint32 extraAt = at + 2 + 12 * quint32(sorted.size()) + 4;
        for (const Entry &e : sorted) {
            dir += le(e.tag) + le(e.type) + le(e.count);
            if (e.value.size() <= 4) {
                dir += e.value + QByteArray(4 - e.value.size(), '\0');
            } else {
                dir += le(quint32(extraAt + extra.size()));
                extra += e.value;
                if (extra.size() % 2)
                    extra += '\0';
            }
        }
        return dir + le(next) + extra;
    }
    quint32 size() const { return quint32(write(0, 0).size()); }

    template <typename T> static QByteArray le(T v)
    {
        char b[sizeof(T)];
        qToLittleEndian(v, b);
        return QByteArray(b, sizeof(T));
    }

private:
    struct Entry {
        quint16 tag, type;
        quint32 count;
        QByteArray value;
    };
    QList<Entry> m_entries;
};

// A DNG as a camera writes one: an RGB preview in the first directory, the
// Bayer mosaic (RGGB, 16-bit, linear) in a sub-directory. The preview is
// all orange, so a test can tell which of the two it was given.
QByteArray cameraDng(const QImage &picture, int orientation, QSize declared = {})
{
    const int w = picture.width(), h = picture.height();
    if (!declared.isValid())
        declared = picture.size();
    QByteArray mosaic;
    mosaic.reserve(w * h * 2);
    auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = picture.pixel(x, y);
            const int v = (y % 2 == 0) ? (x % 2 == 0 ? qRed(p) : qGreen(p))
                                       : (x % 2 == 0 ? qGreen(p) : qBlue(p));
            mosaic += Ifd::le(quint16(std::lround(linear(v) * 60000)));
        }
    }
    const int pw = 64, ph = 48;
    const QByteArray preview = QByteArray(pw * ph, '\0').replace('\0', "\xFF\x80\x10");

    Ifd raw;
    raw.longs(254, {0});
    raw.longs(256, {quint32(declared.width())});
    raw.longs(257, {quint32(declared.height())});
    raw.shorts(258, {16});
    raw.shorts(259, {1});
    raw.shorts(262, {32803});
    raw.shorts(277, {1});
    raw.longs(278, {quint32(h)});
    raw.longs(279, {quint32(mosaic.size())});
    raw.shorts(284, {1});
    raw.shorts(33421, {2, 2});
    raw.bytes(33422, QByteArray("\x00\x01\x01\x02", 4));
    raw.longs(50717, {60000});

    Ifd main;
    main.longs(254, {1});
    main.longs(256, {quint32(pw)});
    main.longs(257, {quint32(ph)});
    main.shorts(258, {8, 8, 8});
    main.shorts(259, {1});
    main.shorts(262, {2});
    main.text(271, "Lumora");
    main.text(272, "Test Camera");
    main.shorts(274, {quint16(orientation)});
    main.shorts(277, {3});
    main.longs(278, {quint32(ph)});
    main.longs(279, {quint32(preview.size())});
    main.shorts(284, {1});
    main.bytes(50706, QByteArray("\x01\x04\x00\x00", 4));
    main.bytes(50707, QByteArray("\x01\x01\x00\x00", 4));
    main.text(50708, "Lumora Test Camera");
    // XYZ to camera: the camera sees linear sRGB.
    main.rationals(50721, 10,
                   {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570});
    main.rationals(50728, 5, {1, 1, 1});
    main.shorts(50778, {21});
    // Offsets are known once the sizes are: header, main IFD, raw IFD, data.
    main.longs(273, {0});
    main.longs(330, {0});
    raw.longs(273, {0});
    const quint32 mainAt = 8;
    const quint32 rawAt = mainAt + main.size();
    const quint32 previewAt = rawAt + raw.size();
    const quint32 mosaicAt = previewAt + quint32(preview.size());
    main.longs(273, {previewAt});
    main.longs(330, {rawAt});
    raw.longs(273, {mosaicAt});
    return QByteArray("II*\0", 4) + Ifd::le(mainAt) + main.write(mainAt, 0) + raw.write(rawAt, 0) +
           preview + mosaic;
}

const QStringList kDwebp{QStringLiteral("dwebp"), QStringLiteral("-quiet"), QStringLiteral("{in}"),
                         QStringLiteral("-o"), QStringLiteral("{out}")};
const QStringList kHeifConvert{QStringLiteral("heif-convert"), QStringLiteral("{in}"),
                               QStringLiteral("{out}")};
const QStringList kAvifdec{QStringLiteral("avifdec"), QStringLiteral("{in}"),
                           QStringLiteral("{out}")};
// djxl 0.7 as Debian ships it cannot write PNG or PPM for most files
// ("Alpha bit depth does not match image bit depth"); vips reads JPEG XL
// with the same libjxl and writes a faithful PNG.
const QStringList kJxlReference{QStringLiteral("vips"), QStringLiteral("copy"),
                                QStringLiteral("{in}"), QStringLiteral("{out}")};
const QStringList kDcrawEmu{QStringLiteral("sh"), QStringLiteral("-c"),
                            QStringLiteral("dcraw_emu -w -T '{in}' && mv '{in}.tiff' '{out}'")};

QStringList cmd(std::initializer_list<const char *> parts)
{
    QStringList out;
    for (const char *p : parts)
        out << QString::fromLatin1(p);
    return out;
}

const FormatCase kCases[] = {
    {"webp_lossy", "webp", FormatCode::Webp, Source::Rgb8,
     cmd({"cwebp", "-quiet", "-q", "90", "{in}", "-o", "{out}"}), kDwebp},
    {"webp_lossy_alpha", "webp", FormatCode::Webp, Source::Rgba8,
     cmd({"cwebp", "-quiet", "-q", "80", "{in}", "-o", "{out}"}), kDwebp},
    {"webp_lossless_alpha", "webp", FormatCode::Webp, Source::Rgba8,
     cmd({"cwebp", "-quiet", "-lossless", "-exact", "{in}", "-o", "{out}"}), kDwebp},
    {"webp_icc", "webp", FormatCode::Webp, Source::Rgb8,
     cmd({"cwebp", "-quiet", "-metadata", "icc", "{in}", "-o", "{out}"}), kDwebp, 0, true},
    {"heic_8bit", "heic", FormatCode::Heif, Source::Rgb8,
     cmd({"heif-enc", "-q", "85", "{in}", "-o", "{out}"}), kHeifConvert},
    {"heic_alpha", "heic", FormatCode::Heif, Source::Rgba8,
     cmd({"heif-enc", "-q", "85", "{in}", "-o", "{out}"}), kHeifConvert},
    {"heic_10bit", "heic", FormatCode::Heif, Source::Rgb16,
     cmd({"heif-enc", "-b", "10", "-q", "85", "{in}", "-o", "{out}"}), kHeifConvert},
    {"heic_12bit_alpha", "heic", FormatCode::Heif, Source::Rgba16,
     cmd({"heif-enc", "-b", "12", "-q", "85", "{in}", "-o", "{out}"}), kHeifConvert},
    {"heic_icc", "heic", FormatCode::Heif, Source::Rgb8,
     cmd({"heif-enc", "-q", "85", "{in}", "-o", "{out}"}), kHeifConvert, 0, true},
    {"avif_8bit", "avif", FormatCode::Avif, Source::Rgb8,
     cmd({"avifenc", "-s", "8", "{in}", "{out}"}), kAvifdec},
    {"avif_10bit_alpha", "avif", FormatCode::Avif, Source::Rgba16,
     cmd({"avifenc", "-s", "8", "-d", "10", "{in}", "{out}"}), kAvifdec},
    {"avif_12bit", "avif", FormatCode::Avif, Source::Rgb16,
     cmd({"avifenc", "-s", "8", "-d", "12", "{in}", "{out}"}), kAvifdec},
    // A grid of 2 x 2 tiles, put back together as one picture.
    {"avif_grid", "avif", FormatCode::Avif, Source::Rgb8,
     cmd({"avifenc", "-s", "8", "--grid", "2x2", "{in}", "{out}"}), kAvifdec},
    // irot turns anticlockwise in quarter turns; avifdec ignores it, so the
    // reference is libheif's own converter, and the source turned by hand.
    {"avif_irot_quarter", "avif", FormatCode::Avif, Source::Rgb8,
     cmd({"avifenc", "-s", "8", "--irot", "1", "{in}", "{out}"}), kHeifConvert, 270},
    {"avif_irot_half", "avif", FormatCode::Avif, Source::Rgb8,
     cmd({"avifenc", "-s", "8", "--irot", "2", "{in}", "{out}"}), kHeifConvert, 180},
    {"avif_imir", "avif", FormatCode::Avif, Source::Rgb8,
     cmd({"avifenc", "-s", "8", "--imir", "1", "{in}", "{out}"}), kHeifConvert, -1},
    {"jxl_lossy", "jxl", FormatCode::Jxl, Source::Rgb8,
     cmd({"cjxl", "--quiet", "-q", "90", "{in}", "{out}"}), kJxlReference},
    {"jxl_lossless_alpha", "jxl", FormatCode::Jxl, Source::Rgba8,
     cmd({"cjxl", "--quiet", "-d", "0", "{in}", "{out}"}), kJxlReference},
    {"jxl_16bit", "jxl", FormatCode::Jxl, Source::Rgb16,
     cmd({"cjxl", "--quiet", "-d", "0", "{in}", "{out}"}), kJxlReference},
    {"jxl_icc", "jxl", FormatCode::Jxl, Source::Rgb8,
     cmd({"cjxl", "--quiet", "-d", "0", "{in}", "{out}"}), kJxlReference, 0, true},
    // A JPEG turned by its EXIF orientation, recompressed losslessly.
    {"jxl_from_turned_jpeg", "jxl", FormatCode::Jxl, Source::Jpeg,
     cmd({"cjxl", "--quiet", "{in}", "{out}"}), kJxlReference, 90, false, 6},
    {"dng", "dng", FormatCode::Raw, Source::Dng, {}, kDcrawEmu},
    {"dng_turned", "dng", FormatCode::Raw, Source::Dng, {}, kDcrawEmu, 90, false, 6},
};

class FormatCases : public ::testing::TestWithParam<FormatCase>
{
};

// The profile the ICC cases carry: a free one Debian ships.
QByteArray sampleProfile()
{
    QFile file(QStringLiteral("/usr/share/color/icc/colord/AdobeRGB1998.icc"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeSource(const TempDir &dir, const FormatCase &c, const QImage &picture)
{
    const QString base = dir.file(QString::fromLatin1(c.name));
    switch (c.source) {
    case Source::Jpeg:
        return writeFile(base + QStringLiteral(".jpg"),
                         jpegWithOrientation(picture, quint16(c.orientation)));
    case Source::Dng:
        return writeFile(base + QStringLiteral(".dng"), cameraDng(picture, c.orientation));
    default:
        break;
    }
    const QString path = base + QStringLiteral("-source.png");
    QImage saved = picture;
    if (c.keepsIcc)
        saved.setColorSpace(QColorSpace::fromIccProfile(sampleProfile()));
    EXPECT_TRUE(saved.save(path, "PNG"));
    return path;
}

} // namespace

TEST_P(FormatCases, MatchesTheReferenceDecoder)
{
    const FormatCase &c = GetParam();
    TempDir dir;
    const bool alpha = c.source == Source::Rgba8 || c.source == Source::Rgba16;
    const bool deep = c.source == Source::Rgb16 || c.source == Source::Rgba16;
    const QImage picture = photo(alpha, deep);
    const QString source = writeSource(dir, c, picture);
    QString file = source;
    QString log;
    if (!c.encode.isEmpty()) {
        file = dir.file(QString::fromLatin1(c.name) + QLatin1Char('.') + QLatin1String(c.suffix));
        ASSERT_TRUE(run(c.encode, source, file, &log)) << log.toStdString();
    }
    const QString referencePath =
        dir.file(QString::fromLatin1(c.name) + QStringLiteral("-ref.png"));
    ASSERT_TRUE(run(c.reference, file, referencePath, &log)) << log.toStdString();
    QImage reference(referencePath);
    ASSERT_FALSE(reference.isNull());

    const DecodedImage d = decodeFile(file);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, c.format);
    ASSERT_EQ(d.pages.size(), 1);
    const QImage &page = d.pages.front();
    EXPECT_EQ(d.originalSize, page.size());
    EXPECT_TRUE(d.frameDelays.isEmpty());
    EXPECT_EQ(page.hasAlphaChannel(), alpha);
    EXPECT_LT(rmse(page, reference), 0.01) << "against the reference decoder";
    // The turn and mirror the file asks for, and no second one from EXIF.
    const QImage expected = turned(picture.convertToFormat(QImage::Format_ARGB32), c.turn);
    ASSERT_EQ(page.size(), expected.size());
    EXPECT_TRUE(hasQuadrants(turned(page, c.turn < 0 ? -1 : (360 - c.turn) % 360), 40));
    if (c.keepsIcc) {
        EXPECT_EQ(d.iccProfile, sampleProfile());
    } else {
        EXPECT_TRUE(d.iccProfile.isEmpty()) << "an sRGB picture needs no profile";
    }

    // A thumbnail fits its box, upright too.
    DecodeOptions small;
    small.scaledSize = QSize(64, 64);
    small.allPages = false;
    const DecodedImage thumb = decodeFile(file, small);
    ASSERT_TRUE(thumb.ok()) << thumb.error.toStdString();
    const QSize box = expected.size().scaled(64, 64, Qt::KeepAspectRatio);
    EXPECT_EQ(thumb.pages.front().size(), box);
    EXPECT_EQ(thumb.originalSize, expected.size());
    if (c.format != FormatCode::Raw) { // RAW thumbnails are the camera's preview
        EXPECT_TRUE(
            hasQuadrants(turned(thumb.pages.front(), c.turn < 0 ? -1 : (360 - c.turn) % 360), 48));
    }

    // A box of an eighth of the picture: a lossy JPEG XL stops at its DC
    // picture there. Every format still gives the full picture, shrunk.
    DecodeOptions tiny;
    tiny.scaledSize = QSize(kWidth / 8, kWidth / 8);
    tiny.allPages = false;
    const DecodedImage least = decodeFile(file, tiny);
    ASSERT_TRUE(least.ok()) << least.error.toStdString();
    const QImage &leastPage = least.pages.front();
    EXPECT_EQ(leastPage.size(), expected.size().scaled(tiny.scaledSize, Qt::KeepAspectRatio));
    EXPECT_EQ(leastPage.hasAlphaChannel(), alpha);
    if (c.format != FormatCode::Raw) {
        const QImage shrunk =
            page.scaled(leastPage.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(rmse(leastPage, shrunk), 0.03) << "against the full picture shrunk";
    }
}

// Damaged copies of every case: cut short anywhere, bytes flipped. Each
// gives a picture or a sentence from the decoder, never a crash or a hang
// of the loader (which would say "the decoder stopped on this file").
TEST_P(FormatCases, DamagedCopiesNeitherCrashNorHang)
{
    const FormatCase &c = GetParam();
    TempDir dir;
    const QString source = writeSource(dir, c, photo(c.source == Source::Rgba8, false));
    QString file = source;
    QString log;
    if (!c.encode.isEmpty()) {
        file = dir.file(QString::fromLatin1(c.name) + QLatin1Char('.') + QLatin1String(c.suffix));
        ASSERT_TRUE(run(c.encode, source, file, &log)) << log.toStdString();
    }
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const QString name = QStringLiteral("damaged.") + QLatin1String(c.suffix);
    QList<QByteArray> damaged;
    for (const double part : {0.02, 0.1, 0.3, 0.6, 0.9, 0.99})
        damaged << bytes.left(qsizetype(bytes.size() * part));
    QRandomGenerator random(quint32(qHash(QByteArray(c.name))));
    for (int i = 0; i < 12; ++i) {
        QByteArray copy = bytes;
        const int flips = 1 + i % 4;
        for (int f = 0; f < flips; ++f) {
            // Headers are where parsers trust lengths: half the flips land there.
            const qsizetype at = i % 2 ? random.bounded(qMin<qsizetype>(copy.size(), 512))
                                       : random.bounded(copy.size());
            copy[at] = char(copy[at] ^ (1 << random.bounded(8)));
        }
        damaged << copy;
    }
    for (const QByteArray &copy : damaged) {
        for (const bool thumbnail : {false, true}) {
            DecodeOptions options;
            if (thumbnail)
                options.scaledSize = QSize(64, 64);
            const DecodedImage d = decodeData(copy, options, name);
            EXPECT_TRUE(d.ok() || !d.error.isEmpty());
            EXPECT_FALSE(d.error.contains(QStringLiteral("decoder stopped")))
                << d.error.toStdString() << " at size " << copy.size();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatCases, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Files the libraries' own repositories keep (tests/data/formats/README):
// those with a reference must match it, the rest (fuzzers' findings,
// stripped camera files) give a picture or a sentence, never a crash.
struct PublicFile {
    const char *name;
    FormatCode format;
    QStringList reference; // empty: no picture is promised
};

const PublicFile kPublicFiles[] = {
    {"libwebp-test.webp", FormatCode::Webp, kDwebp},
    {"libheif-fuzz-avif32.heif", FormatCode::Avif, kHeifConvert},
    {"exiftool-RIFF.webp", FormatCode::Webp, kDwebp},
    {"libheif-fuzz-avif32-mini.heif", FormatCode::Avif, {}},
    {"libheif-fuzz-avc32.heif", FormatCode::Heif, {}},
    {"libheif-fuzz-clap-overflow-divide-zero.heic", FormatCode::Heif, {}},
    {"libheif-fuzz-clusterfuzz-5643900194127872.heic", FormatCode::Heif, {}},
    {"libheif-fuzz-clusterfuzz-5671864958976000.heic", FormatCode::Heif, {}},
    {"exiftool-QuickTime.heic", FormatCode::Heif, {}},
    {"exiftool-JXL.jxl", FormatCode::Jxl, {}},
    {"exiftool-JXL2.jxl", FormatCode::Jxl, {}},
    {"exiftool-CanonRaw.cr2", FormatCode::Raw, {}},
    {"exiftool-DNG.dng", FormatCode::Raw, {}},
    {"exiftool-FujiFilm.raf", FormatCode::Raw, {}},
    {"exiftool-Nikon.nef", FormatCode::Raw, {}},
    {"exiftool-Panasonic.rw2", FormatCode::Raw, {}},
};

class PublicFiles : public ::testing::TestWithParam<PublicFile>
{
};

TEST_P(PublicFiles, MatchTheReferenceOrAreRefusedCleanly)
{
    const PublicFile &f = GetParam();
    const QString path = QStringLiteral(LUMORA_TEST_DATA "/formats/") + QLatin1String(f.name);
    ASSERT_TRUE(QFile::exists(path));
    for (const bool thumbnail : {false, true}) {
        DecodeOptions options;
        if (thumbnail)
            options.scaledSize = QSize(64, 64);
        const DecodedImage d = decodeFile(path, options);
        EXPECT_TRUE(d.ok() || !d.error.isEmpty());
        EXPECT_FALSE(d.error.contains(QStringLiteral("decoder stopped"))) << d.error.toStdString();
        if (d.ok()) {
            EXPECT_EQ(d.format, f.format);
        }
        // A stripped RAW file holds no sensor data: never a full-size
        // picture of nothing, at most the camera's preview.
        if (f.format == FormatCode::Raw && !thumbnail) {
            EXPECT_FALSE(d.ok()) << d.originalSize.width() << "x" << d.originalSize.height();
        }
    }
    if (f.reference.isEmpty())
        return;
    TempDir dir;
    const QString referencePath = dir.file(QStringLiteral("ref.png"));
    QString log;
    ASSERT_TRUE(run(f.reference, path, referencePath, &log)) << log.toStdString();
    const DecodedImage d = decodeFile(path);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_LT(rmse(d.pages.front(), QImage(referencePath)), 0.01);
}

INSTANTIATE_TEST_SUITE_P(Libraries, PublicFiles, ::testing::ValuesIn(kPublicFiles),
                         [](const auto &info) {
                             std::string n = info.param.name;
                             for (char &c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

TEST(FormatCases, AnimatedWebpGivesEveryFrameWithItsDelay)
{
    TempDir dir;
    const QImage first = photo(false, false);
    const QImage second = turned(first, 180);
    const QString a = dir.file(QStringLiteral("f1.png")), b = dir.file(QStringLiteral("f2.png"));
    ASSERT_TRUE(first.save(a) && second.save(b));
    const QString out = dir.file(QStringLiteral("anim.webp"));
    QString log;
    ASSERT_TRUE(
        run(cmd({"img2webp", "-lossless", "-d", "80", "{in}", "-d", "150", "f2", "-o", "{out}"})
                .replaceInStrings(QStringLiteral("f2"), b),
            a, out, &log))
        << log.toStdString();
    const DecodedImage all = decodeFile(out);
    ASSERT_TRUE(all.ok()) << all.error.toStdString();
    EXPECT_EQ(all.format, FormatCode::Webp);
    ASSERT_EQ(all.pages.size(), 2);
    EXPECT_EQ(all.frameDelays, (QList<int>{80, 150}));
    EXPECT_LT(rmse(all.pages[0], first), 0.002);
    EXPECT_LT(rmse(all.pages[1], second), 0.002);

    DecodeOptions thumb;
    thumb.allPages = false;
    thumb.scaledSize = QSize(64, 64);
    const DecodedImage one = decodeFile(out, thumb);
    ASSERT_TRUE(one.ok());
    ASSERT_EQ(one.pages.size(), 1);
    EXPECT_TRUE(one.frameDelays.isEmpty());
    EXPECT_TRUE(hasQuadrants(one.pages.front(), 40)); // the first frame
}

// A lossy JPEG XL large enough to keep its DC picture apart from the
// detail: a thumbnail of an eighth of its size or less is made from the DC
// picture alone, and looks like the full picture shrunk.
TEST(FormatCases, JxlThumbnailsStopAtTheDcPicture)
{
    TempDir dir;
    const QString source = dir.file(QStringLiteral("s.png"));
    // Lossless files (modular, no DC picture of that kind) decode in full.
    for (const auto &[alpha, distance] :
         {std::pair{false, "1"}, std::pair{true, "1"}, std::pair{false, "0"}}) {
        const QImage big =
            photo(alpha, false).scaled(1200, 900, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ASSERT_TRUE(big.save(source));
        const QString out = dir.file(QStringLiteral("t%1%2.jxl").arg(alpha).arg(distance));
        QString log;
        ASSERT_TRUE(
            run(cmd({"cjxl", "--quiet", "-d", distance, "{in}", "{out}"}), source, out, &log))
            << log.toStdString();
        const DecodedImage full = decodeFile(out);
        ASSERT_TRUE(full.ok()) << full.error.toStdString();
        for (const int box : {140, 100, 64}) {
            DecodeOptions options;
            options.scaledSize = QSize(box, box);
            options.allPages = false;
            const DecodedImage d = decodeFile(out, options);
            ASSERT_TRUE(d.ok()) << d.error.toStdString();
            EXPECT_EQ(d.originalSize, QSize(1200, 900));
            const QImage &thumb = d.pages.front();
            EXPECT_EQ(thumb.size(), QSize(box, box * 3 / 4));
            EXPECT_EQ(thumb.format(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            const QImage shrunk = full.pages.front().scaled(thumb.size(), Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation);
            EXPECT_LT(rmse(thumb, shrunk), 0.02)
                << box << " px, alpha " << alpha << ", distance " << distance;
            EXPECT_TRUE(hasQuadrants(thumb, 48));
        }
    }
}

TEST(FormatCases, HeifThumbnailsUseTheStoredThumbnail)
{
    TempDir dir;
    const QString source = dir.file(QStringLiteral("s.png"));
    ASSERT_TRUE(photo(false, false).save(source));
    const QString out = dir.file(QStringLiteral("t.heic"));
    QString log;
    ASSERT_TRUE(run(cmd({"heif-enc", "-t", "96", "{in}", "-o", "{out}"}), source, out, &log));
    DecodeOptions options;
    options.scaledSize = QSize(64, 64);
    const DecodedImage d = decodeFile(out, options);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.originalSize, QSize(kWidth, kHeight));
    EXPECT_EQ(d.pages.front().size(), QSize(64, 48));
    EXPECT_TRUE(hasQuadrants(d.pages.front(), 48));
}

TEST(FormatCases, RawThumbnailIsTheCameraPreviewAndTheViewerGetsTheDevelopedPicture)
{
    TempDir dir;
    const QString file =
        writeFile(dir.file(QStringLiteral("p.dng")), cameraDng(photo(false, false), 6));
    DecodeOptions options;
    options.scaledSize = QSize(32, 32);
    const DecodedImage thumb = decodeFile(file, options);
    ASSERT_TRUE(thumb.ok()) << thumb.error.toStdString();
    // The all-orange preview, turned as the camera was held.
    EXPECT_EQ(thumb.pages.front().size(), QSize(24, 32));
    EXPECT_TRUE(near(thumb.pages.front().pixel(12, 16), QColor(255, 128, 16), 8));
    const DecodedImage full = decodeFile(file);
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(full.pages.front().size(), QSize(kHeight, kWidth));
    EXPECT_FALSE(near(full.pages.front().pixel(96, 128), QColor(255, 128, 16), 40));
}

TEST(FormatCases, RawNeedsACameraExtensionAndARawHeader)
{
    const QByteArray tiff = multiPageTiff({quadrants(8, 8)});
    EXPECT_EQ(detectFormat(tiff, QStringLiteral("a.tif")), FormatCode::Tiff);
    EXPECT_EQ(detectFormat(tiff, QStringLiteral("a.nef")), FormatCode::Raw);
    EXPECT_EQ(detectFormat(QByteArray("FUJIFILMCCD-RAW 0201"), QStringLiteral("a.raf")),
              FormatCode::Raw);
    EXPECT_EQ(detectFormat(QByteArray("FUJIFILMCCD-RAW 0201"), QStringLiteral("a.tif")),
              FormatCode::Unknown);
    EXPECT_EQ(detectFormat(QByteArray("not a raw at all"), QStringLiteral("a.cr2")),
              FormatCode::Unknown);
}

TEST(FormatCases, BrandsTellHeicFromAvifAndFromVideo)
{
    auto ftyp = [](const char *major, QList<const char *> compatible) {
        QByteArray box = QByteArray(major, 4) + QByteArray(4, '\0');
        for (const char *c : compatible)
            box += QByteArray(c, 4);
        return Ifd::le(qToBigEndian(quint32(box.size() + 8))) + "ftyp" + box;
    };
    EXPECT_EQ(detectFormat(ftyp("heic", {"mif1", "heic"})), FormatCode::Heif);
    EXPECT_EQ(detectFormat(ftyp("mif1", {"mif1", "heic"})), FormatCode::Heif);
    EXPECT_EQ(detectFormat(ftyp("avif", {"mif1", "miaf"})), FormatCode::Avif);
    EXPECT_EQ(detectFormat(ftyp("mif1", {"avif", "mif1"})), FormatCode::Avif);
    EXPECT_EQ(detectFormat(ftyp("isom", {"isom", "mp41"})), FormatCode::Unknown);
    EXPECT_EQ(detectFormat(ftyp("qt  ", {"qt  "})), FormatCode::Unknown);
}

TEST(FormatCases, AbsurdDeclaredSizesAreRefusedBeforeDecoding)
{
    // A small HEIC whose item properties claim 20000 x 20000 pixels.
    TempDir dir;
    const QString source = dir.file(QStringLiteral("s.png"));
    ASSERT_TRUE(photo(false, false).save(source));
    const QString out = dir.file(QStringLiteral("s.heic"));
    QString log;
    ASSERT_TRUE(run(cmd({"heif-enc", "{in}", "-o", "{out}"}), source, out, &log));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray heic = file.readAll();
    const qsizetype ispe = heic.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    heic.replace(ispe + 8, 8, Ifd::le(qToBigEndian(quint32(20000))).repeated(2));
    const DecodedImage h = decodeData(heic, {}, QStringLiteral("huge.heic"));
    EXPECT_FALSE(h.ok());
    EXPECT_TRUE(h.error.contains(QStringLiteral("too large"))) << h.error.toStdString();

    // A DNG of a few hundred kilobytes claiming 100000 x 100000 pixels.
    const QByteArray dng = cameraDng(photo(false, false), 1, QSize(100000, 100000));
    const DecodedImage d = decodeData(dng, {}, QStringLiteral("huge.dng"));
    EXPECT_FALSE(d.ok());
    EXPECT_FALSE(d.error.isEmpty());

    // WebP's largest (16383 x 16383) with no pixel data after its header.
    QByteArray vp8l("\x2F", 1);
    vp8l += Ifd::le(quint32(16382) | (quint32(16382) << 14) | (1u << 28));
    vp8l += QByteArray(16, '\0');
    const QByteArray webp = QByteArray("RIFF") + Ifd::le(quint32(vp8l.size() + 12)) + "WEBPVP8L" +
                            Ifd::le(quint32(vp8l.size())) + vp8l;
    const DecodedImage w = decodeData(webp, {}, QStringLiteral("huge.webp"));
    EXPECT_FALSE(w.ok());
    EXPECT_FALSE(w.error.isEmpty());
}
