#include "imaging/JpegCmyk.h"

#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace lumora::imaging
{

namespace
{

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

void onMessage(j_common_ptr, int) {}

QImage upright(QImage image, QImageIOHandler::Transformations t)
{
    if (t & QImageIOHandler::TransformationMirror)
        image = image.mirrored(true, false);
    if (t & QImageIOHandler::TransformationFlip)
        image = image.mirrored(false, true);
    if (t & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// Everything libjpeg touches between setjmp and longjmp lives here, so
// nothing with a destructor is skipped by the jump.
bool readInks(const QByteArray &data, const profiles::JpegColour &colour, QSize box,
              bool quarterTurn, QImage *out, QSize *stored, bool *damaged)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    std::vector<JSAMPLE> *row = new std::vector<JSAMPLE>;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        delete row;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 4)
        longjmp(errors.jump, 1);
    info.out_color_space = JCS_CMYK;
    *stored = QSize(int(info.image_width), int(info.image_height));
    if (!support::fitsBudget(*stored))
        longjmp(errors.jump, 1);
    if (box.isValid()) {
        // The largest reduction that still covers the box.
        QSize target = support::targetSize(quarterTurn ? stored->transposed() : *stored, box);
        if (quarterTurn)
            target.transpose();
        unsigned denom = 8;
        while (denom > 1 && (int(info.image_width / denom) < target.width() ||
                             int(info.image_height / denom) < target.height()))
            denom /= 2;
        info.scale_num = 1;
        info.scale_denom = denom;
    }
    jpeg_start_decompress(&info);
    const int width = int(info.output_width), height = int(info.output_height);
    *out = QImage(width, height, QImage::Format_RGB32);
    if (out->isNull())
        longjmp(errors.jump, 1);
    row->resize(size_t(width) * 4);
    // Photoshop writes the inks inverted and says so with its Adobe segment;
    // libjpeg hands them over as stored.
    const bool inverted = colour.adobe;
    while (info.output_scanline < info.output_height) {
        JSAMPLE *rows[1] = {row->data()};
        const int y = int(info.output_scanline);
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        colour::cmykRowToSrgb(row->data(), reinterpret_cast<QRgb *>(out->scanLine(y)), width,
                              colour.icc, inverted);
    }
    *damaged = info.output_scanline < info.output_height || errors.base.num_warnings > 0;
    if (info.output_scanline < info.output_height)
        jpeg_abort_decompress(&info);
    else
        jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    delete row;
    return true;
}

} // namespace

DecodedImage decodeCmykJpeg(QIODevice &device, const profiles::JpegColour &colour,
                            const DecodeOptions &options)
{
    using namespace support;
    const QByteArray data = device.readAll();
    device.seek(0);
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
    {
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        turn = reader.transformation();
    }
    const bool quarterTurn = turn & QImageIOHandler::TransformationRotate90;
    QImage image;
    QSize stored;
    bool damaged = false;
    if (!readInks(data, colour, options.scaledSize, quarterTurn, &image, &stored, &damaged))
        return stored.isValid() && !fitsBudget(stored) ? failure(tooLargeMessage(stored))
                                                       : failure(damagedMessage());
    if (isCancelled(options))
        return failure(cancelledMessage());
    DecodedImage out;
    out.format = FormatCode::Jpeg;
    out.bitsPerPixel = 32;
    out.originalSize = quarterTurn ? stored.transposed() : stored;
    if (damaged)
        out.damage = truncatedDamage();
    out.pages << upright(std::move(image), turn);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
