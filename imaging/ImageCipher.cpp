#include "imaging/ImageCipher.h"

#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"

#include <sodium.h>

#include <QByteArray>

#include <cstring>
#include <vector>

namespace lumora::imaging
{

namespace
{

constexpr char kMagic[4] = {'L', 'm', 'E', 'n'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kSaltBytes = crypto_pwhash_SALTBYTES;                       // 16
constexpr std::size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES; // 24
constexpr std::size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;      // 16
constexpr std::size_t kKeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;    // 32
// magic, version, ops, memory in KiB, salt, nonce, ciphertext length
constexpr std::size_t kHeaderBytes = 4 + 1 + 4 + 4 + kSaltBytes + kNonceBytes + 4;
constexpr int kMinCarrierWidth = 32;
// A header may ask for no more work than this; a damaged or hostile one
// must not make opening it take minutes or gigabytes.
constexpr std::uint32_t kMaxOps = 8;
constexpr std::uint32_t kMaxMemKiB = 256u * 1024u;

QString tooLongKey()
{
    return QStringLiteral("The key is longer than %1 characters. Please use a shorter key.")
        .arg(kMaxKeyLength);
}

const QString kWrongKey = QStringLiteral("The key is wrong or the encrypted image is damaged.");

struct Header {
    std::uint32_t ops = 0;
    std::uint32_t memKiB = 0;
    unsigned char salt[kSaltBytes] = {};
    unsigned char nonce[kNonceBytes] = {};
    std::uint32_t cipherLength = 0;
};

void putU32(std::vector<unsigned char> &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::uint32_t getU32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::vector<unsigned char> headerBytes(const Header &h)
{
    std::vector<unsigned char> out(kMagic, kMagic + 4);
    out.push_back(kVersion);
    putU32(out, h.ops);
    putU32(out, h.memKiB);
    out.insert(out.end(), h.salt, h.salt + kSaltBytes);
    out.insert(out.end(), h.nonce, h.nonce + kNonceBytes);
    putU32(out, h.cipherLength);
    return out;
}

bool parseHeader(const unsigned char *p, std::size_t available, Header *h)
{
    if (available < kHeaderBytes || std::memcmp(p, kMagic, 4) != 0 || p[4] != kVersion)
        return false;
    h->ops = getU32(p + 5);
    h->memKiB = getU32(p + 9);
    std::memcpy(h->salt, p + 13, kSaltBytes);
    std::memcpy(h->nonce, p + 13 + kSaltBytes, kNonceBytes);
    h->cipherLength = getU32(p + 13 + kSaltBytes + kNonceBytes);
    return true;
}

std::size_t rowBytes(const QImage &image)
{
    return (std::size_t(image.width()) * std::size_t(image.depth()) + 7) / 8;
}

// Bytes serialize() gives for the picture.
std::size_t serializedBytes(const QImage &image)
{
    return 24 + std::size_t(image.colorTable().size()) * 4 +
           rowBytes(image) * std::size_t(image.height());
}

struct CarrierShape {
    int width = 0;
    std::size_t rows = 0;
};

// As wide as the picture (at least 32), as many rows as the header and the
// ciphertext need.
CarrierShape carrierShape(const QImage &plain)
{
    CarrierShape c;
    c.width = qMax(kMinCarrierWidth, plain.width());
    const std::size_t total = kHeaderBytes + serializedBytes(plain) + kTagBytes;
    const std::size_t rowCapacity = std::size_t(c.width) * 3;
    c.rows = (total + rowCapacity - 1) / rowCapacity;
    return c;
}

// The plain picture as bytes: format, size, resolution, colour table, rows.
std::vector<unsigned char> serialize(const QImage &image)
{
    std::vector<unsigned char> out;
    putU32(out, std::uint32_t(image.format()));
    putU32(out, std::uint32_t(image.width()));
    putU32(out, std::uint32_t(image.height()));
    putU32(out, std::uint32_t(image.dotsPerMeterX()));
    putU32(out, std::uint32_t(image.dotsPerMeterY()));
    const QList<QRgb> table = image.colorTable();
    putU32(out, std::uint32_t(table.size()));
    for (QRgb c : table)
        putU32(out, c);
    const std::size_t row = rowBytes(image);
    out.reserve(out.size() + row * std::size_t(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const uchar *line = image.constScanLine(y);
        out.insert(out.end(), line, line + row);
    }
    return out;
}

bool deserialize(const unsigned char *p, std::size_t size, QImage *image)
{
    if (size < 24)
        return false;
    const std::uint32_t format = getU32(p);
    const std::uint32_t width = getU32(p + 4);
    const std::uint32_t height = getU32(p + 8);
    const auto dpmX = std::int32_t(getU32(p + 12));
    const auto dpmY = std::int32_t(getU32(p + 16));
    const std::uint32_t colors = getU32(p + 20);
    if (format == QImage::Format_Invalid || format >= QImage::NImageFormats || width == 0 ||
        height == 0 || width > 1u << 20 || height > 1u << 20 || colors > 256)
        return false;
    std::size_t at = 24;
    if (size - at < std::size_t(colors) * 4)
        return false;
    QList<QRgb> table;
    for (std::uint32_t i = 0; i < colors; ++i, at += 4)
        table << getU32(p + at);
    QImage out(static_cast<int>(width), static_cast<int>(height),
               static_cast<QImage::Format>(format));
    if (out.isNull())
        return false;
    const std::size_t row = rowBytes(out);
    if (size - at != row * height)
        return false;
    if (!table.isEmpty())
        out.setColorTable(table);
    for (int y = 0; y < int(height); ++y, at += row)
        std::memcpy(out.scanLine(y), p + at, row);
    out.setDotsPerMeterX(dpmX);
    out.setDotsPerMeterY(dpmY);
    *image = std::move(out);
    return true;
}

// The red, green and blue bytes of a picture, row by row.
std::vector<unsigned char> carrierBytes(const QImage &image)
{
    std::vector<unsigned char> out;
    if (image.format() == QImage::Format_RGB888) {
        const std::size_t row = std::size_t(image.width()) * 3;
        out.reserve(row * std::size_t(image.height()));
        for (int y = 0; y < image.height(); ++y) {
            const uchar *line = image.constScanLine(y);
            out.insert(out.end(), line, line + row);
        }
        return out;
    }
    const QImage rgb =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    out.reserve(std::size_t(rgb.width()) * std::size_t(rgb.height()) * 3);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            out.push_back(static_cast<unsigned char>(qRed(line[x])));
            out.push_back(static_cast<unsigned char>(qGreen(line[x])));
            out.push_back(static_cast<unsigned char>(qBlue(line[x])));
        }
    }
    return out;
}

bool deriveKey(unsigned char *out, const QString &key, const Header &h)
{
    // One key whichever way its letters were typed: "é" composed or as "e"
    // and a combining accent.
    QString nfc = key.normalized(QString::NormalizationForm_C);
    QByteArray password = nfc.toUtf8();
    if (!nfc.isSharedWith(key) && nfc.data_ptr().isMutable())
        sodium_memzero(nfc.data(), std::size_t(nfc.size()) * sizeof(QChar));
    const int rc =
        crypto_pwhash(out, kKeyBytes, password.constData(), std::size_t(password.size()), h.salt,
                      h.ops, std::size_t(h.memKiB) * 1024u, crypto_pwhash_ALG_ARGON2ID13);
    sodium_memzero(password.data(), std::size_t(password.size()));
    return rc == 0;
}

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

CipherCost CipherCost::standard()
{
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

Result<QImage> encryptPicture(const QImage &plain, const QString &key, const CipherCost &cost)
{
    if (plain.isNull())
        return fail(QStringLiteral("There is no image to encrypt."));
    if (key.isEmpty())
        return fail(QStringLiteral("The key is empty."));
    if (key.size() > kMaxKeyLength)
        return fail(tooLongKey());
    if (const QString problem = sealedSizeProblem(plain); !problem.isEmpty())
        return fail(problem);
    if (!sodiumReady())
        return fail(QStringLiteral("The encryption library could not be started."));
    const std::size_t memKiB = cost.memLimitBytes / 1024u;
    if (cost.opsLimit < crypto_pwhash_OPSLIMIT_MIN || cost.opsLimit > kMaxOps ||
        cost.memLimitBytes < crypto_pwhash_MEMLIMIT_MIN || memKiB > kMaxMemKiB)
        return fail(QStringLiteral("The key-derivation settings are out of range."));

    std::vector<unsigned char> message = serialize(plain);
    Header h;
    h.ops = cost.opsLimit;
    h.memKiB = std::uint32_t(memKiB);
    randombytes_buf(h.salt, kSaltBytes);
    randombytes_buf(h.nonce, kNonceBytes);
    const std::size_t cipherLength = message.size() + kTagBytes;
    if (cipherLength > 0xFFFFFFF0u)
        return fail(QStringLiteral("The image is too large to encrypt."));
    h.cipherLength = std::uint32_t(cipherLength);
    const std::vector<unsigned char> header = headerBytes(h);

    // The carrier: the header and ciphertext, random bytes after them.
    const CarrierShape shape = carrierShape(plain);
    const int width = shape.width;
    const std::size_t total = header.size() + cipherLength;
    const std::size_t rowCapacity = std::size_t(width) * 3;
    const std::size_t rows = shape.rows;
    QImage carrier(width, int(rows), QImage::Format_RGB888);
    if (carrier.isNull())
        return fail(QStringLiteral("There is not enough memory to encrypt the image."));
    std::vector<unsigned char> stream(rows * rowCapacity);
    std::memcpy(stream.data(), header.data(), header.size());

    unsigned char derived[kKeyBytes];
    if (!deriveKey(derived, key, h)) {
        sodium_memzero(derived, kKeyBytes);
        sodium_memzero(message.data(), message.size());
        return fail(QStringLiteral("There is not enough memory to derive the key."));
    }
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(stream.data() + header.size(), &written,
                                               message.data(), message.size(), header.data(),
                                               header.size(), nullptr, h.nonce, derived);
    sodium_memzero(derived, kKeyBytes);
    sodium_memzero(message.data(), message.size());
    randombytes_buf(stream.data() + total, stream.size() - total);

    for (int y = 0; y < carrier.height(); ++y)
        std::memcpy(carrier.scanLine(y), stream.data() + std::size_t(y) * rowCapacity, rowCapacity);
    sodium_memzero(stream.data(), stream.size());
    carrier.setDotsPerMeterX(plain.dotsPerMeterX());
    carrier.setDotsPerMeterY(plain.dotsPerMeterY());
    return carrier;
}

Result<QImage> decryptPicture(const QImage &sealed, const QString &key)
{
    if (sealed.isNull())
        return fail(QStringLiteral("There is no image to decrypt."));
    if (!isEncryptedPicture(sealed))
        return fail(QStringLiteral("This image is not encrypted."));
    if (key.size() > kMaxKeyLength)
        return fail(tooLongKey());
    if (!sodiumReady())
        return fail(QStringLiteral("The encryption library could not be started."));
    const std::vector<unsigned char> stream = carrierBytes(sealed);
    Header h;
    if (!parseHeader(stream.data(), stream.size(), &h) || h.cipherLength < kTagBytes ||
        h.cipherLength > stream.size() - kHeaderBytes || h.ops < crypto_pwhash_OPSLIMIT_MIN ||
        h.ops > kMaxOps || std::size_t(h.memKiB) * 1024u < crypto_pwhash_MEMLIMIT_MIN ||
        h.memKiB > kMaxMemKiB)
        return fail(kWrongKey);

    unsigned char derived[kKeyBytes];
    if (!deriveKey(derived, key, h)) {
        sodium_memzero(derived, kKeyBytes);
        return fail(QStringLiteral("There is not enough memory to derive the key."));
    }
    std::vector<unsigned char> message(h.cipherLength - kTagBytes);
    unsigned long long length = 0;
    const int rc = crypto_aead_xchacha20poly1305_ietf_decrypt(
        message.data(), &length, nullptr, stream.data() + kHeaderBytes, h.cipherLength,
        stream.data(), kHeaderBytes, h.nonce, derived);
    sodium_memzero(derived, kKeyBytes);
    if (rc != 0)
        return fail(kWrongKey);
    QImage plain;
    const bool ok = deserialize(message.data(), std::size_t(length), &plain);
    sodium_memzero(message.data(), message.size());
    if (!ok)
        return fail(kWrongKey);
    return plain;
}

QSize sealedSize(const QImage &plain)
{
    if (plain.isNull())
        return {};
    const CarrierShape c = carrierShape(plain);
    return {c.width, int(qMin<std::size_t>(c.rows, std::size_t(INT_MAX)))};
}

QString sealedSizeProblem(const QImage &plain)
{
    const CarrierShape c = carrierShape(plain);
    const QSize size(c.width, int(qMin<std::size_t>(c.rows, std::size_t(INT_MAX))));
    // Readers take the sealed picture at 3 bytes a pixel; past the decode
    // budget it would be sealed for good, with no way to open it again.
    if (c.rows <= std::size_t(1) << 20 && support::fitsBudget(size, 24))
        return {};
    return QStringLiteral("The image is too large to encrypt: its encrypted form (%1 x %2 "
                          "pixels) could not be opened again. Nothing was changed.")
        .arg(size.width())
        .arg(c.rows);
}

bool isEncryptedPicture(const QImage &image)
{
    if (image.isNull() || image.width() < 2)
        return false;
    // The first two pixels hold the magic and the version.
    const QRgb a = image.pixel(0, 0);
    const QRgb b = image.pixel(1, 0);
    const unsigned char head[6] = {
        static_cast<unsigned char>(qRed(a)),   static_cast<unsigned char>(qGreen(a)),
        static_cast<unsigned char>(qBlue(a)),  static_cast<unsigned char>(qRed(b)),
        static_cast<unsigned char>(qGreen(b)), static_cast<unsigned char>(qBlue(b))};
    return std::memcmp(head, kMagic, 4) == 0 && head[4] == kVersion;
}

bool formatKeepsEncryptedPicture(FormatCode code)
{
    const FormatSpec *row = formatRow(code);
    return row && row->exactColours;
}

QString encryptedSaveWarning(FormatCode code)
{
    if (formatKeepsEncryptedPicture(code))
        return {};
    return QStringLiteral("This image is encrypted. Saved as %1 it loses the exact colours the "
                          "encryption lives in and can never be decrypted again. Save it anyway?")
        .arg(QString::fromLatin1(formatShortName(code)).toUpper());
}

QString encryptedSaveWarning(FormatCode code, const QSize &sealed)
{
    const QString lossy = encryptedSaveWarning(code);
    if (!lossy.isEmpty() || code == FormatCode::Png || support::fitsBudget(sealed, 32))
        return lossy;
    return QStringLiteral("This image is encrypted and too large (%1 x %2 pixels) to be opened "
                          "again from a %3 file; only PNG can hold it. Save it anyway?")
        .arg(sealed.width())
        .arg(sealed.height())
        .arg(QString::fromLatin1(formatShortName(code)).toUpper());
}

} // namespace lumora::imaging
