#pragma once

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

struct CipherResult {
    bool ok = false;
    QImage image;  // the sealed or the opened picture when ok
    QString error; // a sentence for the user when !ok
};

// Seals a picture under a key typed by the user. The result is itself a
// picture: opaque noise whose red, green and blue bytes carry a small header
// (version, key-derivation cost, salt, nonce, length) followed by the
// authenticated ciphertext of the original pixels, format, colour table and
// resolution. Any lossless writer of 24-bit colour keeps it, because nothing
// lives outside the pixels. The key is derived with Argon2id from a random
// salt; the pixels are sealed with XChaCha20-Poly1305 under a random nonce.
// Key material is wiped once used.
CipherResult encryptPicture(const QImage &plain, const QString &key,
                            const CipherCost &cost = CipherCost::standard());

// Opens a sealed picture. A wrong key and a damaged picture both fail the
// authentication, and nothing of the picture is changed.
CipherResult decryptPicture(const QImage &sealed, const QString &key);

// Whether the picture starts with the sealed header.
bool isEncryptedPicture(const QImage &image);

// Whether a file of this format gives back every 24-bit colour exactly, so a
// sealed picture saved in it can still be opened.
bool formatKeepsEncryptedPicture(FormatCode code);

// The warning to show before a sealed picture is saved in a format that
// loses it; empty when the format keeps it.
QString encryptedSaveWarning(FormatCode code);

} // namespace lumora::imaging
