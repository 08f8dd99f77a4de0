#include "assoc/AssocTypes.h"

namespace lumora::assoc
{

const std::array<AssocType, 15> kAssocTypes = {{
    {".jpg", "Lumora.jpg", "Lumora JPG image", "/icons/jpg.ico", " jpg "},
    {".jpeg", "Lumora.jpeg", "Lumora JPEG image", "/icons/jpg.ico", " jpeg "},
    {".gif", "Lumora.gif", "Lumora GIF image", "/icons/gif.ico", " gif "},
    {".bmp", "Lumora.bmp", "Lumora BMP image", "/icons/bmp.ico", " bmp "},
    {".dib", "Lumora.dib", "Lumora DIB image", "/icons/dib.ico", " dib "},
    {".png", "Lumora.png", "Lumora PNG image", "/icons/png.ico", " png "},
    {".psd", "Lumora.psd", "Lumora PSD image", "/icons/psd.ico", " psd "},
    {".tif", "Lumora.tif", "Lumora TIF image", "/icons/tif.ico", " tif "},
    {".pcx", "Lumora.pcx", "Lumora PCX image", "/icons/pcx.ico", " pcx "},
    {".tga", "Lumora.tga", "Lumora TGA image", "/icons/tga.ico", " tga "},
    {".wbmp", "Lumora.wbmp", "Lumora WBMB image", "/icons/wbmb.ico", " wbmp "},
    {".wmf", "Lumora.wmf", "Lumora WMF image", "/icons/wmf.ico", " wmf "},
    {".ico", "Lumora.ico", "Lumora Icon", "/icons/ico.ico", " ico "},
    {".emf", "Lumora.emf", "Lumora EMF image", "/icons/emf.ico", " emf "},
    {".tla", "Lumora.tla", "Lumora TLA image", "/icons/icon.ico", " tla "},
}};

QStringList associatedExtensions()
{
    QStringList out;
    for (const AssocType &t : kAssocTypes)
        out << QString::fromLatin1(t.extension);
    return out;
}

} // namespace lumora::assoc
