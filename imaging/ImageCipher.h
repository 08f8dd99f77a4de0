#pragma once

#include "base/Result.h"
#include "imaging/FormatCode.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace lumora::imaging
{

// How hard the key derivation works (Argon2id operations and memory).
struct CipherCost {
    std::uint32_t opsLimit = 0;
    std::size_t memLimitBytes = 0;
    // What every encryption uses unless told otherwise.
    static CipherCost standard();
};

// The longest key taken, in characters (UTF-16 code units). Longer keys are
// refused with a message, never cut short.
inline constexpr int kMaxKeyLength = 100000;

// Seals a picture under a key typed by the user. The result is itself a
// picture: opaque noise whose red, green and blue bytes carry a small header
// (version, key-derivation cost, salt, nonce, length) followed by the
// authenticated ciphertext of the original pixels, format, colour table and
// resolution. Any lossless writer of 24-bit colour keeps it, because nothing
// lives outside the pixels. The key is derived with Argon2id from a random
// salt; the pixels are sealed with XChaCha20-Poly1305 under a random nonce.
// Key material is wiped once used. The key is taken in Unicode NFC, so a
// letter typed composed or decomposed is the same key.
//
// The sealed picture holds 3 bytes a pixel (Format_RGB888). One whose sealed
// form would be too large to open again is refused before any work.
Result<QImage> encryptPicture(const QImage &plain, const QString &key,
                              const CipherCost &cost = CipherCost::standard());

// Opens a sealed picture. A wrong key and a damaged picture both fail the
// authentication, and nothing of the picture is changed.
Result<QImage> decryptPicture(const QImage &sealed, const QString &key);

// The size of the sealed picture for `plain`, without sealing it.
QSize sealedSize(const QImage &plain);
// Empty when the sealed form of `plain` can be opened again under the decode
// limits (at 3 bytes a pixel); otherwise the sentence that refuses it.
QString sealedSizeProblem(const QImage &plain);

// Whether the picture starts with the sealed header.
bool isEncryptedPicture(const QImage &image);

// Whether a file of this format gives back every 24-bit colour exactly, so a
// sealed picture saved in it can still be opened.
bool formatKeepsEncryptedPicture(FormatCode code);

// The warning to show before a sealed picture is saved in a format that
// loses it; empty when the format keeps it.
QString encryptedSaveWarning(FormatCode code);
// The same for a sealed picture of this size: only PNG is read back at 3
// bytes a pixel, so a large sealed picture saved in another lossless format
// could not be opened again.
QString encryptedSaveWarning(FormatCode code, const QSize &sealed);

} // namespace lumora::imaging
