#include "imaging/GifAnimation.h"

#include "imaging/DecodeSupport.h"

#include <gif_lib.h>

#include <QImage>

#include <algorithm>
#include <cstring>

namespace lumora::imaging
{

namespace
{

struct Source {
    const QByteArray *data = nullptr;
    qsizetype at = 0;
};

int readFromSource(GifFileType *gif, GifByteType *buffer, int length)
{
    auto *source = static_cast<Source *>(gif->UserData);
    const qsizetype n = std::clamp<qsizetype>(source->data->size() - source->at, 0, length);
    std::memcpy(buffer, source->data->constData() + source->at, size_t(n));
    source->at += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

GifHandle openGif(Source &source)
{
    int error = 0;
    return GifHandle(DGifOpen(&source, readFromSource, &error));
}

// Skips an extension's remaining sub-blocks.
bool skipExtension(GifFileType *gif, GifByteType *block)
{
    while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK)
            return false;
    }
    return true;
}

// Whether the file holds a second image, found without decompressing any.
bool hasSecondImage(const QByteArray &data)
{
    Source source{&data};
    GifHandle gif = openGif(source);
    if (!gif)
        return false;
    int images = 0;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (images < 2 && DGifGetRecordType(gif.get(), &type) == GIF_OK &&
           type != TERMINATE_RECORD_TYPE) {
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) != GIF_OK)
                return false;
            ++images;
            int codeSize = 0;
            GifByteType *block = nullptr;
            if (DGifGetCode(gif.get(), &codeSize, &block) != GIF_OK)
                return false;
            while (block) {
                if (DGifGetCodeNext(gif.get(), &block) != GIF_OK)
                    return images >= 2;
            }
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK ||
                !skipExtension(gif.get(), block))
                return false;
        }
    }
    return images >= 2;
}

// The frame's rows in the order the file stores them (interlaced files in
// four passes).
QList<int> rowOrder(int height, bool interlaced)
{
    QList<int> rows;
    rows.reserve(height);
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows << y;
        return rows;
    }
    static constexpr int start[] = {0, 4, 2, 1};
    static constexpr int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            rows << y;
    return rows;
}

struct Composer {
    QImage canvas;
    // What "restore to previous" goes back to, kept only for such a frame.
    QImage beforeFrame;
    QRect lastRect;
    int lastDisposal = DISPOSAL_UNSPECIFIED;

    // Undoes the previous frame as its disposal says, before the next one.
    void disposePrevious()
    {
        if (lastDisposal == DISPOSE_BACKGROUND) {
            for (int y = lastRect.top(); y <= lastRect.bottom(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(canvas.scanLine(y));
                std::fill(row + lastRect.left(), row + lastRect.right() + 1, QRgb(0));
            }
        } else if (lastDisposal == DISPOSE_PREVIOUS && !beforeFrame.isNull()) {
            canvas = beforeFrame;
        }
        beforeFrame = QImage();
    }
};

// Every frame is a whole canvas in memory, in the loader's memfd pages:
// count what it really costs.
qint64 pageBytes(QSize screen)
{
    const qint64 bytes = qint64(screen.width()) * screen.height() * 4;
    return (bytes + 4095) / 4096 * 4096;
}

} // namespace

std::optional<DecodedImage> decodeGifAnimation(const QByteArray &data, const DecodeOptions &options)
{
    using namespace support;
    if (!hasSecondImage(data))
        return std::nullopt;
    Source source{&data};
    GifHandle handle = openGif(source);
    if (!handle)
        return std::nullopt;
    GifFileType *gif = handle.get();
    // Some writers leave the logical screen at 0x0; the first frame's extent
    // stands in for it then.
    QSize screen(gif->SWidth, gif->SHeight);

    DecodedImage out;
    out.format = FormatCode::Gif;
    out.bitsPerPixel = 8;
    Composer composer;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    int loops = -1; // no NETSCAPE2.0 block
    qint64 total = 0;
    bool tooLarge = false;
    bool cutShort = false;
    QList<GifPixelType> line;

    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (true) {
        if (isCancelled(options))
            return failure(cancelledMessage());
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            cutShort = true;
            break;
        }
        if (type == TERMINATE_RECORD_TYPE)
            break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType *block = nullptr;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
                cutShort = true;
                break;
            }
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                DGifExtensionToGCB(block[0], block + 1, &control);
            const bool looping = code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                                 (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                                  std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
            while (block) {
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
                    cutShort = true;
                    break;
                }
                if (looping && block && block[0] >= 3 && block[1] == 1 && loops < 0)
                    loops = block[2] | (block[3] << 8);
            }
            if (cutShort)
                break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;

        if (DGifGetImageDesc(gif) != GIF_OK) {
            cutShort = true;
            break;
        }
        const GifImageDesc &desc = gif->Image;
        const ColorMapObject *map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (out.pages.isEmpty()) {
            if (screen.isEmpty())
                screen = QSize(desc.Left + desc.Width, desc.Top + desc.Height);
            if (screen.isEmpty() || !fitsBudget(screen))
                return std::nullopt; // the usual reader refuses it with its reason
            // One frame past what an animation may hold plays no further than
            // its first frame, which the usual reader shows; a canvas made
            // only to learn that would double the memory of a huge screen.
            if (pageBytes(screen) > kMaxAnimationBytes)
                return std::nullopt;
            composer.canvas = QImage(screen, QImage::Format_ARGB32);
            if (composer.canvas.isNull())
                return std::nullopt;
            composer.canvas.fill(Qt::transparent);
        }
        const qint64 frameCost = pageBytes(screen);
        if (total + frameCost > kMaxAnimationBytes || out.pages.size() >= kMaxAnimationFrames) {
            tooLarge = true;
            break;
        }
        composer.disposePrevious();
        const QRect rect =
            QRect(desc.Left, desc.Top, desc.Width, desc.Height) & composer.canvas.rect();
        if (control.DisposalMode == DISPOSE_PREVIOUS)
            composer.beforeFrame = composer.canvas.copy();
        line.resize(qMax(0, desc.Width));
        bool rowsRead = true;
        for (int y : rowOrder(desc.Height, desc.Interlace)) {
            if (desc.Width > 0 && DGifGetLine(gif, line.data(), desc.Width) != GIF_OK) {
                rowsRead = false;
                break;
            }
            const int cy = desc.Top + y;
            if (!map || cy < rect.top() || cy > rect.bottom())
                continue;
            auto *row = reinterpret_cast<QRgb *>(composer.canvas.scanLine(cy));
            for (int cx = rect.left(); cx <= rect.right(); ++cx) {
                const int index = line[cx - desc.Left];
                if (index == control.TransparentColor || index >= map->ColorCount)
                    continue;
                const GifColorType &c = map->Colors[index];
                row[cx] = qRgb(c.Red, c.Green, c.Blue);
            }
        }
        if (!rowsRead) {
            if (out.pages.isEmpty())
                return std::nullopt;
            cutShort = true;
            break;
        }
        out.pages << composer.canvas.copy();
        out.frameDelays << control.DelayTime * 10;
        total += frameCost;
        composer.lastRect = rect;
        composer.lastDisposal = control.DisposalMode;
        // A control block speaks for the one image after it.
        control = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    }
    if (out.pages.isEmpty())
        return std::nullopt;
    out.originalSize = screen;
    if (tooLarge) {
        out.pages.resize(1);
        out.frameDelays.clear();
        out.animationNote = animationTooLargeNote();
    } else if (out.pages.size() < 2) {
        out.frameDelays.clear();
    }
    if (cutShort)
        out.damage = truncatedDamage();
    // NETSCAPE2.0 counts the repeats after the first run; 0 repeats for ever.
    out.playCount = loops > 0 ? loops + 1 : 0;
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
