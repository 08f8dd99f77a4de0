#pragma once

#include <QImage>
#include <QString>

namespace lumora::imaging
{

// Puts a picture on the system clipboard. With `sourcePath`, the file goes
// along as a file reference (text/uri-list), so a file manager can paste the
// file itself while an image editor pastes the picture. False, and the
// clipboard untouched, when there is no picture or no clipboard.
bool CopyToClipboard(const QImage &picture, const QString &sourcePath = {});

} // namespace lumora::imaging
