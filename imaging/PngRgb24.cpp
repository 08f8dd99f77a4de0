#include "imaging/PngRgb24.h"

#include "imaging/DecodeSupport.h"

#include <png.h>

#include <QIODevice>
#include <QtEndian>

#include <csetjmp>
#include <memory>
#include <vector>

namespace lumora::imaging
{

namespace
{

struct ReadState {
    QIODevice *device = nullptr;
    QImage image;
    std::vector<png_bytep> rows;
    const DecodeOptions *options = nullptr;
    bool cancelled = false;
};

void readData(png_structp png, png_bytep out, png_size_t length)
{
    auto *state = static_cast<ReadState *>(png_get_io_ptr(png));
    if (state->device->read(reinterpret_cast<char *>(out), qint64(length)) != qint64(length))
        png_error(png, "the file ends early");
}

void rowDone(png_structp png, png_uint_32, int)
{
    auto *state = static_cast<ReadState *>(png_get_io_ptr(png));
    if (state && support::isCancelled(*state->options)) {
        state->cancelled = true;
        png_error(png, "cancelled");
    }
}

void quietWarning(png_structp, png_const_charp) {}

void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

} // namespace

QSize rgb8PngSize(const QByteArray &head)
{
    static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    if (head.size() < 29 || !head.startsWith(QByteArray::fromRawData(kSignature, 8)) ||
        head.mid(12, 4) != "IHDR")
        return {};
    const auto w = qFromBigEndian<quint32>(head.constData() + 16);
    const auto h = qFromBigEndian<quint32>(head.constData() + 20);
    if (quint8(head[24]) != 8 || quint8(head[25]) != 2 || w == 0 || h == 0 || w > 0x7fffffffu ||
        h > 0x7fffffffu)
        return {};
    return QSize(int(w), int(h));
}

bool wantsRgb24Png(const QByteArray &head)
{
    const QSize size = rgb8PngSize(head);
    return size.isValid() && !support::fitsBudget(size, 32) && support::fitsBudget(size, 24);
}

int declaredBudgetBits(const QByteArray &head)
{
    return rgb8PngSize(head).isValid() ? 24 : 32;
}

DecodedImage decodeRgb24Png(QIODevice &device, const DecodeOptions &options)
{
    using namespace support;
    auto state = std::make_unique<ReadState>();
    state->device = &device;
    state->options = &options;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, quietWarning);
    if (!png)
        return failure(QStringLiteral("There is not enough memory to read the image."));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return failure(QStringLiteral("There is not enough memory to read the image."));
    }
    // Everything that must survive the jump lives in `state`, whose pointer
    // is not changed after this point.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return failure(state->cancelled ? cancelledMessage() : damagedMessage());
    }
    png_set_read_fn(png, state.get(), readData);
    png_set_read_status_fn(png, rowDone);
    // The budget is ours, checked before this reader is chosen.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (depth != 8 || colour != PNG_COLOR_TYPE_RGB ||
        !fitsBudget(QSize(int(width), int(height)), 24)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return failure(damagedMessage());
    }
    // A transparent colour (tRNS) is left unapplied: the pictures this
    // reader is for carry none, and an alpha channel is the 4th byte.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    state->image = QImage(int(width), int(height), QImage::Format_RGB888);
    if (state->image.isNull()) {
        png_destroy_read_struct(&png, &info, nullptr);
        return failure(QStringLiteral("There is not enough memory to open the image."));
    }
    state->rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        state->rows[y] = state->image.scanLine(int(y));
    png_read_image(png, state->rows.data());
    png_read_end(png, nullptr);
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
        state->image.setDotsPerMeterX(int(resX));
        state->image.setDotsPerMeterY(int(resY));
    }
    png_destroy_read_struct(&png, &info, nullptr);

    DecodedImage out;
    out.format = FormatCode::Png;
    out.bitsPerPixel = 24;
    out.originalSize = state->image.size();
    out.pages << std::move(state->image);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
