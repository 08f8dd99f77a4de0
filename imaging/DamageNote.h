#pragma once

#include <QString>

namespace lumora::imaging
{

// How a damaged file is named to the user wherever its picture is shown
// anyway (thumbnail tooltip, viewer status, the converter's warning), from
// the short reason a decode gives (DecodedImage::damage).
inline QString damageNote(const QString &damage)
{
    return QStringLiteral("Damaged file: %1. What could be read is shown.").arg(damage);
}

} // namespace lumora::imaging
