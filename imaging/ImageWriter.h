#pragma once

#include "imaging/FormatCode.h"

#include <QImage>
#include <QString>

namespace lumora::imaging
{

// Whether writeImageFile() can produce this format yet.
bool canWriteFormat(FormatCode code);

// Writes one image in the given format. The bytes go to a temporary file in
// the target folder that is then renamed over the target, so readers never
// see a half-written file and a failure leaves any old file untouched.
// `option` is reserved for format settings (quality, compression).
bool writeImageFile(const QImage &image, const QString &path, FormatCode code, int option,
                    bool overwrite, QString *error);

} // namespace lumora::imaging
