#pragma once

#include <QString>
#include <QStringList>

namespace lumora
{

// The explorer's notion of "an image file": an extension list given by the
// host, matched as a substring, and the folder image list built from it.
// Today's formats (WebP, HEIF, AVIF, JPEG XL, camera RAW) come on top,
// matched as whole extensions only: by the substring rule "avif" would make
// "film.avi" an image.
class ExtensionFilter
{
public:
    // Stores s lower-cased; returns false when s is empty (the caller warns).
    bool SetExt(const QString &s);
    const QString &extensions() const { return m_ext; }
    bool isSet() const { return !m_ext.isEmpty(); }

    // Off: the host's list alone decides, exactly as it always did.
    void setMoreTypes(bool on) { m_moreTypes = on; }
    bool moreTypes() const { return m_moreTypes; }
    bool IsImageFile(const QString &path) const;

    // Full paths of the image files of folder `path` matching `searchStr`,
    // in name order. `path` receives a trailing '/' when it lacks one.
    QStringList GetImageList(QString &path, const QString &searchStr = QStringLiteral("*.*")) const;

    // The extension as this test sees it: text after the last '.' of the last
    // path component, "" when there is none.
    static QString extensionOf(const QString &path);

private:
    QString m_ext;
    bool m_moreTypes = true;
};

// The start-up's list for the explorer.
inline constexpr const char *kExplorerExtensions =
    "JPG GIF BMP PNG PSD TIF PCX TGA WBMP PCD WMF EMF ICO DIB";

} // namespace lumora
