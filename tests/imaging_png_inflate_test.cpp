// The one-pass reader of 8-bit RGB and RGBA PNGs against Qt's reader, on
// files written by libpng with each row filter and with the chunks photo
// tools add; every file it leaves alone must come back to the usual reader.
#include "imaging/PngInflate.h"

#include "imaging/Decoder.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <vector>

using namespace lumora::imaging;

namespace
{

struct PngCase {
    const char *name;
    bool alpha = false;
    int filters = PNG_FILTER_PAETH; // libpng's filter mask
    bool text = false;              // tEXt, zTXt and iTXt (plain and packed), some after the data
    bool srgb = false;
    bool phys = false;
    bool exif = false;
    // Chunks this reader leaves to the usual one.
    bool gamma = false;
    bool transparentColour = false;
    bool interlaced = false;
    bool deep = false;
    bool fastPath = true;
};

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))
        ->append(reinterpret_cast<char *>(data), qsizetype(length));
}
void noFlush(png_structp) {}

constexpr int kW = 203, kH = 71; // odd sizes: rows not a multiple of anything

// Noisy gradients, so every filter sees large and small differences.
QByteArray writePng(const PngCase &c)
{
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    const int channels = c.alpha ? 4 : 3;
    const int depth = c.deep ? 16 : 8;
    png_set_IHDR(png, info, kW, kH, depth, c.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, c.filters);
    if (c.srgb)
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (c.gamma)
        png_set_gAMA(png, info, 1 / 1.8);
    if (c.phys)
        png_set_pHYs(png, info, 3780, 2835, PNG_RESOLUTION_METER);
    if (c.transparentColour) {
        png_color_16 clear{0, 10, 20, 30, 0};
        png_set_tRNS(png, info, nullptr, 0, &clear);
    }
    std::vector<png_text> texts;
    static char kTitle[] = "Title", kTitleValue[] = "Caf\xe9 at dusk";
    static char kXmp[] = "XML:com.adobe.xmp",
                kXmpValue[] = "<x:xmpmeta><rdf:li>Rating 4</rdf:li></x:xmpmeta>";
    static char kComment[] = "Comment", kCommentValue[] = "Stra\xc3\x9f"
                                                          "e, \xe2\x82\xac 5";
    static char kAuthor[] = "Author", kAuthorValue[] = "\xc3\x85sa";
    static char kLang[] = "de", kEmpty[] = "";
    if (c.text) {
        texts.push_back({PNG_TEXT_COMPRESSION_NONE, kTitle, kTitleValue, 0, 0, nullptr, nullptr});
        texts.push_back({PNG_TEXT_COMPRESSION_zTXt, kXmp, kXmpValue, 0, 0, nullptr, nullptr});
        texts.push_back({PNG_ITXT_COMPRESSION_NONE, kComment, kCommentValue, 0, 0, kLang, kEmpty});
        png_set_text(png, info, texts.data(), int(texts.size()));
    }
    static png_byte kExif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    if (c.exif)
        png_set_eXIf_1(png, info, sizeof kExif, kExif);
    png_write_info(png, info);
    png_set_interlace_handling(png);
    const int samples = kW * channels;
    std::vector<png_byte> row(size_t(samples) * (depth / 8));
    const int passes = c.interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < kH; ++y) {
            for (int i = 0; i < samples; ++i) {
                const int x = i / channels, ch = i % channels;
                int v =
                    (x * (ch + 1) * 3 + y * (5 - ch) + ((x * 7919 + y * 104729 + ch) % 23)) & 0xff;
                if (ch == 3)
                    v = (x + y * 3) & 0xff;
                if (depth == 16) {
                    row[size_t(i) * 2] = png_byte(v);
                    row[size_t(i) * 2 + 1] = png_byte(v ^ 0x5a);
                } else {
                    row[size_t(i)] = png_byte(v);
                }
            }
            png_write_row(png, row.data());
        }
    }
    if (c.text) {
        // A packed iTXt after the data, where libpng's end info reads it.
        png_infop tail = png_create_info_struct(png);
        png_text after{PNG_ITXT_COMPRESSION_zTXt, kAuthor, kAuthorValue, 0, 0, kLang, kEmpty};
        png_set_text(png, tail, &after, 1);
        png_write_end(png, tail);
        png_destroy_info_struct(png, &tail);
    } else {
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &body)
{
    const QByteArray typed = QByteArray(type, 4) + body;
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size())));
    for (quint32 v : {quint32(body.size())})
        for (int i = 0; i < 4; ++i)
            out += char(v >> (24 - 8 * i));
    out += typed;
    for (int i = 0; i < 4; ++i)
        out += char(crc >> (24 - 8 * i));
}

// An 8-bit RGB PNG around rows given as stored (filter byte first).
QByteArray handmadePng(int width, int height, const QByteArray &rows)
{
    QByteArray header;
    for (quint32 v : {quint32(width), quint32(height)})
        for (int i = 0; i < 4; ++i)
            header += char(v >> (24 - 8 * i));
    header += QByteArray("\x08\x02\x00\x00\x00", 5);
    QByteArray packed(qsizetype(compressBound(uLong(rows.size()))), Qt::Uninitialized);
    uLongf packedSize = uLongf(packed.size());
    compress(reinterpret_cast<Bytef *>(packed.data()), &packedSize,
             reinterpret_cast<const Bytef *>(rows.constData()), uLong(rows.size()));
    packed.truncate(qsizetype(packedSize));
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    appendChunk(out, "IHDR", header);
    appendChunk(out, "IDAT", packed);
    appendChunk(out, "IEND", {});
    return out;
}

QImage readWithQt(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

class PlainPng : public ::testing::TestWithParam<PngCase>
{
};

TEST_P(PlainPng, ReadsAsQtDoesOrLeavesItToQt)
{
    const PngCase &c = GetParam();
    const QByteArray file = writePng(c);
    ASSERT_FALSE(file.isEmpty());
    const QImage qt = readWithQt(file);
    ASSERT_FALSE(qt.isNull());
    const std::optional<DecodedImage> plain = decodePlainPng(file, {});
    if (!c.fastPath) {
        EXPECT_FALSE(plain.has_value()) << "took a file the usual reader must read";
        return;
    }
    ASSERT_TRUE(plain.has_value());
    ASSERT_TRUE(plain->ok()) << plain->error.toStdString();
    EXPECT_EQ(plain->format, FormatCode::Png);
    EXPECT_EQ(plain->bitsPerPixel, c.alpha ? 32 : 24);
    EXPECT_EQ(plain->originalSize, QSize(kW, kH));
    const QImage &got = plain->pages.first();
    EXPECT_EQ(got.format(), qt.format());
    ASSERT_EQ(got.size(), qt.size());
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(got.pixel(x, y), qt.pixel(x, y)) << "at " << x << "," << y;
    EXPECT_EQ(got.dotsPerMeterX(), qt.dotsPerMeterX());
    EXPECT_EQ(got.dotsPerMeterY(), qt.dotsPerMeterY());
    EXPECT_EQ(got.colorSpace(), qt.colorSpace());
    EXPECT_EQ(got.textKeys(), qt.textKeys());
    for (const QString &key : qt.textKeys())
        EXPECT_EQ(got.text(key), qt.text(key)) << key.toStdString();
    if (c.text) {
        EXPECT_EQ(got.textKeys().size(), 4);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlainPng,
    ::testing::Values(
        PngCase{.name = "rgb_none", .filters = PNG_FILTER_NONE},
        PngCase{.name = "rgb_sub", .filters = PNG_FILTER_SUB},
        PngCase{.name = "rgb_up", .filters = PNG_FILTER_UP},
        PngCase{.name = "rgb_average", .filters = PNG_FILTER_AVG},
        PngCase{.name = "rgb_paeth", .filters = PNG_FILTER_PAETH},
        PngCase{.name = "rgb_adaptive", .filters = PNG_ALL_FILTERS},
        PngCase{.name = "rgba_adaptive", .alpha = true, .filters = PNG_ALL_FILTERS},
        PngCase{.name = "rgba_average", .alpha = true, .filters = PNG_FILTER_AVG},
        PngCase{.name = "photo_tool_chunks",
                .filters = PNG_ALL_FILTERS,
                .text = true,
                .phys = true,
                .exif = true},
        PngCase{.name = "srgb", .srgb = true},
        PngCase{.name = "gamma", .gamma = true, .fastPath = false},
        PngCase{.name = "transparent_colour", .transparentColour = true, .fastPath = false},
        PngCase{.name = "interlaced", .interlaced = true, .fastPath = false},
        PngCase{.name = "deep", .deep = true, .fastPath = false}),
    [](const auto &info) { return std::string(info.param.name); });

// A damaged file is never this reader's: the usual reader reports it as it
// always did.
TEST(PlainPngDamage, FaultsGoBackToTheUsualReader)
{
    const QByteArray file = writePng(PngCase{.name = "photo", .filters = PNG_ALL_FILTERS});
    ASSERT_FALSE(file.isEmpty());
    const qsizetype idat = file.indexOf("IDAT");
    ASSERT_GT(idat, 0);

    QByteArray badCrc = file;
    badCrc[idat + 40] = char(badCrc[idat + 40] ^ 0x10);
    EXPECT_FALSE(decodePlainPng(badCrc, {}).has_value());

    const QByteArray cut = file.left(idat + 300);
    EXPECT_FALSE(decodePlainPng(cut, {}).has_value());
    const DecodedImage shown = decodeDataInProcess(cut, {});
    // Never a clean success: a note with what could be read, or a message.
    EXPECT_TRUE(shown.damaged() || (!shown.ok() && !shown.error.isEmpty()));

    // Rows made by hand: one more row than the data holds, and a filter
    // byte past the five PNG defines.
    QByteArray rows;
    for (int y = 0; y < 4; ++y)
        rows += char(y == 2 ? 5 : 1) + QByteArray(6 * 3, char(y * 9));
    EXPECT_FALSE(decodePlainPng(handmadePng(6, 5, rows), {}).has_value());
    EXPECT_FALSE(decodePlainPng(handmadePng(6, 4, rows), {}).has_value());
    rows[2 * 19] = 4;
    EXPECT_TRUE(decodePlainPng(handmadePng(6, 4, rows), {}).has_value());
}

// Shrinking for a thumbnail and the cancel flag act as in every reader.
TEST(PlainPngOptions, ScalesAndCancels)
{
    const QByteArray file = writePng(PngCase{.name = "photo", .filters = PNG_ALL_FILTERS});
    DecodeOptions small;
    small.scaledSize = QSize(50, 50);
    const auto scaled = decodePlainPng(file, small);
    ASSERT_TRUE(scaled && scaled->ok());
    EXPECT_EQ(scaled->pages.first().width(), 50);
    EXPECT_EQ(scaled->originalSize, QSize(kW, kH));

    const std::atomic_bool cancelled{true};
    DecodeOptions stop;
    stop.cancel = &cancelled;
    const auto none = decodePlainPng(file, stop);
    ASSERT_TRUE(none.has_value());
    EXPECT_FALSE(none->ok());
}

} // namespace
