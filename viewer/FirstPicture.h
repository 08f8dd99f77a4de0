#pragma once

#include "viewer/Preloader.h"

#include <QString>

#include <memory>

// `lumora photo.jpg` waits for one picture. Its decode starts first thing in
// main(), before the program connects to the display, on the first loader
// process (which warms only what photos need before it answers), and the
// viewer takes the result, screen-sized copy included, when it opens the
// file. The other loaders start when more files are asked for than one
// process serves.
namespace lumora
{

// The decode of the file named by `commandLine` (relative to the current
// folder), already under way; null when it names no file the viewer decodes
// that way (a folder, a switch, an icon or cursor). The viewer finds it under
// the file's canonical path. May be called before the QApplication exists.
std::unique_ptr<Preloader> decodeFirstPicture(const QString &commandLine);

// What a program started with `first` (null: no picture to view) starts
// besides: nothing more, or every loader, since the browser asks for many
// thumbnails at once.
void startOtherDecoders(const Preloader *first);

// The first picture's result for `path` when it is that file, unchanged;
// `first` lets go of anything else it holds.
std::optional<Preloaded> takeFirstPicture(Preloader *first, const QString &path);

} // namespace lumora
