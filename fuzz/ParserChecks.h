#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace lumora::fuzz
{

// bmp ico tiff psd wbmp tga exif thumbpng cipher registry mimeapps desktop
// trashinfo png
QStringList parserNames();

// Runs one input through the named parser and its checks; empty when all
// held, else what did not. A crash is the sanitizers' to report.
QString runParser(const QString &name, const uint8_t *data, size_t size);

} // namespace lumora::fuzz
