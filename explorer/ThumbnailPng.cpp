#include "explorer/ThumbnailPng.h"

#include <QFile>

#include <png.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumora::thumbpng
{

namespace
{

[[noreturn]] void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void collectText(png_structp png, png_infop info, TextMap &out)
{
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; ++i) {
        if (text[i].key && text[i].text)
            out.insert(QByteArray(text[i].key), QByteArray(text[i].text));
    }
}

// Everything libpng may jump out of lives in `r` (the caller's), never in
// this frame's own objects.
struct ReadState {
    FILE *file = nullptr;
    const Check *check = nullptr;
    ReadResult *result = nullptr;
    std::vector<png_bytep> *rows = nullptr;
};

void readFile(png_structp png, png_infop info, ReadState &s)
{
    if (setjmp(png_jmpbuf(png))) {
        s.result->status = ReadStatus::Damaged;
        s.result->image = QImage();
        return;
    }
    png_init_io(png, s.file);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, 1 << 20);
    png_set_chunk_cache_max(png, 256);
    png_read_info(png, info);

    const QSize size(int(png_get_image_width(png, info)), int(png_get_image_height(png, info)));
    collectText(png, info, s.result->text);
    Verdict v = (*s.check)(size, s.result->text);
    if (v == Verdict::Reject) {
        s.result->status = ReadStatus::Rejected;
        return;
    }

    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    const bool hasAlpha =
        (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // QImage's 32-bit formats are 0xAARRGGBB words: B, G, R, A in memory.
    png_set_bgr(png);
    if (!hasAlpha)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
#else
    if (hasAlpha)
        png_set_swap_alpha(png);
    else
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
#endif
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(size.width()) * 4) {
        s.result->status = ReadStatus::Damaged;
        return;
    }

    s.result->image = QImage(size, QImage::Format_ARGB32);
    if (s.result->image.isNull()) {
        s.result->status = ReadStatus::Damaged;
        return;
    }
    s.rows->resize(size_t(size.height()));
    for (int y = 0; y < size.height(); ++y)
        (*s.rows)[size_t(y)] = s.result->image.scanLine(y);
    png_read_image(png, s.rows->data());
    png_read_end(png, info);

    if (v == Verdict::Undecided) {
        collectText(png, info, s.result->text);
        if ((*s.check)(size, s.result->text) != Verdict::Accept) {
            s.result->status = ReadStatus::Rejected;
            s.result->image = QImage();
            return;
        }
    }
    bool opaque = !hasAlpha;
    if (!opaque) {
        opaque = true;
        for (int y = 0; y < size.height() && opaque; ++y) {
            const auto *px = reinterpret_cast<const QRgb *>(s.result->image.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                if (qAlpha(px[x]) != 255) {
                    opaque = false;
                    break;
                }
            }
        }
    }
    if (opaque)
        s.result->image.reinterpretAsFormat(QImage::Format_RGB32);
    s.result->status = ReadStatus::Ok;
}

struct WriteState {
    QByteArray *out = nullptr;
    const QImage *rgba = nullptr;
    std::vector<png_text> *text = nullptr;
};

void appendBytes(png_structp png, png_bytep data, size_t length)
{
    auto *out = static_cast<QByteArray *>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

bool isOpaque(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *px = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(px[x]) != 255)
                return false;
        }
    }
    return true;
}

bool writeImage(png_structp png, png_infop info, WriteState &s)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, s.out, appendBytes, flushNothing);
    const QImage &img = *s.rgba;
    const bool alpha = img.format() == QImage::Format_RGBA8888;
    png_set_IHDR(png, info, png_uint_32(img.width()), png_uint_32(img.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.text->empty())
        png_set_text(png, info, s.text->data(), int(s.text->size()));
    // A thumbnail is written once and read on every visit. The Sub filter
    // alone costs about a tenth more bytes than libpng's adaptive choice but
    // undoes far faster than Paeth and Average rows when the file is read.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < img.height(); ++y)
        png_write_row(png, img.constScanLine(y));
    png_write_end(png, info);
    return true;
}

// libpng allocates a whole chunk before it reads it, so a few bytes that
// claim a gigabyte of text would cost that gigabyte: every chunk up to the
// end marker must fit in what is left of the file, the text after the image
// data too (libpng reads it at the end). The headers are read with pread, so
// the walk costs a few system calls and leaves the file's stream where it is.
bool chunksFit(FILE *file)
{
    const int fd = ::fileno(file);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    const qint64 size = st.st_size;
    for (qint64 at = 8; at + 8 <= size;) {
        unsigned char head[8];
        if (::pread(fd, head, sizeof head, off_t(at)) != ssize_t(sizeof head))
            return false;
        const qint64 length = qint64(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        if (length > size - at - 12)
            return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    return true;
}

} // namespace

ReadResult read(const QString &path, const Check &check)
{
    ReadResult result;
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "rbe");
    if (!file)
        return result; // Missing
    unsigned char sig[8];
    if (std::fread(sig, 1, sizeof sig, file) != sizeof sig ||
        png_sig_cmp(sig, 0, sizeof sig) != 0 || !chunksFit(file)) {
        std::fclose(file);
        result.status = ReadStatus::Damaged;
        return result;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        result.status = ReadStatus::Damaged;
        return result;
    }
    png_set_sig_bytes(png, sizeof sig);
    std::vector<png_bytep> rows;
    ReadState state{file, &check, &result, &rows};
    readFile(png, info, state);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return result;
}

QByteArray encode(const QImage &image, const TextList &text)
{
    if (image.isNull())
        return {};
    // Opaque pictures as RGB: a quarter smaller, and what other programs write.
    const QImage rgba =
        image.convertToFormat(image.hasAlphaChannel() && !isOpaque(image) ? QImage::Format_RGBA8888
                                                                          : QImage::Format_RGB888);
    // libpng keeps pointers to these until the write ends.
    std::vector<QByteArray> keep;
    keep.reserve(size_t(text.size()) * 2);
    std::vector<png_text> chunks;
    for (const auto &[key, value] : text) {
        keep.push_back(key);
        char *k = keep.back().data();
        keep.push_back(value);
        char *v = keep.back().data();
        png_text t{};
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = k;
        t.text = v;
        t.text_length = size_t(value.size());
        chunks.push_back(t);
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    QByteArray out;
    WriteState state{&out, &rgba, &chunks};
    const bool ok = writeImage(png, info, state);
    png_destroy_write_struct(&png, &info);
    return ok ? out : QByteArray();
}

} // namespace lumora::thumbpng
