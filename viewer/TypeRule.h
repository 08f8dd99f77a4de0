#pragma once

#include "imaging/ImageDocument.h"

#include <QString>

namespace lumora
{

// Icons, cursors and DIBs go through the picture loader and are handed over
// as a picture; every other file is handed over by path. The test is a plain
// substring test of the lower-cased extension inside "ico cur dib", so an
// empty extension or a fragment such as "co" takes the picture route too.
bool takesPictureRoute(const QString &path);

// Loads `path` into `doc` by that rule.
Result<> loadByTypeRule(imaging::ImageDocument &doc, const QString &path);

// "photo.jpg- Lumora 2.1"
QString viewerCaption(const QString &path);

} // namespace lumora
