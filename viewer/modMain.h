#pragma once

#include <QString>

class QWidget;

namespace lumora
{

class Prompter;
namespace imaging
{
class ImageDocument;
}
namespace platform
{
class WallpaperSetter;
}

// Small shell helpers shared by the browser, the viewer and the folder
// chooser. They keep no state.

// The folder of a shell folder code (0 = the Desktop) with a trailing "/";
// "" when the code is unknown or the folder is not there.
QString GetSpecialFolderPath(int code);

// Extension and format code for the 1-based position of a save-dialog file
// type; any other index gives "" and leaves formatCode as it was.
QString GetSaveFormat(int index, int &formatCode);
// The save dialog's filter: "name|*.ext" for each of those types, joined by "|".
QString saveDialogFilter();

// True when the lower-cased extension occurs in the image type list
// (a substring test, so fragments such as "mp" pass too).
bool IsSupportedImage(const QString &path);

// The folder that receives wallpaper copies, with exactly one trailing "/";
// "" when it cannot be made.
QString GetWindowsFolder();

// Copies the current image as BMP data into the wallpaper folder under the
// source's file name and makes it the desktop wallpaper. Refuses a hidden
// target; a failed save or a desktop that cannot be told is reported and
// leaves the wallpaper as it was. True when the wallpaper was set.
bool SetAsWallpaper(imaging::ImageDocument &doc, Prompter &prompter, QWidget *parent = nullptr);
bool SetAsWallpaper(imaging::ImageDocument &doc, Prompter &prompter,
                    platform::WallpaperSetter &setter, QWidget *parent = nullptr);

} // namespace lumora
