#pragma once

namespace lumora::imaging
{

// Numbers the save table and the status bar agree on. 1..10 are the output
// codes of the Save As table; the rest only ever come from decoding.
enum class FormatCode : int {
    Unknown = 0,
    Jpeg = 1,
    Png = 2,
    Tiff = 3,
    Pcx = 4,
    Tga = 5,
    Bmp = 6,
    Wmf = 7,
    Emf = 8,
    Psd = 9,
    Wbmp = 10,
    Gif = 11,
    Ico = 12,
    Cur = 13,
    Pcd = 14,
    Dib = 15,
    Webp = 16,
    Heif = 17,
    Avif = 18,
    Jxl = 19,
    Raw = 20,
};

// Short lower-case name as the status bar shows it ("jpg", "png", ...).
const char *formatShortName(FormatCode code);

} // namespace lumora::imaging
