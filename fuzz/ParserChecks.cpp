// The parser checks behind the fuzz targets (fuzz/parser_fuzz.cpp) and their
// regression test (tests/parser_fuzz_regression_test.cpp): each feeds one
// input to one of our parsers and then checks what the callers rely on: a
// picture or a sentence, text that reads back as written, files that say
// exactly what they were given. Leading bytes of an input choose options,
// as each function says.

#include "fuzz/ParserChecks.h"

#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailPng.h"
#include "imaging/BmpDecoder.h"
#include "imaging/Decoder.h"
#include "imaging/ImageCipher.h"
#include "imaging/JpegExif.h"
#include "imaging/PngInflate.h"
#include "imaging/PsdComposite.h"
#include "platform/DesktopEntry.h"
#include "platform/MimeAppsList.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/linux/FreedesktopTrash.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <cstdint>
#include <cstring>
#include <libdeflate.h>
#include <memory>

namespace
{

using namespace lumora;

struct CheckFailed {
    const char *what;
};

void require(bool condition, const char *what)
{
    if (!condition)
        throw CheckFailed{what};
}

QString scratch()
{
    static QTemporaryDir dir;
    return dir.path();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write scratch file");
    file.write(bytes);
}

// What every decode caller relies on: a picture, or a sentence and nothing.
void pictureOrSentence(const imaging::DecodedImage &d)
{
    if (d.ok()) {
        require(!d.pages.front().isNull(), "success with a null page");
        return;
    }
    require(!d.error.isEmpty() && d.pages.isEmpty(), "failure without a sentence");
    require(d.damage.isEmpty(), "damage reported on a failure");
}

// Byte 0: bit 7 decodes into a thumbnail box; the rest is the file.
void decodeAs(const uint8_t *data, size_t size, const char *const *names, int count)
{
    if (size < 1)
        return;
    imaging::DecodeOptions options;
    if (data[0] & 0x80)
        options.scaledSize = QSize(48, 48);
    const QString hint = QString::fromLatin1(names[(data[0] & 0x7F) % count]);
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    pictureOrSentence(imaging::decodeDataInProcess(bytes, options, hint));
}

// Byte 0: bit 0 a file header in front, bit 1 an icon's AND mask after the
// pixels; the rest is the bitmap.
void fuzzBmp(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    imaging::bmp::DibSource source;
    if (data[0] & 1) {
        source.infoOffset = 14;
        source.pixelOffset =
            bytes.size() >= 14 ? qFromLittleEndian<quint32>(bytes.constData() + 10) : 0;
    }
    source.iconMask = data[0] & 2;
    const imaging::bmp::DibResult r = imaging::bmp::decodeDib(bytes, source, qint64(64) << 20);
    if (!r.image.isNull()) {
        require(r.image.size() == r.size, "picture size differs from the declared one");
        require(r.error.isEmpty(), "picture with an error");
    } else {
        require(!r.error.isEmpty(), "refusal without a reason");
    }
}

void fuzzIco(const uint8_t *data, size_t size)
{
    static const char *const names[] = {"fuzz.ico", "fuzz.cur"};
    decodeAs(data, size, names, 2);
}

void fuzzTiff(const uint8_t *data, size_t size)
{
    static const char *const names[] = {"fuzz.tif"};
    decodeAs(data, size, names, 1);
}

void fuzzWbmp(const uint8_t *data, size_t size)
{
    static const char *const names[] = {"fuzz.wbmp"};
    decodeAs(data, size, names, 1);
}

void fuzzTga(const uint8_t *data, size_t size)
{
    static const char *const names[] = {"fuzz.tga", "fuzz.pcx"};
    decodeAs(data, size, names, 2);
}

void fuzzPsd(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    int bits = 0;
    const QImage image = imaging::readPsdComposite(bytes, &bits);
    if (!image.isNull())
        require(bits > 0, "a picture without a depth");
}

// Byte 0: bit 0 takes the rest as the EXIF payload itself rather than as a
// JPEG holding one; the next four bytes are the new pixel size.
void fuzzExif(const uint8_t *data, size_t size)
{
    if (size < 5)
        return;
    const QSize pixels(1 + (data[1] | data[2] << 8), 1 + (data[3] | data[4] << 8));
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 5), qsizetype(size - 5));
    const QByteArray payload = (data[0] & 1) ? bytes : imaging::exif::segmentPayload(bytes);
    const QByteArray fixed = imaging::exif::normalised(payload, pixels);
    // Start marker, a JFIF APP0 segment, end marker.
    static const QByteArray jpeg =
        QByteArray::fromHex("FFD8FFE000104A46494600010100000100010000FFD9");
    const QByteArray out = imaging::exif::withExif(jpeg, payload, pixels);
    require(out.startsWith("\xFF\xD8"), "no start marker after adding EXIF");
    if (out != jpeg) {
        require(!fixed.isEmpty(), "a block too damaged to normalise was written");
        require(imaging::exif::segmentPayload(out) == fixed,
                "the written block is not the normalised one");
        // Normalising twice changes nothing more.
        require(imaging::exif::normalised(fixed, pixels) == fixed, "normalising is not stable");
    }

    // What a re-encoded copy carries over: the kept header segments, each
    // whole, and an upright thumbnail linked into a block that has none.
    for (const QByteArray &kept : imaging::exif::keptSegments(bytes)) {
        require(kept.size() >= 4 && uchar(kept[0]) == 0xFF, "a kept segment without its marker");
        const int length = uchar(kept[2]) << 8 | uchar(kept[3]);
        require(length + 2 == kept.size(), "a kept segment cut short or run on");
        require(bytes.contains(kept), "a kept segment that is not in the file");
    }
    const QByteArray block = fixed.isEmpty() ? payload : fixed;
    const QByteArray linked = imaging::exif::withThumbnail(block, jpeg);
    if (linked != block) {
        require(!imaging::exif::hasThumbnail(block), "a second thumbnail was linked");
        require(imaging::exif::hasThumbnail(linked), "the linked thumbnail cannot be found");
        require(linked.size() <= 65533, "the block with its thumbnail overflows a segment");
        require(linked.endsWith(jpeg), "the thumbnail's bytes are not where it points");
    }
}

// The cache's PNG reader and the text keys that tie a thumbnail to its file.
// Byte 0 chooses what the check answers and which key values the source has.
void fuzzThumbPng(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString file = scratch() + QStringLiteral("/thumb.png");
    writeFile(file, bytes);
    const int answer = data[0] % 3;
    const thumbpng::ReadResult r =
        thumbpng::read(file, [answer](QSize size, const thumbpng::TextMap &) {
            require(size.width() > 0 && size.height() > 0, "check asked with an empty size");
            return answer == 0   ? thumbpng::Verdict::Accept
                   : answer == 1 ? thumbpng::Verdict::Reject
                                 : thumbpng::Verdict::Undecided;
        });
    if (r.status == thumbpng::ReadStatus::Ok) {
        require(!r.image.isNull(), "accepted without a picture");
        require(r.image.width() <= thumbpng::kMaxSide && r.image.height() <= thumbpng::kMaxSide,
                "a picture beyond the largest side");
        require(r.image.format() == QImage::Format_RGB32 ||
                    r.image.format() == QImage::Format_ARGB32,
                "unexpected pixel format");
    }

    // The same bytes as the large thumbnail of a file the cache describes.
    static const QString root = scratch() + QStringLiteral("/cache");
    static const ThumbnailCache cache(root);
    CacheSource source;
    source.path = QStringLiteral("/pictures/a photo.jpg");
    source.uri = ThumbnailCache::fileUri(source.path);
    source.largeFile = root + QStringLiteral("/large/") + ThumbnailCache::fileName(source.uri);
    source.failFile = root + QStringLiteral("/fail/x/") + ThumbnailCache::fileName(source.uri);
    source.mtime = (data[0] & 0x80) ? 1700000000 : 0;
    source.size = (data[0] & 0x40) ? 12345 : 0;
    QDir().mkpath(root + QStringLiteral("/large"));
    QDir().mkpath(root + QStringLiteral("/fail/x"));
    writeFile(source.largeFile, bytes);
    writeFile(source.failFile, bytes);
    const CacheLookup hit = cache.lookup(source);
    if (hit.state == CacheLookup::State::Hit)
        require(!hit.image.isNull(), "a hit without a picture");
    if (hit.state == CacheLookup::State::Failed)
        require(!hit.error.isEmpty(), "a failure record without a sentence");

    // Key parts: any path gives a URI the desktop's tools decode back to it.
    const QString path = QStringLiteral("/") + QString::fromUtf8(bytes.left(256));
    const QByteArray uri = ThumbnailCache::fileUri(path);
    require(uri.startsWith("file:///"), "URI without its scheme");
    require(QByteArray::fromPercentEncoding(uri.mid(7)) == QFile::encodeName(path),
            "URI does not decode to the path");
    for (const char c : uri)
        require(c > 0x20 && c < 0x7F && c != '#' && c != '?', "URI keeps an unsafe byte");
    const QString name = ThumbnailCache::fileName(uri);
    require(name.size() == 36 && name.endsWith(QLatin1String(".png")), "malformed cache name");
}

// Bytes 0-1 the carrier's width; the rest its RGB pixels.
void fuzzCipher(const uint8_t *data, size_t size)
{
    if (size < 5)
        return;
    const int width = 1 + ((data[0] | data[1] << 8) % 512);
    const qsizetype pixels = qsizetype(size - 2) / 3;
    const int height = int(qMax<qsizetype>(1, pixels / width));
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (qsizetype i = 0; i < pixels && i < qsizetype(width) * height; ++i) {
        const uint8_t *p = data + 2 + i * 3;
        image.setPixel(int(i % width), int(i / width), qRgb(p[0], p[1], p[2]));
    }
    const bool sealed = imaging::isEncryptedPicture(image);
    const Result<QImage> r = imaging::decryptPicture(image, QStringLiteral("key"));
    if (!sealed)
        require(!r.ok(), "opened a picture that is not sealed");
    if (!r.ok())
        require(!r.error().isEmpty(), "failure without a sentence");
}

// The registry file as found on disk; the store must open it, set it aside
// or refuse it, and then answer every call without crashing.
void fuzzRegistry(const uint8_t *data, size_t size)
{
    const QString file = scratch() + QStringLiteral("/registry.db");
    for (const QString &stale : QDir(scratch()).entryList({QStringLiteral("registry.db*")}))
        QFile::remove(scratch() + QLatin1Char('/') + stale);
    writeFile(file, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    platform::SqliteRegistryStore store(file, 0);
    using platform::RegistryRoot;
    QStringList keys;
    store.subKeys(RegistryRoot::CurrentUser, QStringLiteral("Software"), &keys);
    for (const QString &key : keys.mid(0, 4)) {
        QStringList below;
        store.subKeys(RegistryRoot::CurrentUser, QStringLiteral("Software\\") + key, &below);
        platform::RegValue value;
        store.queryValue(RegistryRoot::CurrentUser, QStringLiteral("Software\\") + key,
                         QStringLiteral("Path"), &value);
    }
    if (store.isWritable()) {
        platform::RegValue value;
        value.data = QStringLiteral("fuzz");
        const QString key = QStringLiteral("Software\\Lumora\\Fuzz");
        if (store.createKey(RegistryRoot::CurrentUser, key) == platform::RegResult::Ok &&
            store.setValue(RegistryRoot::CurrentUser, key, QStringLiteral("v"), value) ==
                platform::RegResult::Ok) {
            platform::RegValue back;
            require(store.queryValue(RegistryRoot::CurrentUser, key, QStringLiteral("v"), &back) ==
                            platform::RegResult::Ok &&
                        back.data == value.data,
                    "a value written is not read back");
        }
    }
}

// mimeapps.list: kept byte for byte, and an edit reads back as made.
void fuzzMimeApps(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    platform::MimeAppsList list(bytes);
    require(list.bytes() == bytes, "an unedited list is not written back as read");
    const QByteArray type = QByteArrayLiteral("image/png");
    list.defaultIds(type);
    const QList<QByteArray> lines{
        platform::MimeAppsList::entryLine(type, QStringLiteral("a.desktop")),
        platform::MimeAppsList::entryLine(type, QStringLiteral("b.desktop"))};
    list.replaceDefaultLines(type, lines);
    const platform::MimeAppsList again(list.bytes());
    require(again.defaultLines(type) == lines, "replaced default lines do not read back");
    require(again.defaultIds(type) == QStringList{QStringLiteral("a.desktop")},
            "the first default is not the one written");
}

// Desktop entries: parsed without trouble; escaping and quoting undone
// exactly by their readers.
void fuzzDesktop(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const platform::DesktopEntry::Parsed parsed = platform::DesktopEntry::parse(bytes);
    if (parsed.valid)
        platform::DesktopEntry::splitCommand(parsed.exec);
    const QString text = QString::fromUtf8(bytes.left(512));
    require(platform::DesktopEntry::unescapeValue(platform::DesktopEntry::escapeValue(text)) ==
                text,
            "escaping does not round-trip");
    QString path = text;
    path.remove(QChar(0));
    if (!path.isEmpty()) {
        const QStringList words =
            platform::DesktopEntry::splitCommand(platform::DesktopEntry::quoteArgument(path));
        require(words == QStringList{path}, "a quoted argument does not split back to itself");
    }
}

// .trashinfo: whatever bytes a path holds, the file has exactly its three
// lines and its Path decodes back to those bytes.
void fuzzTrashInfo(const uint8_t *data, size_t size)
{
    if (size < 4)
        return;
    const qint64 seconds = qint64(data[0] | data[1] << 8 | data[2] << 16) * 997;
    const QByteArray path(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    const QByteArray info =
        platform::FreedesktopTrash::infoText(path, QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
    QList<QByteArray> lines = info.split('\n');
    require(lines.size() == 4 && lines.last().isEmpty(), "not three lines");
    require(lines[0] == "[Trash Info]", "no group header");
    require(lines[1].startsWith("Path="), "no Path line");
    require(lines[2].startsWith("DeletionDate="), "no DeletionDate line");
    require(QByteArray::fromPercentEncoding(lines[1].mid(5)) == path,
            "Path does not decode to the file's path");
    require(!lines[1].contains('\r') && !lines[1].contains('\0'), "raw control byte in Path");
}

// A PNG chunk with its length and CRC.
QByteArray pngChunk(const char *type, const QByteArray &body)
{
    QByteArray c(4, '\0');
    qToBigEndian(quint32(body.size()), c.data());
    c.append(type, 4).append(body);
    const quint32 crc = quint32(libdeflate_crc32(0, c.constData() + 4, size_t(c.size() - 4)));
    QByteArray tail(4, '\0');
    qToBigEndian(crc, tail.data());
    return c + tail;
}

// The one-pass PNG reader: whatever it accepts, Qt's reader (the route
// every other PNG takes) reads as the same picture, so no caller can tell
// which of the two ran; and what it refuses costs nothing but the detour.
// Byte 0: 0 takes the rest as the file; 1 mends every chunk's CRC first
// (mutations rarely keep one right); 2 takes the rest as an IHDR body and
// the raw rows (filter byte, samples), deflated into the file here, so the
// rows and their filters are what varies.
void fuzzPng(const uint8_t *data, size_t size)
{
    if (size < 1)
        return;
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const QByteArray signature = QByteArray::fromHex("89504E470D0A1A0A");
    if (data[0] == 1 && bytes.startsWith(signature)) {
        for (qsizetype at = 8; at + 12 <= bytes.size();) {
            const qint64 length = qFromBigEndian<quint32>(bytes.constData() + at);
            if (length > bytes.size() - at - 12)
                break;
            const quint32 crc =
                quint32(libdeflate_crc32(0, bytes.constData() + at + 4, size_t(length) + 4));
            qToBigEndian(crc, bytes.data() + at + 8 + length);
            at += 12 + length;
        }
    } else if (data[0] == 2) {
        if (bytes.size() < 13)
            return;
        const QByteArray rows = bytes.mid(13);
        libdeflate_compressor *packer = libdeflate_alloc_compressor(1);
        QByteArray packed(qsizetype(libdeflate_zlib_compress_bound(packer, size_t(rows.size()))),
                          '\0');
        packed.resize(qsizetype(libdeflate_zlib_compress(
            packer, rows.constData(), size_t(rows.size()), packed.data(), size_t(packed.size()))));
        libdeflate_free_compressor(packer);
        bytes = signature + pngChunk("IHDR", bytes.left(13)) + pngChunk("IDAT", packed) +
                pngChunk("IEND", {});
    } else if (data[0] != 0) {
        return;
    }
    const std::optional<imaging::DecodedImage> plain =
        imaging::decodePlainPng(bytes, imaging::DecodeOptions{});
    if (!plain)
        return;
    require(plain->ok() && plain->pages.size() == 1, "a success without its one picture");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QImage usual = reader.read();
    require(!usual.isNull(), "a file the usual reader refuses was read");
    const QImage &mine = plain->pages.first();
    require(mine.size() == usual.size(), "another size than the usual reader's");
    require(mine.convertToFormat(QImage::Format_ARGB32) ==
                usual.convertToFormat(QImage::Format_ARGB32),
            "other pixels than the usual reader's");
    require(mine.dotsPerMeterX() == usual.dotsPerMeterX() &&
                mine.dotsPerMeterY() == usual.dotsPerMeterY(),
            "another resolution than the usual reader's");
    require(mine.colorSpace() == usual.colorSpace(),
            "another colour space than the usual reader's");
}

struct Parser {
    const char *name;
    void (*run)(const uint8_t *, size_t);
};

const Parser kParsers[] = {
    {"bmp", fuzzBmp},
    {"ico", fuzzIco},
    {"tiff", fuzzTiff},
    {"psd", fuzzPsd},
    {"wbmp", fuzzWbmp},
    {"tga", fuzzTga},
    {"exif", fuzzExif},
    {"thumbpng", fuzzThumbPng},
    {"cipher", fuzzCipher},
    {"registry", fuzzRegistry},
    {"mimeapps", fuzzMimeApps},
    {"desktop", fuzzDesktop},
    {"trashinfo", fuzzTrashInfo},
    {"png", fuzzPng},
};

} // namespace

namespace lumora::fuzz
{

QStringList parserNames()
{
    QStringList names;
    for (const Parser &p : kParsers)
        names << QString::fromLatin1(p.name);
    return names;
}

QString runParser(const QString &name, const uint8_t *data, size_t size)
{
    for (const Parser &p : kParsers) {
        if (name != QLatin1String(p.name))
            continue;
        try {
            p.run(data, size);
        } catch (const CheckFailed &failed) {
            return QString::fromLatin1(failed.what);
        }
        return {};
    }
    return QStringLiteral("no parser called ") + name;
}

} // namespace lumora::fuzz
