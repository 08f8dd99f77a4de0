// Encryption of the document's current page.
#include "imaging/ImageDocument.h"

#include "imaging/DecodeSupport.h"

namespace lumora::imaging
{

Result<> ImageDocument::EncryptImage(const QString &key, const QString &unused)
{
    Q_UNUSED(unused);
    Result<QImage> r = encryptPicture(currentImage(), key, m_cipherCost);
    if (!r.ok())
        return fail(r.error());
    m_pages[m_current] = std::move(r).value();
    setAnimation(); // one frame sealed or opened: no longer an animation
    m_bitsPerPixel = 24;
    emit changed();
    return {};
}

Result<> ImageDocument::DecryptImage(const QString &key, const QString &unused)
{
    Q_UNUSED(unused);
    Result<QImage> r = decryptPicture(currentImage(), key);
    if (!r.ok())
        return fail(r.error());
    m_pages[m_current] = std::move(r).value();
    setAnimation(); // one frame sealed or opened: no longer an animation
    m_bitsPerPixel = support::storedDepth(m_pages[m_current].format());
    emit changed();
    return {};
}

bool ImageDocument::isEncrypted() const
{
    return isEncryptedPicture(currentImage());
}

} // namespace lumora::imaging
