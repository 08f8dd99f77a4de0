// Encryption of the document's current page.
#include "imaging/ImageDocument.h"

#include "imaging/DecodeSupport.h"

namespace lumora::imaging
{

LoadResult ImageDocument::EncryptImage(const QString &key, const QString &unused)
{
    Q_UNUSED(unused);
    CipherResult r = encryptPicture(currentImage(), key, m_cipherCost);
    if (!r.ok)
        return {false, r.error};
    m_pages[m_current] = std::move(r.image);
    m_bitsPerPixel = 24;
    emit changed();
    return {true, {}};
}

LoadResult ImageDocument::DecryptImage(const QString &key, const QString &unused)
{
    Q_UNUSED(unused);
    CipherResult r = decryptPicture(currentImage(), key);
    if (!r.ok)
        return {false, r.error};
    m_pages[m_current] = std::move(r.image);
    m_bitsPerPixel = support::storedDepth(m_pages[m_current].format());
    emit changed();
    return {true, {}};
}

bool ImageDocument::isEncrypted() const
{
    return isEncryptedPicture(currentImage());
}

} // namespace lumora::imaging
