#include "imaging/FormatCode.h"

namespace lumora::imaging
{

const char *formatShortName(FormatCode code)
{
    switch (code) {
    case FormatCode::Jpeg:
        return "jpg";
    case FormatCode::Png:
        return "png";
    case FormatCode::Tiff:
        return "tif";
    case FormatCode::Pcx:
        return "pcx";
    case FormatCode::Tga:
        return "tga";
    case FormatCode::Bmp:
        return "bmp";
    case FormatCode::Wmf:
        return "wmf";
    case FormatCode::Emf:
        return "emf";
    case FormatCode::Psd:
        return "psd";
    case FormatCode::Wbmp:
        return "wbmp";
    case FormatCode::Gif:
        return "gif";
    case FormatCode::Ico:
        return "ico";
    case FormatCode::Cur:
        return "cur";
    case FormatCode::Pcd:
        return "pcd";
    case FormatCode::Dib:
        return "dib";
    case FormatCode::Unknown:
        break;
    }
    return "";
}

} // namespace lumora::imaging
